// SPDX-License-Identifier: GPL-3.0-or-later
// Levels, DC, clipping, silence, the bits carried and the channels'
// relation, on signals whose truth is known by construction.
#include <gtest/gtest.h>

#include <string>

#include "TestSignals.h"
#include "analysis/AnalysisText.h"
#include "analysis/SignalAnalyzer.h"

namespace {

SignalAnalysis Analyse(const std::vector<std::uint8_t>& bytes, const TestFormat& f, int requested = 0)
{
    return AnalyseSamples(bytes.data(), bytes.size(), f.Format(), requested == 0 ? f.Valid() : requested);
}

struct WidthRow {
    const char* name;
    int bytes;
    int channels;
};

const WidthRow Widths[] = {
    {"U8Mono", 1, 1},  {"U8Stereo", 1, 2},  {"S16Mono", 2, 1}, {"S16Stereo", 2, 2},
    {"S24Mono", 3, 1}, {"S24Stereo", 3, 2}, {"S32Mono", 4, 1}, {"S32Stereo", 4, 2},
};

class EveryWidth : public testing::TestWithParam<WidthRow> {};

TEST_P(EveryWidth, SinePeakRmsAndFrequency)
{
    TestFormat f{GetParam().bytes, GetParam().channels};
    // Half scale: every width holds the crest exactly; 997 Hz meets no bin.
    auto bytes = Build(f, 48000, [&](std::size_t i, int) { return Sine(0.5, 997, i, f.rate); });
    SignalAnalysis a = Analyse(bytes, f);
    ASSERT_TRUE(a.ok) << a.error;
    ASSERT_EQ(a.channel.size(), static_cast<std::size_t>(f.channels));
    // Quantisation adds step^2/12 to the mean square.
    double truthRms = 10 * std::log10(0.125 + f.Step() * f.Step() / 12);
    for (const ChannelAnalysis& c : a.channel) {
        EXPECT_NEAR(c.peakDbfs, Db(0.5), 0.01);
        EXPECT_NEAR(c.rmsDbfs, truthRms, 0.01);
        EXPECT_NEAR(c.crestFactorDb, Db(0.5) - truthRms, 0.02);
        EXPECT_TRUE(c.tone.isTone);
        EXPECT_NEAR(c.tone.frequencyHz, 997, 0.05);
        EXPECT_NEAR(c.tone.levelDbfs, Db(0.5), 0.05);
        EXPECT_EQ(c.clippedSamples, 0u);
        EXPECT_FALSE(c.silent);
        EXPECT_EQ(c.validBitsCarried, f.Container());
        EXPECT_EQ(c.dropoutCount, 0u);
    }
    EXPECT_EQ(a.relation, f.channels == 2 ? ChannelRelation::Identical : ChannelRelation::Mono);
    EXPECT_FALSE(a.validBitsMismatch);
    EXPECT_NEAR(a.durationSeconds, 1.0, 1e-12);
}

TEST_P(EveryWidth, DcOffsetIsExact)
{
    TestFormat f{GetParam().bytes, GetParam().channels};
    // 480 Hz has a whole period of 100 samples, and rounding is symmetric,
    // so the sine sums to exactly zero and the mean is the offset alone.
    const std::int64_t step = std::int64_t{1} << (f.Container() - f.Valid());
    const std::int64_t offsets[] = {3 * step, -5 * step};
    auto bytes = StoreFrames(f, 48000, [&](std::size_t i, int c) {
        return Quantise(Sine(0.25, 480, i, f.rate), f) + offsets[c];
    });
    SignalAnalysis a = Analyse(bytes, f);
    ASSERT_TRUE(a.ok);
    for (int c = 0; c < f.channels; ++c) {
        EXPECT_EQ(a.channel[c].dcOffset, static_cast<double>(offsets[c]));
        EXPECT_EQ(a.channel[c].dcOffsetFraction, static_cast<double>(offsets[c]) / std::ldexp(1.0, f.Container() - 1));
    }
}

TEST_P(EveryWidth, ClippedSamplesAndRunsAreCounted)
{
    TestFormat f{GetParam().bytes, GetParam().channels};
    const std::int64_t top = (std::int64_t{1} << (f.Container() - 1)) - 1;
    const std::int64_t bottom = -(std::int64_t{1} << (f.Container() - 1));
    // Runs of 1, 5 and 10 samples at the extremes over a half-scale sine.
    auto bytes = StoreFrames(f, 48000, [&](std::size_t i, int) -> std::int64_t {
        if (i == 1000 || (i >= 2000 && i < 2005))
            return top;
        if (i >= 30000 && i < 30010)
            return bottom;
        return Quantise(Sine(0.5, 440, i, f.rate), f);
    });
    SignalAnalysis a = Analyse(bytes, f);
    ASSERT_TRUE(a.ok);
    for (const ChannelAnalysis& c : a.channel) {
        EXPECT_EQ(c.clippedSamples, 16u);
        EXPECT_EQ(c.clipRuns, 3u);
        EXPECT_EQ(c.longestClipRun, 10u);
        EXPECT_EQ(c.maxSample, static_cast<std::int32_t>(top + (f.bytes == 1 ? 128 : 0)));
        EXPECT_EQ(c.minSample, static_cast<std::int32_t>(bottom + (f.bytes == 1 ? 128 : 0)));
        EXPECT_NEAR(c.peakDbfs, 0.0, 1e-9);
    }
}

TEST_P(EveryWidth, SilenceAndItsEnds)
{
    TestFormat f{GetParam().bytes, GetParam().channels};
    // 1000 frames of silence, a sine, 500 frames of silence.
    auto bytes = Build(f, 48000, [&](std::size_t i, int) {
        return i < 1000 || i >= 47500 ? 0.0 : Sine(0.5, 440, i - 1000, f.rate, 0.3);
    });
    SignalAnalysis a = Analyse(bytes, f);
    ASSERT_TRUE(a.ok);
    for (const ChannelAnalysis& c : a.channel) {
        EXPECT_FALSE(c.silent);
        EXPECT_EQ(c.leadingSilenceFrames, 1000u);
        EXPECT_EQ(c.trailingSilenceFrames, 500u);
        // Starting and stopping is not a dropout.
        EXPECT_EQ(c.dropoutCount, 0u);
    }
    auto quiet = Build(f, 4800, [](std::size_t, int) { return 0.0; });
    SignalAnalysis s = Analyse(quiet, f);
    ASSERT_TRUE(s.ok);
    for (const ChannelAnalysis& c : s.channel) {
        EXPECT_TRUE(c.silent);
        EXPECT_EQ(c.leadingSilenceFrames, 4800u);
        EXPECT_EQ(c.trailingSilenceFrames, 4800u);
        EXPECT_TRUE(std::isnan(c.rmsDbfs));
        EXPECT_FALSE(c.tone.isTone);
        EXPECT_EQ(c.validBitsCarried, 0);
    }
    // Nothing carried is not a mismatch of the bits: it is silence.
    EXPECT_FALSE(s.validBitsMismatch);
}

INSTANTIATE_TEST_SUITE_P(Widths, EveryWidth, testing::ValuesIn(Widths),
                         [](const testing::TestParamInfo<WidthRow>& info) { return std::string(info.param.name); });

struct BitsRow {
    const char* name;
    int bytes;
    int carried;   // bits the signal really has
    int requested; // bits the test asked for
    bool mismatch;
};

class ValidBits : public testing::TestWithParam<BitsRow> {};

TEST_P(ValidBits, LowestBitSetGivesTheBitsCarried)
{
    const BitsRow& row = GetParam();
    TestFormat f{row.bytes, 2, 48000, row.carried};
    auto bytes = Build(f, 48000, [&](std::size_t i, int c) { return Sine(0.5, 440 + 100 * c, i, f.rate); });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), row.requested);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.validBitsCarried, row.carried);
    EXPECT_EQ(a.channel[0].validBitsCarried, row.carried);
    EXPECT_EQ(a.validBitsMismatch, row.mismatch);
    EXPECT_EQ(a.relation, ChannelRelation::Independent);
}

INSTANTIATE_TEST_SUITE_P(Rows, ValidBits,
                         testing::Values(BitsRow{"Bits16In24", 3, 16, 16, false}, BitsRow{"Bits20In24", 3, 20, 20, false},
                                         BitsRow{"Bits24In32", 4, 24, 24, false},
                                         BitsRow{"Padded16Asked24", 3, 16, 24, true},
                                         BitsRow{"Full24Asked20", 3, 24, 20, true},
                                         BitsRow{"Bits8In8", 1, 8, 8, false}),
                         [](const testing::TestParamInfo<BitsRow>& info) { return std::string(info.param.name); });

TEST(Clipping, JudgedAtTheExtremesOfTheValidBits)
{
    // 16 valid bits in a 24-bit container: the top carried value is 0x7FFF00.
    TestFormat f{3, 1, 48000, 16};
    auto bytes = Build(f, 4800, [&](std::size_t i, int) { return i % 100 == 0 ? 1.0 : Sine(0.3, 440, i, f.rate); });
    SignalAnalysis a = Analyse(bytes, f);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.channel[0].clippedSamples, 48u);
    EXPECT_EQ(a.channel[0].maxSample, 0x7FFF00);
}

TEST(Relation, ChannelsAreCompared)
{
    TestFormat f{2, 2};
    struct Row {
        const char* name;
        std::function<double(std::size_t, int)> signal;
        ChannelRelation expected;
    };
    const Row rows[] = {
        {"same", [&](std::size_t i, int) { return Sine(0.5, 440, i, f.rate); }, ChannelRelation::Identical},
        {"right silent", [&](std::size_t i, int c) { return c == 0 ? Sine(0.5, 440, i, f.rate) : 0.0; },
         ChannelRelation::OneSilent},
        {"left silent", [&](std::size_t i, int c) { return c == 1 ? Sine(0.5, 440, i, f.rate) : 0.0; },
         ChannelRelation::OneSilent},
        {"both silent apart", [](std::size_t, int c) { return c == 0 ? 0.0 : 0.01; }, ChannelRelation::BothSilent},
        {"both silent alike", [](std::size_t, int) { return 0.0; }, ChannelRelation::Identical},
        {"different", [&](std::size_t i, int c) { return Sine(0.5, 440, i, f.rate, c); }, ChannelRelation::Independent},
        {"same but for dither",
         [&](std::size_t i, int c) { return Sine(0.5, 440, i, f.rate) + (c == 1 && i % 3 == 0 ? f.Step() : 0.0); },
         ChannelRelation::DitherApart},
        {"a leak far below", [&](std::size_t i, int c) { return Sine(0.5, 440, i, f.rate) + c * Sine(0.001, 50, i, f.rate); },
         ChannelRelation::Independent},
    };
    for (const Row& row : rows) {
        auto bytes = Build(f, 9600, row.signal);
        SignalAnalysis a = Analyse(bytes, f);
        ASSERT_TRUE(a.ok) << row.name;
        EXPECT_EQ(a.relation, row.expected) << row.name;
    }
}

TEST(OwnFormats, EightBitSilenceAndThirtyTwoBitToneRead)
{
    // The program's 8-bit silence is 127: silent, one step below the centre.
    TestFormat u8{1, 1};
    auto silence = StoreFrames(u8, 1000, [](std::size_t, int) { return -1; });
    SignalAnalysis s = Analyse(silence, u8);
    ASSERT_TRUE(s.ok);
    EXPECT_TRUE(s.channel[0].silent);
    EXPECT_EQ(s.channel[0].dcOffset, -1.0);
    EXPECT_EQ(s.channel[0].peakSample, 127);
    // The 32-bit tone spans +-2^30, half the container: -6.02 dBFS.
    TestFormat s32{4, 1};
    auto tone = StoreFrames(s32, 48000, [](std::size_t i, int) {
        return static_cast<std::int64_t>(std::sin((i + 1) * 6283.185308 / 48000) * 1073741824 * 0.99 + 0.5);
    });
    SignalAnalysis t = Analyse(tone, s32);
    ASSERT_TRUE(t.ok);
    EXPECT_NEAR(t.channel[0].peakDbfs, Db(0.5 * 0.99), 0.01);
    EXPECT_NEAR(t.channel[0].tone.frequencyHz, 1000, 0.05);
    EXPECT_EQ(t.channel[0].clippedSamples, 0u);
}

TEST(Streaming, PiecesOfAnySizeGiveTheSameFigures)
{
    TestFormat f{3, 2};
    auto bytes = Build(f, 30000, [&](std::size_t i, int c) {
        return Sine(0.4, 1234.5, i, f.rate, c) + (i >= 12000 && i < 12400 ? -0.4 : 0.0);
    });
    SignalAnalysis whole = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), 24);
    CSignalAnalyzer pieces(f.Format(), 24, 30000);
    // 7 bytes: frames (6 bytes) and samples (3 bytes) straddle every piece.
    for (std::size_t at = 0; at < bytes.size(); at += 7)
        pieces.Feed(bytes.data() + at, std::min<std::size_t>(7, bytes.size() - at));
    SignalAnalysis split = pieces.Finish();
    ASSERT_TRUE(whole.ok);
    ASSERT_TRUE(split.ok);
    EXPECT_EQ(split.frames, 30000u);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(split.channel[c].peakSample, whole.channel[c].peakSample);
        EXPECT_EQ(split.channel[c].dcOffset, whole.channel[c].dcOffset);
        EXPECT_DOUBLE_EQ(split.channel[c].rmsDbfs, whole.channel[c].rmsDbfs);
        EXPECT_DOUBLE_EQ(split.channel[c].tone.frequencyHz, whole.channel[c].tone.frequencyHz);
        EXPECT_EQ(split.channel[c].dropoutCount, whole.channel[c].dropoutCount);
    }
}

TEST(Streaming, MoreFramesThanExpectedGiveTheSameLevelsAndDropouts)
{
    // The analysis is told of 1000 frames (less than a block) and fed 30000,
    // in two channels and in three (each gathered in its own column).
    for (int channels : {2, 3}) {
        TestFormat f{2, channels};
        CSampleFormat format = f.Format();
        format.channels = static_cast<std::uint16_t>(channels);
        auto bytes = Build(f, 30000, [&](std::size_t i, int c) {
            return Sine(0.3 + 0.1 * c, 700 + 300 * c, i, f.rate, c) * (i >= 5000 && i < 5040 ? 0 : 1);
        });
        SignalAnalysis known = AnalyseSamples(bytes.data(), bytes.size(), format, 16);
        CSignalAnalyzer told(format, 16, 1000);
        for (std::size_t at = 0; at < bytes.size(); at += 999)
            told.Feed(bytes.data() + at, std::min<std::size_t>(999, bytes.size() - at));
        SignalAnalysis longer = told.Finish();
        ASSERT_TRUE(known.ok && longer.ok) << longer.error;
        ASSERT_EQ(longer.channel.size(), static_cast<std::size_t>(channels));
        EXPECT_EQ(longer.frames, 30000u);
        for (int c = 0; c < channels; ++c) {
            EXPECT_EQ(longer.channel[c].peakSample, known.channel[c].peakSample) << c;
            EXPECT_EQ(longer.channel[c].dcOffset, known.channel[c].dcOffset) << c;
            EXPECT_EQ(longer.channel[c].rmsDbfs, known.channel[c].rmsDbfs) << c;
            EXPECT_EQ(longer.channel[c].dropoutCount, known.channel[c].dropoutCount) << c;
        }
        ASSERT_EQ(longer.dropouts.size(), known.dropouts.size());
        for (std::size_t d = 0; d < known.dropouts.size(); ++d)
            EXPECT_EQ(longer.dropouts[d].frame, known.dropouts[d].frame);
        EXPECT_GT(known.dropoutCount, 0u);
    }
}

TEST(Refusals, NothingToAnalyseIsSaidSo)
{
    TestFormat f{2, 2};
    std::vector<std::uint8_t> three(3, 0); // less than one frame
    SignalAnalysis a = AnalyseSamples(three.data(), three.size(), f.Format(), 16);
    EXPECT_FALSE(a.ok);
    EXPECT_FALSE(a.error.empty());
    CSignalAnalyzer twice(f.Format(), 16);
    twice.Feed(three.data(), 3);
    twice.Feed(three.data(), 3);
    SignalAnalysis once = twice.Finish();
    EXPECT_TRUE(once.ok);
    EXPECT_EQ(once.frames, 1u);
    EXPECT_FALSE(twice.Finish().ok);
}

TEST(Silence, DigitalAndDitherLevelAreSaidSoWithTheirLevels)
{
    TestFormat f{2, 2};
    std::mt19937 random(3);
    std::uniform_int_distribution<int> lsb(-1, 1);
    // Channel 1 all zero, channel 2 dither of +-1 step.
    auto bytes = Build(f, 48000, [&](std::size_t, int c) { return c == 0 ? 0.0 : lsb(random) * f.Step(); });
    SignalAnalysis a = Analyse(bytes, f);
    ASSERT_TRUE(a.ok);
    EXPECT_TRUE(a.channel[0].silent);
    EXPECT_FALSE(a.channel[0].ditherLevel);
    EXPECT_TRUE(a.channel[1].ditherLevel);
    EXPECT_NEAR(a.channel[1].peakDbfs, Db(f.Step()), 0.01);
    EXPECT_EQ(a.dropoutCount, 0u);
    const std::string text = AnalysisText(a, "silence", false, {}, "\n");
    EXPECT_NE(text.find("Channel 1: digital silence (every sample 0), DC 0.00"), std::string::npos) << text;
    EXPECT_EQ(text.find("peak - dBFS"), std::string::npos) << text;
    EXPECT_NE(text.find("Channel 2: peak -90.31 dBFS"), std::string::npos) << text;
    EXPECT_NE(text.find("; silence at dither level;"), std::string::npos) << text;
    EXPECT_NE(text.find("Dropouts: 0 (none are sought in silence at dither level)"), std::string::npos) << text;
}

} // namespace
