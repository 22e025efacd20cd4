// SPDX-License-Identifier: GPL-3.0-or-later
// --analyze-file's engine on files held in memory: float samples at their
// true level, every channel of a many-channel file on its own, the valid
// bits a header states, and the words for what is missing, held at full
// scale or not a number.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "measure/FloatSamples.h"
#include "measure/WaveFileAnalysis.h"
#include "core/SampleCodec.h"
#include "wavefile/MemoryFileSystem.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
const std::string Path = "/mem/take.wav";

void Put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

struct FileFormat {
    std::uint16_t tag = 1; // 1 PCM, 3 float; extensible wraps either
    bool extensible = false;
    std::uint16_t channels = 1;
    std::uint16_t bytes = 2;
    std::uint16_t validBits = 0; // extensible only
};

// A WAVE file of `frames` frames, each sample from `value` (a full-scale
// fraction), stored as the format says; `statedFrames` for a data chunk
// that claims more than it holds.
Bytes MakeWave(const FileFormat& f, std::size_t frames, const std::function<double(std::size_t, int)>& value,
               std::size_t statedFrames = 0)
{
    const std::uint16_t align = static_cast<std::uint16_t>(f.channels * f.bytes);
    Bytes fmt;
    Put16(fmt, f.extensible ? 0xFFFE : f.tag);
    Put16(fmt, f.channels);
    Put32(fmt, 48000);
    Put32(fmt, 48000u * align);
    Put16(fmt, align);
    Put16(fmt, static_cast<std::uint16_t>(8 * f.bytes));
    if (f.extensible) {
        Put16(fmt, 22);
        Put16(fmt, f.validBits);
        Put32(fmt, 0);
        Put32(fmt, f.tag);
        const std::uint8_t tail[] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), tail, tail + 12);
    }
    Bytes data(frames * align);
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < f.channels; ++c) {
            std::uint8_t* at = data.data() + i * align + static_cast<std::size_t>(c) * f.bytes;
            const double x = value(i, c);
            if (f.tag == 3 && f.bytes == 4)
                StoreFloat32(at, static_cast<float>(x));
            else if (f.tag == 3)
                StoreFloat64(at, x);
            else
                StoreFraction(at, x, f.bytes, f.validBits);
        }
    }
    Bytes file = {'R', 'I', 'F', 'F'};
    Put32(file, static_cast<std::uint32_t>(4 + 8 + fmt.size() + 8 + data.size()));
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(file, static_cast<std::uint32_t>(fmt.size()));
    file.insert(file.end(), fmt.begin(), fmt.end());
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    Put32(file, static_cast<std::uint32_t>((statedFrames > 0 ? statedFrames : frames) * align));
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

double Sine(double amplitude, double hz, std::size_t i)
{
    return amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / 48000);
}

class WaveFileAnalysisTest : public testing::Test {
protected:
    WaveFileAnalysisTest() { SetFileSystem(&fs); }
    ~WaveFileAnalysisTest() override { SetFileSystem(nullptr); }

    WaveFileAnalysis Analyse(const Bytes& file, int validBits = 0)
    {
        fs.Put(Path, file);
        return AnalyseWaveFile(Path, validBits);
    }

    CMemoryFileSystem fs;
};

TEST_F(WaveFileAnalysisTest, FloatSamplesAreAnalysedAtTheirTrueLevel)
{
    const struct {
        const char* name;
        FileFormat format;
    } rows[] = {
        {"plain 32-bit float", {3, false, 1, 4}},
        {"plain 64-bit float", {3, false, 1, 8}},
        {"extensible 32-bit float", {3, true, 1, 4, 32}},
        {"extensible 64-bit float, stereo", {3, true, 2, 8, 64}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WaveFileAnalysis a = Analyse(MakeWave(row.format, 48000, [](std::size_t i, int) { return Sine(0.5, 1000, i); }));
        ASSERT_TRUE(a.ok) << a.error;
        ASSERT_TRUE(a.file);
        EXPECT_EQ(a.file->layout.type, WaveSampleType::Float);
        EXPECT_EQ(a.analysis.channels, row.format.channels);
        EXPECT_EQ(a.analysis.frames, 48000u);
        for (const ChannelAnalysis& c : a.analysis.channel) {
            EXPECT_NEAR(c.peakDbfs, -6.02, 0.01);
            EXPECT_NEAR(c.rmsDbfs, -9.03, 0.01);
            EXPECT_NEAR(c.tone.frequencyHz, 1000, 0.01);
            EXPECT_LT(c.tone.thdnDb, -120); // a clean sine, whatever the float
        }
        EXPECT_TRUE(a.file->warnings.empty());
    }
}

TEST_F(WaveFileAnalysisTest, FloatsBeyondFullScaleAreHeldAndSaidAndNotANumberIsRefused)
{
    const FileFormat f32{3, false, 2, 4};
    // Channel 2 peaks at 1.5 (+3.52 dBFS).
    WaveFileAnalysis over = Analyse(MakeWave(f32, 4800, [](std::size_t i, int c) { return Sine(c == 0 ? 0.5 : 1.5, 1000, i); }));
    ASSERT_TRUE(over.ok) << over.error;
    EXPECT_EQ(over.analysis.channel[0].clippedSamples, 0u);
    EXPECT_GT(over.analysis.channel[1].clippedSamples, 0u);
    ASSERT_EQ(over.file->warnings.size(), 1u);
    EXPECT_NE(over.file->warnings[0].find("channel 2: "), std::string::npos) << over.file->warnings[0];
    EXPECT_NE(over.file->warnings[0].find("samples beyond full scale (peak +3.52 dBFS), analysed as held at full scale"),
              std::string::npos)
        << over.file->warnings[0];

    WaveFileAnalysis nan = Analyse(MakeWave(f32, 200000, [](std::size_t i, int c) {
        return i == 150000 && c == 1 ? std::nan("") : 0.25;
    }));
    EXPECT_FALSE(nan.ok);
    EXPECT_EQ(nan.error, "'" + Path + "': frame 150000 of channel 2 is not a number (NaN or infinite): the analysis "
                                      "cannot read it");
}

TEST_F(WaveFileAnalysisTest, EveryChannelOfAManyChannelFileIsItsOwn)
{
    // Three channels, three tones: each must be found in its own channel.
    WaveFileAnalysis three = Analyse(MakeWave({1, false, 3, 2}, 48000, [](std::size_t i, int c) {
        return Sine(0.25 * (c + 1), 500.0 * (c + 1), i);
    }));
    ASSERT_TRUE(three.ok) << three.error;
    ASSERT_EQ(three.analysis.channel.size(), 3u);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(three.analysis.channel[c].tone.frequencyHz, 500.0 * (c + 1), 0.01) << c;
        EXPECT_NEAR(three.analysis.channel[c].peakDbfs, 20 * std::log10(0.25 * (c + 1)), 0.01) << c;
    }
    EXPECT_EQ(three.analysis.relation, ChannelRelation::NotCompared);

    WaveFileAnalysis six = Analyse(MakeWave({1, true, 6, 3, 24}, 4800, [](std::size_t i, int) { return Sine(0.5, 1000, i); }));
    ASSERT_TRUE(six.ok) << six.error;
    EXPECT_EQ(six.analysis.channels, 6);
    EXPECT_EQ(six.analysis.relation, ChannelRelation::Identical);

    WaveFileAnalysis tooMany = Analyse(MakeWave({1, false, MaxAnalysedChannels + 1, 1}, 10, [](std::size_t, int) { return 0.0; }));
    EXPECT_FALSE(tooMany.ok);
    EXPECT_NE(tooMany.error.find("65 channels, more than the 64 the analysis takes at once"), std::string::npos)
        << tooMany.error;
}

TEST_F(WaveFileAnalysisTest, ValidBitsComeFromTheHeaderOrTheUserWithinTheSample)
{
    // 24 valid bits in 32-bit samples, stated by the extensible header.
    const Bytes stated = MakeWave({1, true, 1, 4, 24}, 4800, [](std::size_t i, int) { return Sine(0.5, 1000, i); });
    WaveFileAnalysis a = Analyse(stated);
    ASSERT_TRUE(a.ok) << a.error;
    EXPECT_EQ(a.analysis.requestedValidBits, 24);
    EXPECT_EQ(a.analysis.validBitsCarried, 24);
    EXPECT_FALSE(a.analysis.validBitsMismatch);
    EXPECT_EQ(Analyse(stated, 32).analysis.requestedValidBits, 32);

    const Bytes sixteen = MakeWave({1, false, 1, 2}, 4800, [](std::size_t i, int) { return Sine(0.5, 1000, i); });
    EXPECT_EQ(Analyse(sixteen, 12).analysis.requestedValidBits, 12);
    WaveFileAnalysis tooMany = Analyse(sixteen, 24);
    EXPECT_FALSE(tooMany.ok);
    EXPECT_EQ(tooMany.error, "'" + Path + "': --valid-bits 24 is more than its 16-bit integer samples hold");
}

TEST_F(WaveFileAnalysisTest, WhatIsMissingOrTooShortIsSaid)
{
    // 96000 bytes stated, 1000 held: the 500 frames there are analysed.
    WaveFileAnalysis cut = Analyse(MakeWave({1, false, 1, 2}, 500, [](std::size_t i, int) { return Sine(0.5, 1000, i); }, 48000));
    ASSERT_TRUE(cut.ok) << cut.error;
    EXPECT_EQ(cut.analysis.frames, 500u);
    EXPECT_EQ(cut.file->statedFrames, 48000u);
    EXPECT_EQ(cut.file->framesMissing, 47500u);
    ASSERT_FALSE(cut.file->warnings.empty());
    EXPECT_EQ(cut.file->warnings[0], "the data chunk states 48000 frames but the file holds 500: 47500 frames are missing");

    // One frame: levels, and why there is no spectrum.
    WaveFileAnalysis one = Analyse(MakeWave({1, false, 1, 2}, 1, [](std::size_t, int) { return 0.5; }));
    ASSERT_TRUE(one.ok) << one.error;
    EXPECT_EQ(one.analysis.frames, 1u);
    EXPECT_NEAR(one.analysis.channel[0].peakDbfs, -6.02, 0.01);
    ASSERT_EQ(one.file->warnings.size(), 1u);
    EXPECT_EQ(one.file->warnings[0], "1 frame is too short for a spectrum: no tone, THD+N or noise floor is measured, "
                               "only the levels");
}

TEST(FloatToFixed, ValuesLandOnTheirFixedPointAndPlaceIsReused)
{
    const double values[] = {0.5, -1.0, 1.0, 0x1p-31, -0.25, 2.0};
    const std::int32_t expected[] = {1 << 30, INT32_MIN, INT32_MAX, 1, -(1 << 29), INT32_MAX};
    for (int bytes : {4, 8}) {
        SCOPED_TRACE(bytes);
        Bytes buffer(6 * static_cast<std::size_t>(bytes));
        for (int i = 0; i < 6; ++i) {
            if (bytes == 4)
                StoreFloat32(buffer.data() + 4 * i, static_cast<float>(values[i]));
            else
                StoreFloat64(buffer.data() + 8 * i, values[i]);
        }
        CFloatToFixed convert(2, bytes);
        ASSERT_TRUE(convert.Convert(buffer.data(), 3));
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(LoadSampleOf<4>(buffer.data() + 4 * i), expected[i]) << values[i];
        // Exactly 1.0 is full scale, not beyond it; 2.0 is.
        EXPECT_EQ(convert.Overs()[0].samples, 0u);
        EXPECT_EQ(convert.Overs()[1].samples, 1u);
        EXPECT_EQ(convert.Overs()[1].peak, 2.0);
    }
}

} // namespace
