// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback measures against a simulated chain with known impairments,
// over every container width, one and two channels.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "analysis/loopback/LoopbackMeasure.h"
#include "support/LoopChain.h"

namespace {

struct FormatRow {
    const char* name;
    int bytes;
    int channels;
    int rate;
    int validBits;
};

const FormatRow Formats[] = {
    {"U8Mono48k", 1, 1, 48000, 0},     {"S16Stereo44k", 2, 2, 44100, 0}, {"S24in20Stereo48k", 3, 2, 48000, 20},
    {"S24Mono96k", 3, 1, 96000, 0},    {"S32Stereo48k", 4, 2, 48000, 0},
};

struct Context {
    const FormatRow& format;
    const LoopbackSequence& seq;
    const LoopbackMeasures& m;
    // One step of the valid precision squared over 12: the rounding noise.
    double QuantisationPower() const { return std::pow(std::ldexp(1.0, 1 - seq.validBits), 2) / 12; }
};

double PowerDb(double p)
{
    return 10 * std::log10(p);
}

struct Scenario {
    const char* name;
    Impairments impairments;
    std::function<void(const Context&)> check;
};

void ExpectFlatResponse(const Context& c)
{
    for (const auto& r : c.m.response) {
        EXPECT_GT(r.minDb, -0.2);
        EXPECT_LT(r.maxDb, 0.2);
        EXPECT_TRUE(std::isnan(r.lowerMinus3Hz));
        EXPECT_TRUE(std::isnan(r.upperMinus3Hz));
    }
}

const Scenario Scenarios[] = {
    {"Clean", {},
     [](const Context& c) {
         EXPECT_EQ(c.m.latency.frames, 0);
         ExpectFlatResponse(c);
         for (double g : c.m.gainDb)
             EXPECT_NEAR(g, 0, 0.05);
         EXPECT_TRUE(c.m.dropouts.empty());
         EXPECT_FALSE(c.m.crosstalk.swapped);
     }},
    {"OneFrame", {.delayFrames = 1}, [](const Context& c) { EXPECT_EQ(c.m.latency.frames, 1); }},
    {"OddDelay", {.delayFrames = 4801},
     [](const Context& c) {
         EXPECT_EQ(c.m.latency.frames, 4801);
         EXPECT_NEAR(c.m.latency.ms, 4801000.0 / c.format.rate, 1e-9);
         ExpectFlatResponse(c);
     }},
    {"Gain", {.delayFrames = 333, .gainDb = 2.5},
     [](const Context& c) {
         EXPECT_EQ(c.m.latency.frames, 333);
         for (double g : c.m.gainDb)
             EXPECT_NEAR(g, 2.5, 0.05);
     }},
    {"Attenuation", {.delayFrames = 20, .gainDb = -12},
     [](const Context& c) {
         for (double g : c.m.gainDb)
             EXPECT_NEAR(g, -12, 0.05);
     }},
    {"HarmonicAndNoise", {.delayFrames = 100, .noiseDbfs = -60, .harmonicDb = -30},
     [](const Context& c) {
         const double tone = std::pow(10, ToneDbfs / 10) / 2;
         const double expected =
             PowerDb((tone * std::pow(10, -30 / 10.0) + 1e-6 + c.QuantisationPower()) / tone);
         for (double t : c.m.thdnDb)
             EXPECT_NEAR(t, expected, 1);
         EXPECT_EQ(c.m.latency.frames, 100);
     }},
    {"NoiseFloor", {.delayFrames = 7, .noiseDbfs = -40},
     [](const Context& c) {
         const double expected = PowerDb(1e-4 + c.QuantisationPower());
         for (double n : c.m.noiseFloorDbfs)
             EXPECT_NEAR(n, expected, 1);
     }},
    {"DynamicRange", {.delayFrames = 7, .noiseDbfs = -90},
     [](const Context& c) {
         const double expected = -PowerDb(1e-9 + c.QuantisationPower()) - 3.01;
         for (double d : c.m.dynamicRangeDb) {
             if (c.format.bytes == 1)
                 EXPECT_TRUE(std::isnan(d)) << "a -60 dBFS tone rounds away in 8 bits";
             else
                 EXPECT_NEAR(d, expected, 1);
         }
     }},
    {"Tilt", {.delayFrames = 50, .tiltHz = 6000},
     [](const Context& c) {
         EXPECT_NEAR(static_cast<double>(c.m.latency.frames), 50, 1);
         for (const auto& r : c.m.response) {
             for (const auto& p : r.points)
                 EXPECT_NEAR(p.db, TiltDb(6000, c.format.rate, p.hz), 0.2) << p.hz << " Hz";
             EXPECT_TRUE(std::isnan(r.lowerMinus3Hz));
             ASSERT_FALSE(std::isnan(r.upperMinus3Hz));
             EXPECT_NEAR(TiltDb(6000, c.format.rate, r.upperMinus3Hz), -3, 0.2);
         }
     }},
    {"Dropout", {.delayFrames = 240, .dropoutAtMs = 200, .dropoutMs = 5},
     [](const Context& c) {
         ASSERT_FALSE(c.m.dropouts.empty());
         const double truth = 1000.0 * (c.seq.Find(StimulusPart::Tone)->frame + 240) / c.format.rate + 200;
         for (const auto& d : c.m.dropouts)
             EXPECT_NEAR(d.positionMs, truth, 1);
     }},
    {"Swap", {.delayFrames = 64, .swap = true},
     [](const Context& c) {
         EXPECT_EQ(c.m.latency.frames, 64);
         if (c.format.channels == 2) {
             EXPECT_TRUE(c.m.crosstalk.swapped);
             EXPECT_EQ(c.m.crosstalk.mapping, (std::vector<std::uint16_t>{1, 0}));
         }
     }},
    {"Leak", {.delayFrames = 64, .leakDb = -30},
     [](const Context& c) {
         if (c.format.channels == 2) {
             EXPECT_FALSE(c.m.crosstalk.swapped);
             EXPECT_NEAR(c.m.crosstalk.levelDb[0][1], -30, 0.5);
             EXPECT_FALSE(c.m.crosstalk.levelDb[1][0] > -60);
         }
     }},
    // Channel 1 leaks into channel 2 at its own level: equally loud is not swapped.
    {"FullLeak", {.delayFrames = 64, .leakDb = 0},
     [](const Context& c) {
         if (c.format.channels == 2) {
             EXPECT_FALSE(c.m.crosstalk.swapped);
             EXPECT_EQ(c.m.crosstalk.mapping, (std::vector<std::uint16_t>{0, 1}));
             EXPECT_NEAR(c.m.crosstalk.levelDb[0][1], 0, 0.5);
         }
     }},
};

class LoopbackMeasureTest : public ::testing::TestWithParam<std::tuple<FormatRow, Scenario>> {};

TEST_P(LoopbackMeasureTest, FindsTheImpairment)
{
    const auto& [format, scenario] = GetParam();
    CSampleFormat f(format.rate, static_cast<std::uint16_t>(format.channels), static_cast<std::uint16_t>(format.bytes));
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(f, format.validBits, SequenceTiming{}, seq));
    const auto capture = RunChain(seq, scenario.impairments, seq.format.sampleRate / 10);
    const LoopbackMeasures m = MeasureLoopback(capture.data(), capture.size(), seq);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_FALSE(m.latency.inverted);
    scenario.check(Context{format, seq, m});
}

INSTANTIATE_TEST_SUITE_P(Chains, LoopbackMeasureTest,
                         ::testing::Combine(::testing::ValuesIn(Formats), ::testing::ValuesIn(Scenarios)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

TEST(LoopbackMeasure, RefusesWhatCannotBePlaced)
{
    CSampleFormat f(48000, 2, 2);
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(f, 0, SequenceTiming{}, seq));
    struct Row {
        const char* name;
        std::vector<std::uint8_t> capture;
        const char* error;
    };
    const auto sweepMiddle = static_cast<std::ptrdiff_t>(
        (seq.Find(StimulusPart::Sweep)->frame + seq.Find(StimulusPart::Sweep)->frames / 2) * 4);
    const auto toneMiddle = static_cast<std::ptrdiff_t>(
        (seq.Find(StimulusPart::Tone)->frame + seq.Find(StimulusPart::Tone)->frames / 2) * 4);
    const Row rows[] = {
        {"Silence", std::vector<std::uint8_t>(seq.bytes.size() * 2, 0), "latency: marker not found"},
        {"Empty", {}, "latency: capture too short"},
        {"CutInTheSweep", std::vector<std::uint8_t>(seq.bytes.begin(), seq.bytes.begin() + sweepMiddle),
         "response: the sweep did not come back whole within the capture"},
        {"CutInTheTone", std::vector<std::uint8_t>(seq.bytes.begin(), seq.bytes.begin() + toneMiddle),
         "a part of the sequence did not come back within the capture"},
    };
    for (const auto& row : rows) {
        const LoopbackMeasures m = MeasureLoopback(row.capture.data(), row.capture.size(), seq);
        EXPECT_FALSE(m.ok) << row.name;
        EXPECT_EQ(m.error, row.error) << row.name;
    }
}

TEST(LoopbackMeasure, InvertedPolarityIsFoundAndSaid)
{
    CSampleFormat f(48000, 1, 2);
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(f, 0, SequenceTiming{}, seq));
    const auto capture = RunChain(seq, {.delayFrames = 11, .gainDb = 0});
    std::vector<double> heard = DecodeChannel(capture.data(), capture.size(), f, 0, 0, FramesIn(capture.size(), f));
    for (auto& x : heard)
        x = -x;
    const LatencyResult r = FindMarker(heard, MakeMarker(seq.parts[0].frames), f.sampleRate);
    ASSERT_EQ(r.status, LatencyStatus::Found);
    EXPECT_EQ(r.frames, 11);
    EXPECT_TRUE(r.inverted);
}

TEST(LoopbackMeasure, EachMeasureRunsAloneOnAKnownLatency)
{
    CSampleFormat f(48000, 2, 3);
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(f, 0, SequenceTiming{}, seq));
    auto capture = RunChain(seq, {.delayFrames = 90, .gainDb = -1});
    // Without its marker the capture cannot be placed as a whole...
    const PartSpan& marker = seq.parts[0];
    std::fill(capture.begin() + static_cast<std::ptrdiff_t>((marker.frame + 90) * 6),
              capture.begin() + static_cast<std::ptrdiff_t>((marker.frame + 90 + marker.frames) * 6), 0);
    EXPECT_FALSE(MeasureLoopback(capture.data(), capture.size(), seq).ok);
    // ...but every measure placed by a latency known otherwise still reads it.
    const CaptureView view{capture.data(), capture.size(), &seq, 90};
    std::vector<double> gain, thdn, range, noise;
    CrosstalkResult crosstalk;
    std::vector<Dropout> dropouts;
    std::uint64_t dropoutCount = 1;
    ASSERT_TRUE(MeasureGain(view, gain));
    EXPECT_NEAR(gain[1], -1, 0.05);
    EXPECT_TRUE(MeasureThdN(view, thdn) && MeasureDynamicRange(view, range) && MeasureNoiseFloor(view, noise) &&
                MeasureCrosstalk(view, crosstalk) && FindDropouts(view, dropouts, dropoutCount));
    EXPECT_TRUE(std::isnan(noise[0])) << "digital silence has no level";
    EXPECT_TRUE(dropouts.empty());
    EXPECT_EQ(dropoutCount, 0u);
    const FrequencyResponse r = MeasureResponse(view, 1);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_LT(std::fabs(r.maxDb) + std::fabs(r.minDb), 0.2);
    EXPECT_FALSE(MeasureResponse(view, 2).ok) << "no third channel";
}

} // namespace
