// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis beside the field's own tools on the same files: sox's
// `stats` (peak, RMS, DC, bit depth) and alsabat capturing the file through
// a private ALSA configuration (dominant frequency).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "TestSignals.h"
#include "measure/WaveFileAnalysis.h"

namespace {

std::string RunCommand(const std::string& command)
{
    std::string output;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    ::pclose(pipe);
    return output;
}

bool Have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A plain PCM WAVE file, written here so the peers read bytes no code of ours produced twice.
void WriteWave(const std::string& path, const TestFormat& f, const std::vector<std::uint8_t>& samples)
{
    auto u32 = [](std::string& s, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s += static_cast<char>(v >> (8 * i));
    };
    auto u16 = [](std::string& s, std::uint32_t v) {
        s += static_cast<char>(v);
        s += static_cast<char>(v >> 8);
    };
    std::string h = "RIFF";
    u32(h, 36 + static_cast<std::uint32_t>(samples.size()));
    h += "WAVEfmt ";
    u32(h, 16);
    u16(h, 1);
    u16(h, f.channels);
    u32(h, f.rate);
    u32(h, f.rate * f.channels * f.bytes);
    u16(h, f.channels * f.bytes);
    u16(h, f.bytes * 8);
    h += "data";
    u32(h, static_cast<std::uint32_t>(samples.size()));
    std::ofstream out(path, std::ios::binary);
    out.write(h.data(), static_cast<std::streamsize>(h.size()));
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size()));
}

// sox stats: for each row name, the figures per channel (the last
// `channels` numbers of the row; stereo rows begin with the overall one).
std::map<std::string, std::vector<std::string>> SoxStats(const std::string& path, int channels)
{
    std::map<std::string, std::vector<std::string>> rows;
    std::istringstream lines(RunCommand("sox '" + path + "' -n stats"));
    std::string line;
    while (std::getline(lines, line)) {
        for (const char* name : {"DC offset", "Pk lev dB", "RMS lev dB", "Bit-depth"}) {
            if (line.rfind(name, 0) != 0)
                continue;
            std::istringstream fields(line.substr(std::string(name).size()));
            std::vector<std::string> all;
            std::string field;
            while (fields >> field)
                all.push_back(field);
            if (all.size() >= static_cast<std::size_t>(channels))
                rows[name].assign(all.end() - channels, all.end());
        }
    }
    return rows;
}

class TempDir {
public:
    TempDir()
    {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/tallowmere-peer-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

struct PeerRow {
    const char* name;
    int bytes;
    int channels;
    int validBits;
    double amplitude;
    double dc; // full-scale fraction added to the sine
};

class SoxPeer : public testing::TestWithParam<PeerRow> {};

TEST_P(SoxPeer, StatsAgreeOnLevelsDcAndBits)
{
    if (!Have("sox"))
        GTEST_SKIP() << "sox is not installed";
    const PeerRow& row = GetParam();
    TestFormat f{row.bytes, row.channels, 48000, row.validBits};
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::string path = dir.path + "/signal.wav";
    WriteWave(path, f, Build(f, 96000, [&](std::size_t i, int c) {
        return Sine(row.amplitude, 997 + 3 * c, i, f.rate) + row.dc;
    }));
    WaveFileAnalysis ours = AnalyseWaveFile(path, f.Valid());
    ASSERT_TRUE(ours.ok) << ours.error;
    auto sox = SoxStats(path, f.channels);
    ASSERT_EQ(sox.size(), 4u) << "sox stats gave no figures";
    for (int c = 0; c < f.channels; ++c) {
        const ChannelAnalysis& a = ours.analysis.channel[c];
        EXPECT_NEAR(a.peakDbfs, std::stod(sox["Pk lev dB"][c]), 0.1) << "channel " << c;
        EXPECT_NEAR(a.rmsDbfs, std::stod(sox["RMS lev dB"][c]), 0.1) << "channel " << c;
        // sox prints six decimals.
        EXPECT_NEAR(a.dcOffsetFraction, std::stod(sox["DC offset"][c]), 1e-6) << "channel " << c;
        // sox counts from the highest bit the signal reaches down to the
        // lowest it sets; the bits carried count from the container's top,
        // as a valid precision does. They differ by the peak's headroom.
        const std::int64_t centre = f.bytes == 1 ? 128 : 0;
        const std::int64_t peak = std::max(std::abs(a.minSample - centre), std::abs(a.maxSample - centre));
        const std::int64_t fullScale = std::int64_t{1} << (f.Container() - 1);
        int headroom = 0;
        while (peak > 0 && (peak << (headroom + 1)) <= fullScale)
            ++headroom;
        std::string bits = sox["Bit-depth"][c];
        EXPECT_EQ(std::to_string(a.validBitsCarried - headroom), bits.substr(0, bits.find('/'))) << "channel " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SoxPeer,
                         testing::Values(PeerRow{"U8Mono", 1, 1, 0, 0.5, 0}, PeerRow{"U8StereoDc", 1, 2, 0, 0.4, 0.05},
                                         PeerRow{"S16Mono", 2, 1, 0, 0.5, 0},
                                         PeerRow{"S16StereoDc", 2, 2, 0, 0.3, -0.1},
                                         PeerRow{"S24Carrying16", 3, 1, 16, 0.5, 0},
                                         PeerRow{"S24Carrying20Stereo", 3, 2, 20, 0.7, 0.01},
                                         PeerRow{"S32Carrying24", 4, 1, 24, 0.5, 0},
                                         PeerRow{"S32StereoQuiet", 4, 2, 0, 0.01, 0.001}),
                         [](const testing::TestParamInfo<PeerRow>& info) { return std::string(info.param.name); });

struct AlsabatRow {
    const char* name;
    int bytes;
    const char* alsaFormat;
    double hz;
};

class AlsabatPeer : public testing::TestWithParam<AlsabatRow> {};

TEST_P(AlsabatPeer, DetectsTheSameDominantFrequency)
{
    if (!Have("alsabat"))
        GTEST_SKIP() << "alsabat is not installed";
    const AlsabatRow& row = GetParam();
    TestFormat f{row.bytes, 1, 48000};
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    // Three seconds of tone: alsabat captures less than that.
    auto samples = Build(f, 3 * 48000, [&](std::size_t i, int) { return Sine(0.5, row.hz, i, f.rate); });
    std::string wave = dir.path + "/tone.wav";
    std::string raw = dir.path + "/tone.raw";
    WriteWave(wave, f, samples);
    std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(samples.data()),
                                               static_cast<std::streamsize>(samples.size()));
    // Hermetic: only this capture device exists, and it hands out the file's samples.
    std::string config = dir.path + "/alsa.conf";
    std::ofstream(config) << "pcm.tonecap {\n  type file\n  slave.pcm { type null }\n  file \"/dev/null\"\n"
                          << "  infile \"" << raw << "\"\n  format \"raw\"\n}\n";
    WaveFileAnalysis ours = AnalyseWaveFile(wave, 0);
    ASSERT_TRUE(ours.ok) << ours.error;
    // A clean environment: alsabat mistakes a stale errno from looking up
    // translations for a failure.
    std::string output = RunCommand("cd '" + dir.path + "' && env -i PATH=/usr/bin:/bin LC_ALL=C ALSA_CONFIG_PATH='" + config +
                             "' timeout 120 alsabat -C tonecap -c 1 -r 48000 -f " + row.alsaFormat +
                             " -n 48000 -F " + std::to_string(row.hz));
    auto at = output.find("Detected peak at ");
    ASSERT_NE(at, std::string::npos) << output;
    double theirs = std::stod(output.substr(at + 17));
    // alsabat's spectrum has bins of 48000 / 32768 Hz and no interpolation.
    EXPECT_NEAR(ours.analysis.channel[0].tone.frequencyHz, theirs, 48000.0 / 32768);
    EXPECT_NEAR(ours.analysis.channel[0].tone.frequencyHz, row.hz, 0.05);
    EXPECT_NE(output.find("PASS"), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(Rows, AlsabatPeer,
                         testing::Values(AlsabatRow{"S16At997", 2, "S16_LE", 997},
                                         AlsabatRow{"S24At440", 3, "S24_3LE", 440},
                                         AlsabatRow{"S32At5000", 4, "S32_LE", 5000},
                                         AlsabatRow{"U8At1234", 1, "U8", 1234.5}),
                         [](const testing::TestParamInfo<AlsabatRow>& info) { return std::string(info.param.name); });

} // namespace
