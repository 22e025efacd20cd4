// SPDX-License-Identifier: GPL-3.0-or-later
// The whole loopback path in one process: the sequence built, played and
// recorded at once over the virtual loopback pair on the fake clock, and
// measured. Each row sets one impairment of the virtual cable and holds the
// measure to it, over every width, one and two channels, both descriptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <numbers>
#include <ostream>
#include <string>

#include "analysis/loopback/CaptureView.h"
#include "analysis/loopback/LoopbackMeasure.h"
#include "analysis/loopback/Stimulus.h"
#include "analysis/loopback/ToneMeasures.h"
#include "audio/FullDuplexRun.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

constexpr std::int32_t LoopbackIn = 1; // listed after the default device of each direction
constexpr std::int32_t LoopbackOut = 1;

struct FormatRow {
    const char* name;
    std::uint16_t bytes;
    std::uint16_t channels;
    std::int32_t rate;
    std::uint16_t validBits; // 0: the container
    bool extended;
};

const FormatRow Formats[] = {
    {"U8Mono48k", 1, 1, 48000, 0, false},          {"U8Stereo44k", 1, 2, 44100, 0, true},
    {"S16Stereo44k", 2, 2, 44100, 0, false},       {"S16Mono48kExtended", 2, 1, 48000, 0, true},
    {"S24in20Stereo48k", 3, 2, 48000, 20, true},   {"S24Mono96k", 3, 1, 96000, 0, false},
    {"S32in24Stereo48k", 4, 2, 48000, 24, true},   {"S32Mono48k", 4, 1, 48000, 0, false},
};

// Short parts keep the FFT work small (the device time is free on the fake
// clock); the 1 kHz tone keeps its length, which THD+N near -60 dB needs.
const SequenceTiming Timing{.markerSeconds = 0.085,
                            .gapSeconds = 0.05,
                            .sweepSeconds = 0.5,
                            .toneSeconds = 0.5,
                            .quietToneSeconds = 0.25,
                            .silenceSeconds = 0.25,
                            .crosstalkSeconds = 0.2};

struct Context {
    const FormatRow& format;
    const VirtualLoopbackChain& chain;
    const LoopbackSequence& seq;
    const LoopbackMeasures& m;
    int ValidBits() const { return seq.validBits; }
    // One step of the valid precision, squared over 12: the rounding noise power.
    double QuantisationPower() const { return std::pow(std::ldexp(1.0, 1 - seq.validBits), 2) / 12; }
    double NoisePower() const { return std::isfinite(chain.noiseDbfs) ? std::pow(10, chain.noiseDbfs / 10) : 0; }
};

double PowerDb(double p)
{
    return 10 * std::log10(p);
}

// The cable's tilt: y = g (x[n] + c x[n-1]), 0 dB at 1 kHz and tiltDb at
// 0.45 x rate. c found here by bisection, apart from the cable's own solution.
double TiltMagnitude(double c, double hz, double rate)
{
    return std::abs(1.0 + c * std::polar(1.0, -2 * std::numbers::pi * hz / rate));
}

double TiltResponseDb(double tiltDb, double rate, double hz)
{
    const double top = SweepTopShare * rate;
    auto at = [&](double c) { return 20 * std::log10(TiltMagnitude(c, top, rate) / TiltMagnitude(c, 1000, rate)); };
    double low = -0.999, high = 0.999; // at() falls as c grows
    for (int i = 0; i < 200; ++i) {
        const double mid = (low + high) / 2;
        (at(mid) > tiltDb ? low : high) = mid;
    }
    const double c = (low + high) / 2;
    return 20 * std::log10(TiltMagnitude(c, hz, rate) / TiltMagnitude(c, 1000, rate));
}

void ExpectFlatResponse(const Context& c)
{
    for (const auto& r : c.m.response) {
        EXPECT_GT(r.minDb, -0.2);
        EXPECT_LT(r.maxDb, 0.2);
    }
}

void ExpectGain(const Context& c)
{
    for (double g : c.m.gainDb)
        EXPECT_NEAR(g, c.chain.gainDb, 0.05);
}

void ExpectTilt(const Context& c)
{
    for (const auto& r : c.m.response) {
        ASSERT_FALSE(r.points.empty());
        for (const auto& p : r.points)
            EXPECT_NEAR(p.db, TiltResponseDb(c.chain.tiltDb, c.format.rate, p.hz), 0.2) << p.hz << " Hz";
        EXPECT_NEAR(r.points.back().db, c.chain.tiltDb, 0.2 + std::fabs(c.chain.tiltDb) * 0.05)
            << "the top of the band, " << r.points.back().hz << " Hz";
    }
}

void ExpectCrosstalk(const Context& c)
{
    if (c.format.channels == 1) {
        EXPECT_TRUE(c.m.crosstalk.levelDb.empty());
        return;
    }
    EXPECT_FALSE(c.m.crosstalk.swapped);
    if (c.ValidBits() <= 8 && c.chain.crosstalkDb < -40)
        return;
    EXPECT_NEAR(c.m.crosstalk.levelDb[0][1], c.chain.crosstalkDb, 1);
    EXPECT_NEAR(c.m.crosstalk.levelDb[1][0], c.chain.crosstalkDb, 1);
}

struct Impairment {
    const char* name;
    VirtualLoopbackChain chain;
    std::function<void(const Context&)> check;
};

VirtualLoopbackChain Chain(std::function<void(VirtualLoopbackChain&)> set)
{
    VirtualLoopbackChain chain;
    set(chain);
    return chain;
}

const Impairment Impairments[] = {
    {"Plain", {},
     [](const Context& c) {
         EXPECT_EQ(c.m.latency.frames, 256) << "the default latency";
         ExpectFlatResponse(c);
         ExpectGain(c);
         EXPECT_TRUE(c.m.dropouts.empty() && !c.m.crosstalk.swapped);
     }},
    {"OddLatency", Chain([](auto& ch) { ch.latencyFrames = 4801; }),
     [](const Context& c) {
         EXPECT_EQ(c.m.latency.frames, 4801);
         EXPECT_NEAR(c.m.latency.ms, 4801000.0 / c.format.rate, 1e-9);
     }},
    {"OneFrame", Chain([](auto& ch) { ch.latencyFrames = 1; }),
     [](const Context& c) { EXPECT_EQ(c.m.latency.frames, 1); }},
    {"Attenuation", Chain([](auto& ch) { ch.gainDb = -3; }),
     [](const Context& c) {
         ExpectGain(c);
         ExpectFlatResponse(c);
     }},
    {"Gain", Chain([](auto& ch) { ch.gainDb = 4.5; }), ExpectGain},
    {"FallingTilt", Chain([](auto& ch) { ch.tiltDb = -1; }), ExpectTilt},
    {"RisingTilt", Chain([](auto& ch) { ch.tiltDb = 2; }), ExpectTilt},
    {"SteepTilt", Chain([](auto& ch) { ch.tiltDb = -6; }),
     [](const Context& c) {
         ExpectTilt(c);
         for (const auto& r : c.m.response) {
             ASSERT_FALSE(std::isnan(r.upperMinus3Hz));
             EXPECT_NEAR(TiltResponseDb(-6, c.format.rate, r.upperMinus3Hz), -3, 0.2);
         }
     }},
    {"HarmonicAndNoise", Chain([](auto& ch) { ch.harmonicDb = -30, ch.noiseDbfs = -60; }),
     [](const Context& c) {
         const double tone = std::pow(10, ToneDbfs / 10) / 2;
         const double expected = PowerDb((tone * 1e-3 + c.NoisePower() + c.QuantisationPower()) / tone);
         for (double t : c.m.thdnDb)
             EXPECT_NEAR(t, expected, 1);
     }},
    {"Harmonic", Chain([](auto& ch) { ch.harmonicDb = -60; }),
     [](const Context& c) {
         const double tone = std::pow(10, ToneDbfs / 10) / 2;
         const double expected = PowerDb((tone * 1e-6 + c.QuantisationPower()) / tone);
         for (double t : c.m.thdnDb)
             EXPECT_NEAR(t, expected, 1);
     }},
    {"NoiseFloor", Chain([](auto& ch) { ch.noiseDbfs = -40; }),
     [](const Context& c) {
         for (double n : c.m.noiseFloorDbfs)
             EXPECT_NEAR(n, PowerDb(c.NoisePower() + c.QuantisationPower()), 1);
     }},
    {"QuietNoiseFloor", Chain([](auto& ch) { ch.noiseDbfs = -90, ch.seed = 7; }),
     [](const Context& c) {
         // Below one step of 8 bits the noise rounds away to digital silence.
         for (double n : c.m.noiseFloorDbfs) {
             if (c.ValidBits() <= 8)
                 EXPECT_TRUE(std::isnan(n));
             else
                 EXPECT_NEAR(n, PowerDb(c.NoisePower() + c.QuantisationPower()), 1);
         }
     }},
    {"Crosstalk", Chain([](auto& ch) { ch.crosstalkDb = -30; }), ExpectCrosstalk},
    // At 8 bits a leak this far down is under one step and cannot be carried.
    {"DeepCrosstalk", Chain([](auto& ch) { ch.crosstalkDb = -70; }), ExpectCrosstalk},
    {"Swap", Chain([](auto& ch) { ch.swapChannels = true; }),
     [](const Context& c) {
         EXPECT_EQ(c.m.latency.frames, 256);
         if (c.format.channels == 2) {
             EXPECT_TRUE(c.m.crosstalk.swapped);
             EXPECT_EQ(c.m.crosstalk.mapping, (std::vector<std::uint16_t>{1, 0}));
         }
     }},
    {"Dropout", {},
     [](const Context& c) {
         ASSERT_FALSE(c.m.dropouts.empty());
         const VirtualDropout& d = c.chain.dropouts.at(0);
         const double truth = 1000.0 * static_cast<double>(d.frame) / c.format.rate;
         for (const auto& found : c.m.dropouts)
             EXPECT_NEAR(found.positionMs, truth, 1);
     }},
};

// Rows print as their names, not as bytes.
void PrintTo(const FormatRow& row, std::ostream* out)
{
    *out << row.name;
}
void PrintTo(const Impairment& row, std::ostream* out)
{
    *out << row.name;
}

class VirtualLoopbackRun : public ::testing::TestWithParam<std::tuple<FormatRow, Impairment>> {};

// 200 ms into the 1 kHz tone as it comes back, 5 ms long.
VirtualDropout DropoutInTheTone(const LoopbackSequence& seq, std::uint32_t latency, std::int32_t rate)
{
    const PartSpan* tone = seq.Find(StimulusPart::Tone);
    return {tone->frame + latency + static_cast<std::uint64_t>(rate / 5), static_cast<std::uint32_t>(rate / 200)};
}

// Plays the sequence over the virtual loopback pair with `chain` and measures
// what came back.
LoopbackMeasures RunOverThePair(const FormatRow& format, const VirtualLoopbackChain& chain, const LoopbackSequence& seq)
{
    CFakeServicesScope services;
    CVirtualWaveApi api;
    api.loopbackChain = chain;

    FullDuplexRequest request;
    request.inputDevice = LoopbackIn;
    request.outputDevice = LoopbackOut;
    request.sampleRate = format.rate;
    request.channels = format.channels;
    request.bytesPerSample = format.bytes;
    request.validBits = static_cast<std::uint16_t>(seq.validBits);
    request.extended = format.extended;
    request.stimulus = seq.bytes;
    const std::uint64_t frameBytes = std::uint64_t{format.channels} * format.bytes;
    request.captureBytes = (seq.frames + chain.latencyFrames + static_cast<std::uint64_t>(format.rate / 10)) * frameBytes;

    FullDuplexResult run;
    const int ran = RunFullDuplex(api, request, run);
    EXPECT_EQ(ran, 1) << FullDuplexOutcomeText(run.outcome);
    EXPECT_EQ(run.capture.size(), request.captureBytes);
    EXPECT_EQ(run.inputStartTick, run.outputStartTick);
    if (ran != 1)
        return {};
    return MeasureLoopback(run.capture.data(), run.capture.size(), seq);
}

TEST_P(VirtualLoopbackRun, MeasuresTheImpairmentOfTheCable)
{
    const auto& [format, impairment] = GetParam();
    CSampleFormat f(format.rate, format.channels, format.bytes);
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(f, format.validBits, Timing, seq));
    VirtualLoopbackChain chain = impairment.chain;
    if (std::string(impairment.name) == "Dropout")
        chain.dropouts = {DropoutInTheTone(seq, chain.latencyFrames, format.rate)};

    const LoopbackMeasures m = RunOverThePair(format, chain, seq);
    ASSERT_TRUE(m.ok) << m.error;
    EXPECT_EQ(m.latency.frames, static_cast<std::int64_t>(chain.latencyFrames));
    EXPECT_FALSE(m.latency.inverted);
    impairment.check(Context{format, chain, seq, m});
}

INSTANTIATE_TEST_SUITE_P(Cable, VirtualLoopbackRun,
                         ::testing::Combine(::testing::ValuesIn(Formats), ::testing::ValuesIn(Impairments)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

struct GapRow {
    const char* name;
    FormatRow format;
    std::uint64_t spacing;
    std::uint32_t frames;
};

void PrintTo(const GapRow& row, std::ostream* out)
{
    *out << row.name;
}

// The largest magnitude the sequence plays in frames first .. first + frames.
double Played(const LoopbackSequence& seq, std::uint64_t first, std::uint32_t frames)
{
    double largest = 0;
    for (double v : DecodeChannel(seq.bytes.data(), seq.bytes.size(), seq.format, 0, first, frames))
        largest = std::max(largest, std::fabs(v));
    return largest;
}

class LoopbackGaps : public ::testing::TestWithParam<GapRow> {};

// Gaps every `spacing` frames through the sweep and the tone as they come
// back: every one inside the stretches searched is found, once, where it is.
TEST_P(LoopbackGaps, EveryGapInTheSweepAndTheToneIsFound)
{
    const GapRow& row = GetParam();
    CSampleFormat f(row.format.rate, row.format.channels, row.format.bytes);
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(f, row.format.validBits, Timing, seq));
    VirtualLoopbackChain chain;
    CaptureView view;
    view.sequence = &seq;
    view.latencyFrames = chain.latencyFrames;
    view.byteCount = static_cast<std::size_t>(seq.frames + chain.latencyFrames) * f.bytesPerSample * f.channels;
    std::vector<std::uint64_t> expected;
    for (StimulusPart part : {StimulusPart::Sweep, StimulusPart::Tone}) {
        CaptureRange r;
        ASSERT_TRUE(view.Locate(*seq.Find(part), PartGuardShare, r));
        // Gaps across either end of the searched stretch are the signal
        // starting and stopping there, not dropouts.
        chain.dropouts.push_back({r.frame - 2, row.frames + 2});
        for (std::uint64_t at = r.frame + std::min(row.spacing / 2, r.frames / 3);
             at + row.frames + 3 <= r.frame + r.frames; at += row.spacing) {
            // A gap that zeroes what was zero anyway loses nothing, and one
            // beside a sample that is zero anyway is longer: step off the
            // zero crossings.
            auto played = [&](std::uint64_t frame, std::uint32_t frames) {
                return Played(seq, frame - chain.latencyFrames, frames);
            };
            while (played(at, row.frames) < 0.01 || played(at - 1, 1) < 0.01 || played(at + row.frames, 1) < 0.01)
                ++at;
            chain.dropouts.push_back({at, row.frames});
            expected.push_back(at);
        }
        chain.dropouts.push_back({r.frame + r.frames - 1, row.frames + 2});
    }
    ASSERT_GE(expected.size(), 2u);

    const LoopbackMeasures m = RunOverThePair(row.format, chain, seq);
    ASSERT_TRUE(m.ok) << m.error;
    ASSERT_TRUE(m.dropoutsChecked);
    EXPECT_EQ(m.dropoutCount, expected.size() * f.channels);
    for (const Dropout& d : m.dropouts) {
        EXPECT_TRUE(std::binary_search(expected.begin(), expected.end(), d.frame)) << "a dropout at " << d.frame;
        EXPECT_EQ(d.kind, DropoutKind::ZeroRun);
        EXPECT_EQ(d.frames, row.frames);
    }
}

// Widths whose steps are fine enough that a one-frame gap anywhere but at a
// zero crossing stands out of the quantisation.
INSTANTIATE_TEST_SUITE_P(Spacings, LoopbackGaps,
                         ::testing::Values(GapRow{"OneFrameEvery20", Formats[3], 20, 1},
                                           GapRow{"ThreeFramesEvery20Stereo", Formats[6], 20, 3},
                                           GapRow{"OneFrameEvery1024Stereo", Formats[2], 1024, 1},
                                           GapRow{"TwoFramesEvery1024", Formats[5], 1024, 2},
                                           GapRow{"OneFrameEvery48000", Formats[3], 48000, 1},
                                           GapRow{"FiveFramesEvery48000Stereo", Formats[6], 48000, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
