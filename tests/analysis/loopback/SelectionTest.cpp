// SPDX-License-Identifier: GPL-3.0-or-later
// Sequences built for some measures only: the parts each needs, the marker
// first, and the measures on such a capture reading just those parts, with
// the same figures as the whole sequence gives.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/loopback/LoopbackMeasure.h"
#include "support/LoopChain.h"

namespace {

struct SelectionRow {
    const char* name;
    MeasureSelection selection;
    int channels;
    std::vector<StimulusPart> parts; // in the order played
};

using P = StimulusPart;
const SelectionRow Rows[] = {
    {"LatencyOnly", {false, false, false, false}, 2, {P::Marker}},
    {"Response", {true, false, false, false}, 1, {P::Marker, P::Sweep}},
    {"Thd", {false, true, false, false}, 2, {P::Marker, P::Tone}},
    {"Noise", {false, false, true, false}, 1, {P::Marker, P::QuietTone, P::Silence}},
    {"Crosstalk", {false, false, false, true}, 2, {P::Marker, P::Crosstalk, P::Crosstalk}},
    {"CrosstalkOnOneChannelIsLeftOut", {false, false, false, true}, 1, {P::Marker}},
    {"ResponseAndNoise", {true, false, true, false}, 2, {P::Marker, P::Sweep, P::QuietTone, P::Silence}},
    {"AllMono", {}, 1, {P::Marker, P::Sweep, P::Tone, P::QuietTone, P::Silence}},
};

class SequenceSelection : public testing::TestWithParam<SelectionRow> {};

TEST_P(SequenceSelection, HoldsThePartsItsMeasuresReadAndMeasuresOnlyThose)
{
    const SelectionRow& row = GetParam();
    const CSampleFormat format(48000, static_cast<std::uint16_t>(row.channels), 2);
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(format, 0, SequenceTiming{}, row.selection, seq));
    ASSERT_EQ(seq.parts.size(), row.parts.size());
    for (std::size_t i = 0; i < row.parts.size(); ++i)
        EXPECT_EQ(seq.parts[i].part, row.parts[i]) << i;
    EXPECT_EQ(seq.parts[0].frame, 0u);
    EXPECT_EQ(seq.bytes.size(), seq.frames * format.channels * 2);
    EXPECT_EQ(seq.selection.crosstalk, row.selection.crosstalk && row.channels > 1);

    Impairments chain;
    chain.delayFrames = 777;
    chain.gainDb = -3;
    chain.noiseDbfs = -80;
    const auto capture = RunChain(seq, chain, 4800);
    const LoopbackMeasures m = MeasureLoopback(capture.data(), capture.size(), seq);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_EQ(m.measured, seq.selection);
    EXPECT_EQ(m.latency.frames, 777);
    const std::size_t channels = static_cast<std::size_t>(row.channels);
    EXPECT_EQ(m.response.size(), seq.selection.response ? channels : 0);
    EXPECT_EQ(m.gainDb.size(), seq.selection.thd ? channels : 0);
    EXPECT_EQ(m.thdnDb.size(), seq.selection.thd ? channels : 0);
    EXPECT_EQ(m.tone.ok, seq.selection.thd);
    EXPECT_EQ(m.noiseFloorDbfs.size(), seq.selection.noise ? channels : 0);
    EXPECT_EQ(m.dynamicRangeDb.size(), seq.selection.noise ? channels : 0);
    EXPECT_EQ(m.crosstalk.levelDb.size(), seq.selection.crosstalk ? channels : 0);
    EXPECT_EQ(m.dropoutsChecked, seq.selection.response || seq.selection.thd);
    for (double g : m.gainDb)
        EXPECT_NEAR(g, -3, 0.05);
    for (double n : m.noiseFloorDbfs)
        EXPECT_NEAR(n, -80, 1);
    if (m.tone.ok) {
        EXPECT_NEAR(m.tone.channel[0].tone.frequencyHz, ToneHz, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(Selections, SequenceSelection, testing::ValuesIn(Rows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SequenceLimits, OnlyThePartsPlayedCountTowardsTheLimits)
{
    // A sweep too short to measure does not matter when no sweep is played.
    SequenceTiming timing;
    timing.sweepSeconds = 0.001;
    LoopbackSequence seq;
    EXPECT_FALSE(BuildSequence(CSampleFormat(48000, 1, 2), 0, timing, MeasureSelection{}, seq));
    EXPECT_TRUE(BuildSequence(CSampleFormat(48000, 1, 2), 0, timing, {false, true, true, false}, seq));
    // The crosstalk parts count once per channel driven: 480 s of other
    // parts fit, 240 s more of crosstalk do not.
    timing = SequenceTiming{.markerSeconds = 60, .gapSeconds = 60, .toneSeconds = 60, .quietToneSeconds = 60,
                            .silenceSeconds = 60, .crosstalkSeconds = 60};
    const MeasureSelection noSweep{false, true, true, true};
    EXPECT_TRUE(BuildSequence(CSampleFormat(8000, 1, 1), 0, timing, noSweep, seq));
    EXPECT_FALSE(BuildSequence(CSampleFormat(8000, 2, 1), 0, timing, noSweep, seq));
}

} // namespace
