// SPDX-License-Identifier: GPL-3.0-or-later
// The stimuli and their sequence: the PCM round trip at every width, the
// sequence's layout, and the refusal of timings the measures cannot use.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/loopback/FftCorrelation.h"
#include "analysis/loopback/PcmSamples.h"
#include "analysis/loopback/Stimulus.h"

namespace {

TEST(PcmSamples, RoundTripKeepsTheValidPrecisionAtEveryWidth)
{
    struct Row {
        const char* name;
        int bytes;
        int validBits;
    };
    const Row rows[] = {{"U8", 1, 0}, {"S16", 2, 0}, {"S12in16", 2, 12}, {"S24", 3, 0}, {"S20in24", 3, 20},
                        {"S32", 4, 0}, {"S24in32", 4, 24}};
    const std::vector<double> values = {0.0, 0.5, -0.5, 0.999999, -1.0, 2.0, -2.0, 0.123456789};
    for (const auto& row : rows) {
        CSampleFormat f(48000, 2, static_cast<std::uint16_t>(row.bytes));
        const int valid = EffectiveValidBits(f, row.validBits);
        const std::vector<std::uint8_t> pcm = EncodeFrames({values, {}}, f, row.validBits);
        ASSERT_EQ(pcm.size(), values.size() * 2 * row.bytes) << row.name;
        const auto left = DecodeChannel(pcm.data(), pcm.size(), f, 0, 0, values.size());
        const auto right = DecodeChannel(pcm.data(), pcm.size(), f, 1, 0, values.size());
        const double step = std::ldexp(1.0, 1 - valid);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double expected = std::clamp(std::round(values[i] / step) * step, -1.0, 1.0 - step);
            EXPECT_DOUBLE_EQ(left[i], expected) << row.name << " value " << values[i];
            EXPECT_EQ(right[i], 0.0) << row.name;
            // Nothing below the valid precision is ever set.
            EXPECT_EQ(std::fmod(left[i], step), 0.0) << row.name;
        }
        if (row.bytes == 1) {
            EXPECT_EQ(pcm[1], 128) << "8-bit silence is stored as 128";
        }
    }
}

TEST(PcmSamples, DecodeStaysWithinTheData)
{
    CSampleFormat f(48000, 2, 3);
    const std::vector<std::uint8_t> pcm(6 * 10 + 4, 0x7f); // ten frames and part of one
    EXPECT_EQ(FramesIn(pcm.size(), f), 10u);
    EXPECT_EQ(DecodeChannel(pcm.data(), pcm.size(), f, 1, 8, 100).size(), 2u);
    EXPECT_TRUE(DecodeChannel(pcm.data(), pcm.size(), f, 1, 10, 1).empty());
    EXPECT_TRUE(DecodeChannel(pcm.data(), pcm.size(), f, 2, 0, 1).empty());
    EXPECT_TRUE(DecodeChannel(nullptr, 0, f, 0, 0, 1).empty());
}

TEST(Stimulus, SequencePartsFollowInOrderWithGaps)
{
    CSampleFormat f(44100, 2, 2);
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(f, 0, SequenceTiming{}, seq));
    ASSERT_EQ(seq.parts.size(), 7u);
    EXPECT_EQ(seq.bytes.size(), seq.frames * 4);
    const std::uint64_t gap = 4410;
    for (std::size_t i = 1; i < seq.parts.size(); ++i)
        EXPECT_EQ(seq.parts[i].frame, seq.parts[i - 1].frame + seq.parts[i - 1].frames + gap) << i;
    EXPECT_EQ(seq.frames, seq.parts.back().frame + seq.parts.back().frames + gap);
    EXPECT_EQ(seq.Find(StimulusPart::Crosstalk, 1)->drivenChannel, 1);
    EXPECT_EQ(seq.Find(StimulusPart::Crosstalk, 2), nullptr);
    EXPECT_DOUBLE_EQ(seq.sweepEndHz, 0.45 * 44100);

    // One channel driven, the other silent.
    const PartSpan* cross = seq.Find(StimulusPart::Crosstalk, 1);
    const auto left = DecodeChannel(seq.bytes.data(), seq.bytes.size(), f, 0, cross->frame, cross->frames);
    const auto right = DecodeChannel(seq.bytes.data(), seq.bytes.size(), f, 1, cross->frame, cross->frames);
    EXPECT_EQ(*std::max_element(left.begin(), left.end()), 0.0);
    EXPECT_NEAR(*std::max_element(right.begin(), right.end()), std::pow(10, ToneDbfs / 20), 1e-3);

    CSampleFormat mono(44100, 1, 2);
    ASSERT_TRUE(BuildSequence(mono, 0, SequenceTiming{}, seq));
    EXPECT_EQ(seq.parts.size(), 5u);
}

TEST(Stimulus, RefusesTimingsTheMeasuresCannotUse)
{
    struct Row {
        const char* name;
        SequenceTiming timing;
    };
    const Row rows[] = {
        {"NoGap", {.gapSeconds = 0}},
        {"NoSweep", {.sweepSeconds = 0.001}},
        {"NegativeTone", {.toneSeconds = -1}},
        {"NaNSilence", {.silenceSeconds = std::nan("")}},
        {"LongPart", {.sweepSeconds = 61}},
        {"OverTenMinutes", {.gapSeconds = 60, .sweepSeconds = 60, .toneSeconds = 60, .quietToneSeconds = 60,
                            .silenceSeconds = 60, .crosstalkSeconds = 60}},
    };
    for (const auto& row : rows) {
        LoopbackSequence seq;
        EXPECT_FALSE(BuildSequence(CSampleFormat(48000, 2, 2), 0, row.timing, seq)) << row.name;
        EXPECT_TRUE(seq.bytes.empty()) << row.name;
    }
}

TEST(Stimulus, SweepThroughItsInverseIsOneImpulse)
{
    const auto sweep = MakeSweep(48000, 48000, SweepStartHz, 0.45 * 48000, 0);
    const auto inverse = MakeInverseSweep(48000, 48000, SweepStartHz, 0.45 * 48000);
    std::vector<double> ir;
    ASSERT_TRUE(FftConvolve(sweep, inverse, ir));
    std::size_t peak = 0;
    for (std::size_t i = 0; i < ir.size(); ++i)
        if (std::fabs(ir[i]) > std::fabs(ir[peak]))
            peak = i;
    EXPECT_EQ(peak, sweep.size() - 1);
    // Away from the impulse the response has died down to nearly nothing.
    for (std::size_t i : {peak - 4800, peak + 4800})
        EXPECT_LT(std::fabs(ir[i]), 1e-3 * std::fabs(ir[peak])) << i;
}

} // namespace
