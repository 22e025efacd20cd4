// SPDX-License-Identifier: GPL-3.0-or-later
// Checks against an independent reader and writer of WAVE files: the files
// Tallowmere saves must read back the same through sox, and the files sox
// writes must load with the channels, rate, width and bytes of our rules.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "support/FakeServices.h"
#include "wavefile/WaveFile.h"

namespace {

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// Runs a command line and returns its standard output; the exit status in `status`.
std::string RunCommand(const std::string& command, int& status)
{
    std::string output;
    std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, n);
    int raw = ::pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

class WaveInteropTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sox = FindProgram("sox");
        soxi = FindProgram("soxi");
        if (sox.empty() || soxi.empty())
            GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh installs it)";
    }

    std::string Soxi(const std::string& option, const std::string& file)
    {
        int status = 0;
        std::string out = RunCommand(soxi + " " + option + " '" + file + "'", status);
        EXPECT_EQ(status, 0) << "soxi " << option;
        while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
            out.pop_back();
        return out;
    }

    Bytes RawSamples(const std::string& file)
    {
        int status = 0;
        std::string out = RunCommand(sox + " '" + file + "' -t raw -", status);
        EXPECT_EQ(status, 0);
        return Bytes(out.begin(), out.end());
    }

    CFakeServicesScope services;
    CScratchDir dir;
    std::string sox;
    std::string soxi;
};

Bytes Noise(std::size_t n, std::uint32_t seed)
{
    Bytes bytes(n);
    for (auto& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(seed >> 24);
    }
    return bytes;
}

TEST_F(WaveInteropTest, SoxReadsWhatTallowmereSaves)
{
    struct Case {
        std::int32_t rate;
        std::uint16_t channels;
        std::uint16_t width;
        std::uint32_t frames;
    };
    for (Case c : {Case{8000, 1, 1, 1001}, Case{44100, 2, 2, 4410}, Case{96000, 2, 3, 999}, Case{48000, 1, 4, 480},
                   Case{192000, 2, 4, 3000}}) {
        SCOPED_TRACE(std::to_string(c.width * 8) + " bits, " + std::to_string(c.channels) + " channels");
        std::string path = dir.File("t.wav");
        Bytes samples;
        {
            CWaveFile wave(c.frames, CSampleFormat(c.rate, c.channels, c.width), dir.path);
            samples = Noise(wave.GetByteSize(), c.frames);
            ASSERT_EQ(wave.Write(samples.data(), wave.GetByteSize()), 1);
            wave.SetFileName(path);
            ASSERT_EQ(wave.Save(), 1);
        }
        EXPECT_EQ(Soxi("-c", path), std::to_string(c.channels));
        EXPECT_EQ(Soxi("-r", path), std::to_string(c.rate));
        EXPECT_EQ(Soxi("-b", path), std::to_string(c.width * 8));
        EXPECT_EQ(Soxi("-s", path), std::to_string(c.frames));
        EXPECT_EQ(RawSamples(path), samples);
    }
}

TEST_F(WaveInteropTest, SoxReadsWhatFileModeSaves)
{
    std::string path = dir.File("f.wav");
    Bytes samples = Noise(6 * 5001, 3);
    {
        CWaveFile wave(CSampleFormat(22050, 2, 3), false, dir.path);
        // In uneven pieces, as a stream would arrive.
        for (std::size_t at = 0; at < samples.size(); at += 6 * 700) {
            auto n = static_cast<std::uint32_t>(std::min<std::size_t>(6 * 700, samples.size() - at));
            ASSERT_EQ(wave.Write(samples.data() + at, n), 1);
        }
        wave.SetFileName(path);
        ASSERT_EQ(wave.Save(), 1);
    }
    EXPECT_EQ(Soxi("-s", path), "5001");
    EXPECT_EQ(Soxi("-b", path), "24");
    EXPECT_EQ(RawSamples(path), samples);
}

TEST_F(WaveInteropTest, TallowmereLoadsWhatSoxWrites)
{
    struct Case {
        int bits;
        int channels;
        const char* type; // "wav" lets sox choose; "wavpcm" forces the plain header
        std::uint16_t loadedChannels;
        std::uint16_t loadedWidth;
        bool extensible;
    };
    const Case cases[] = {
        {8, 1, "wav", 1, 1, false},    {16, 1, "wav", 1, 2, false},    {16, 2, "wav", 2, 2, false},
        {24, 2, "wav", 2, 3, true},    {24, 2, "wavpcm", 2, 3, false}, {32, 1, "wav", 1, 4, true},
        {32, 2, "wav", 2, 4, true},    {16, 6, "wav", 1, 2, true},     {24, 4, "wav", 1, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.channels) + " channels, " + c.type);
        std::string path = dir.File("sox.wav");
        int status = 0;
        RunCommand(sox + " -n -b " + std::to_string(c.bits) + " -c " + std::to_string(c.channels) + " -r 32000 -t " + c.type +
                " '" + path + "' synth 0.0503 sine 300-900 gain -3",
            status);
        ASSERT_EQ(status, 0);
        Bytes file = ReadAll(path);
        ASSERT_GT(file.size(), 44u);
        EXPECT_EQ(file[20] == 0xFE && file[21] == 0xFF, c.extensible) << "the header sox chose";

        CWaveFile wave(path, WaveFileMode::MemoryMode, false, dir.path);
        ASSERT_FALSE(wave.IsFailed());
        CSampleFormat f = wave.GetFormat();
        EXPECT_EQ(f.sampleRate, 32000);
        EXPECT_EQ(f.channels, c.loadedChannels);
        EXPECT_EQ(f.bytesPerSample, c.loadedWidth);
        Bytes raw = RawSamples(path);
        EXPECT_EQ(raw.size(), std::size_t{1609} * c.channels * c.bits / 8);
        EXPECT_EQ(Bytes(wave.GetData(), wave.GetData() + wave.GetByteSize()), raw);

        CWaveFile streamed(path, WaveFileMode::FileMode, false, dir.path);
        ASSERT_FALSE(streamed.IsFailed());
        EXPECT_EQ(streamed.GetByteSize(), raw.size());
    }
    EXPECT_TRUE(services.fake.messages.empty());
}

} // namespace
