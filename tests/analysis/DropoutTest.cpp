// SPDX-License-Identifier: GPL-3.0-or-later
// Dropouts: every gap of zeros and every phase slip in a tone, however often
// they come, placed to the frame; none in clean tones, noise or dither.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "TestSignals.h"
#include "analysis/SignalAnalyzer.h"

namespace {

struct DropoutRow {
    const char* name;
    int bytes;
    int channels;
};

class Dropouts : public testing::TestWithParam<DropoutRow> {};

// An exponential sweep of 20 Hz to 0.45 of the rate over 2 s at -6 dBFS
// with its third harmonic 70 dB down.
double ColouredSweep(std::size_t i, int rate)
{
    const double seconds = 2;
    const double span = seconds / std::log(0.45 * rate / 20);
    const double t = static_cast<double>(i) / rate;
    const double phase = 2 * std::numbers::pi * 20 * span * (std::exp(t / span) - 1);
    return 0.5 * (std::sin(phase) + std::pow(10, -70.0 / 20) * std::sin(3 * phase));
}

TEST_P(Dropouts, GapsAndJumpsAreFoundWhereTheyAre)
{
    TestFormat f{GetParam().bytes, GetParam().channels};
    // A 5 ms gap at 300 ms; at 700 ms 100 samples are skipped (a jump in phase).
    auto bytes = Build(f, 48000, [&](std::size_t i, int) {
        if (i >= 14400 && i < 14640)
            return 0.0;
        std::size_t t = i >= 33600 ? i + 100 : i;
        return Sine(0.5, 440, t, f.rate);
    });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), f.Valid());
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.dropoutCount, 2u * f.channels);
    ASSERT_EQ(a.dropouts.size(), 2u * f.channels);
    for (int c = 0; c < f.channels; ++c) {
        EXPECT_EQ(a.channel[c].dropoutCount, 2u);
        const Dropout& gap = a.dropouts[c];
        const Dropout& jump = a.dropouts[f.channels + c];
        EXPECT_EQ(gap.kind, DropoutKind::ZeroRun);
        EXPECT_EQ(gap.frame, 14400u);
        EXPECT_EQ(gap.frames, 240u);
        EXPECT_EQ(jump.kind, DropoutKind::Discontinuity);
        EXPECT_NEAR(jump.positionMs, 700, 0.05);
    }
}

TEST_P(Dropouts, CleanNoisyAndDitheredSignalsHaveNone)
{
    TestFormat f{GetParam().bytes, GetParam().channels};
    std::mt19937 random(99);
    std::normal_distribution<double> gauss(0.0, 0.1);
    std::uniform_real_distribution<double> flat(-0.9, 0.9);
    std::uniform_int_distribution<int> lsb(-1, 1);
    struct Signal {
        const char* name;
        std::function<double(std::size_t, int)> at;
    };
    const Signal signals[] = {
        {"sine", [&](std::size_t i, int) { return Sine(0.9, 1000, i, f.rate); }},
        {"noise", [&](std::size_t, int) { return gauss(random); }},
        {"flat noise", [&](std::size_t, int) { return flat(random); }},
        {"dither", [&](std::size_t, int) { return lsb(random) * f.Step(); }},
        {"quiet sine", [&](std::size_t i, int) { return Sine(0.001, 100, i, f.rate); }},
        {"chord", [&](std::size_t i, int) { return Sine(0.3, 440, i, f.rate) + Sine(0.3, 660, i, f.rate) +
                                                   Sine(0.2, 5000, i, f.rate); }},
        {"swell", [&](std::size_t i, int) { return Sine(0.1 + 0.8 * i / 96000.0, 440, i, f.rate); }},
        {"sine in noise", [&](std::size_t i, int) { return Sine(0.5, 997, i, f.rate) + 0.001 * gauss(random); }},
        // The loopback's sweep through a cable with a -70 dB third harmonic,
        // a 1 dB treble loss and a -96 dBFS hiss: the prediction's error
        // changes within each stretch and must not read as a step.
        {"coloured sweep", [&](std::size_t i, int) {
             return ColouredSweep(i, f.rate) + 0.056 * ColouredSweep(i - 1, f.rate) + 1.6e-5 * gauss(random);
         }},
    };
    for (const Signal& s : signals) {
        auto bytes = Build(f, 96000, s.at);
        SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), f.Valid());
        ASSERT_TRUE(a.ok) << s.name;
        // A quiet 8-bit sine is mostly zeros by nature: gaps there are real.
        if (f.bytes == 1 && std::string(s.name) == "quiet sine")
            continue;
        EXPECT_EQ(a.dropoutCount, 0u) << s.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Dropouts,
                         testing::Values(DropoutRow{"S16Mono", 2, 1}, DropoutRow{"S24Stereo", 3, 2},
                                         DropoutRow{"S32Mono", 4, 1}, DropoutRow{"U8Stereo", 1, 2}),
                         [](const testing::TestParamInfo<DropoutRow>& info) { return std::string(info.param.name); });

// A tone with a glitch every `spacing` frames from frame `spacing / 2` on:
// `gap` frames set to zero, or `slip` frames of the tone skipped.
struct Glitches {
    std::size_t spacing;
    std::size_t gap = 0;
    std::size_t slip = 0;
};

struct Injected {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint64_t> at;
};

Injected GlitchyTone(const TestFormat& f, std::size_t frames, double hz, const Glitches& g)
{
    Injected out;
    for (std::size_t at = g.spacing / 2; at + 2 * g.spacing < frames; at += g.spacing)
        out.at.push_back(at);
    out.bytes = Build(f, frames, [&](std::size_t i, int) {
        std::size_t k = i < g.spacing / 2 ? 0 : (i - g.spacing / 2) / g.spacing + 1; // glitches up to i
        k = std::min(k, out.at.size());
        if (g.gap > 0 && k > 0 && i - out.at[k - 1] < g.gap)
            return 0.0;
        // A phase offset keeps every glitch off the tone's zero crossings.
        return Sine(0.5, hz, i + k * g.slip, f.rate, 0.3);
    });
    return out;
}

struct RateRow {
    const char* name;
    TestFormat format;
    double hz;
    Glitches glitches;
};

class DropoutRate : public testing::TestWithParam<RateRow> {};

TEST_P(DropoutRate, EveryGlitchIsFoundOnceWhereItIs)
{
    const RateRow& row = GetParam();
    const TestFormat& f = row.format;
    const std::size_t frames = std::max<std::size_t>(96000, 4 * row.glitches.spacing);
    Injected in = GlitchyTone(f, frames, row.hz, row.glitches);
    SignalAnalysis a = AnalyseSamples(in.bytes.data(), in.bytes.size(), f.Format(), f.Valid());
    ASSERT_TRUE(a.ok);
    ASSERT_GE(in.at.size(), 2u);
    EXPECT_EQ(a.dropoutCount, in.at.size() * f.channels);
    const bool gap = row.glitches.gap > 0;
    std::size_t checked = 0;
    for (const Dropout& d : a.dropouts) {
        const std::uint64_t at = in.at[std::min<std::size_t>(checked / f.channels, in.at.size() - 1)];
        EXPECT_EQ(d.kind, gap ? DropoutKind::ZeroRun : DropoutKind::Discontinuity) << "at " << d.frame;
        EXPECT_EQ(d.frame, at) << "glitch " << checked / f.channels;
        if (gap) {
            EXPECT_EQ(d.frames, row.glitches.gap);
        }
        ++checked;
    }
    EXPECT_EQ(checked, std::min<std::size_t>(MaxDropoutsKept, in.at.size() * f.channels));
}

INSTANTIATE_TEST_SUITE_P(
    Spacings, DropoutRate,
    testing::Values(RateRow{"Gap1Every20", {2, 1}, 1000, {20, 1, 0}}, RateRow{"Gap3Every20", {2, 1}, 1000, {20, 3, 0}},
                    RateRow{"Slip1Every20", {2, 1}, 1000, {20, 0, 1}}, RateRow{"Slip3Every20", {2, 1}, 1000, {20, 0, 3}},
                    RateRow{"Gap1Every1024", {2, 1}, 1000, {1024, 1, 0}},
                    RateRow{"Slip1Every1024", {2, 1}, 1000, {1024, 0, 1}},
                    RateRow{"Gap1Every48000", {2, 1}, 1000, {48000, 1, 0}},
                    RateRow{"Slip1Every48000", {2, 1}, 1000, {48000, 0, 1}},
                    RateRow{"Stereo24Gap1Every20", {3, 2}, 997, {20, 1, 0}},
                    RateRow{"Stereo24Slip1Every20", {3, 2}, 997, {20, 0, 1}},
                    RateRow{"Stereo24Slip1Every1024", {3, 2}, 997, {1024, 0, 1}},
                    RateRow{"Stereo24Gap2Every48000", {3, 2}, 440, {48000, 2, 0}},
                    RateRow{"Stereo24Slip1Every48000", {3, 2}, 440, {48000, 0, 1}},
                    RateRow{"S32Slip1Every1024", {4, 1, 96000}, 1000, {1024, 0, 1}}),
    [](const testing::TestParamInfo<RateRow>& info) { return std::string(info.param.name); });

TEST(Dropouts, ShortGapsOfEveryLengthAreEachOneRunOfTheirLength)
{
    TestFormat f{2, 1};
    // Ten gaps of 1, 2, 3, 5, 7, 9, 11, 13, 14 and 15 frames, 100 ms apart.
    const std::size_t lengths[] = {1, 2, 3, 5, 7, 9, 11, 13, 14, 15};
    auto bytes = Build(f, 52800, [&](std::size_t i, int) {
        std::size_t k = i / 4800;
        if (k >= 1 && k <= 10 && i % 4800 < lengths[k - 1])
            return 0.0;
        return Sine(0.5, 1000, i, f.rate, 0.3);
    });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), 16);
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.dropoutCount, 10u);
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(a.dropouts[k].kind, DropoutKind::ZeroRun);
        EXPECT_EQ(a.dropouts[k].frame, 4800 * (k + 1));
        EXPECT_EQ(a.dropouts[k].frames, lengths[k]);
    }
}

TEST(Dropouts, ManyAreCountedButFewAreKept)
{
    TestFormat f{2, 1};
    // A 1 ms gap every 10 ms for 10 s.
    auto bytes = Build(f, 480000, [&](std::size_t i, int) { return i % 480 < 48 ? 0.0 : Sine(0.5, 1000, i, f.rate); });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), 16);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.dropoutCount, 999u);
    EXPECT_EQ(a.dropouts.size(), MaxDropoutsKept);
    EXPECT_NEAR(a.dropouts[1].positionMs, 20, 1.0);
}

TEST(Dropouts, NoneWhereTheSignalStartsOrStops)
{
    TestFormat f{2, 2};
    // Silence, a tone that starts at a peak, silence again: no dropout.
    auto bytes = Build(f, 48000, [&](std::size_t i, int) {
        return i >= 10000 && i < 40000 ? Sine(0.5, 1000, i - 10000, f.rate, 1.5) : 0.0;
    });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), 16);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.dropoutCount, 0u);
}

} // namespace
