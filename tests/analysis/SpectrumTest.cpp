// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum's figures against signals built with known frequencies,
// harmonics and noise.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "TestSignals.h"
#include "analysis/SignalAnalyzer.h"
#include "analysis/Spectrum.h"
#include "analysis/ToneMeasure.h"
#include "analysis/Window.h"

namespace {

struct FrequencyRow {
    const char* name;
    double hz;
    int bytes;
    double amplitude;
};

class Frequency : public testing::TestWithParam<FrequencyRow> {};

TEST_P(Frequency, WithinFiveHundredthsOfAHertzInOneSecond)
{
    const FrequencyRow& row = GetParam();
    TestFormat f{row.bytes, 1};
    auto bytes = Build(f, 48000, [&](std::size_t i, int) { return Sine(row.amplitude, row.hz, i, f.rate, 0.7); });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), f.Valid());
    ASSERT_TRUE(a.ok);
    EXPECT_TRUE(a.channel[0].tone.isTone);
    EXPECT_NEAR(a.channel[0].tone.frequencyHz, row.hz, 0.05);
    EXPECT_NEAR(a.channel[0].tone.levelDbfs, Db(row.amplitude), 0.05);
}

INSTANTIATE_TEST_SUITE_P(Rows, Frequency,
                         testing::Values(FrequencyRow{"Low50Hz", 50.3, 2, 0.5}, FrequencyRow{"A440", 440, 2, 0.5},
                                         FrequencyRow{"OnABin", 2929.6875, 3, 0.5},
                                         FrequencyRow{"HalfwayBetweenBins", 1001.3671875, 3, 0.5},
                                         FrequencyRow{"High", 19876.54, 4, 0.9},
                                         FrequencyRow{"QuietU8", 3000.01, 1, 0.25},
                                         FrequencyRow{"Quiet24", 777.77, 3, 0.001}),
                         [](const testing::TestParamInfo<FrequencyRow>& info) { return std::string(info.param.name); });

struct NoiseRow {
    const char* name;
    int bytes;
    double harmonic2; // amplitude of the second harmonic
    double harmonic3;
    double noise;     // standard deviation of the white noise
};

class Distortion : public testing::TestWithParam<NoiseRow> {};

TEST_P(Distortion, ThdnAndSnrWithinHalfADecibel)
{
    const NoiseRow& row = GetParam();
    TestFormat f{row.bytes, 2};
    const double amplitude = 0.5;
    std::mt19937 random(12345);
    std::normal_distribution<double> gauss(0.0, row.noise);
    std::vector<double> noise(2 * 96000);
    for (double& n : noise)
        n = gauss(random);
    auto bytes = Build(f, 96000, [&](std::size_t i, int c) {
        return Sine(amplitude, 997, i, f.rate) + Sine(row.harmonic2, 2 * 997, i, f.rate, 0.4) +
               Sine(row.harmonic3, 3 * 997, i, f.rate, 1.1) + noise[2 * i + c];
    });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), f.Valid());
    ASSERT_TRUE(a.ok);
    // Rounding adds step^2/12 of noise of its own, white enough at 997 Hz,
    // which shares no short period with the rate.
    double noisePower = row.noise * row.noise + f.Step() * f.Step() / 12;
    double tonePower = amplitude * amplitude / 2;
    double distortionPower = (row.harmonic2 * row.harmonic2 + row.harmonic3 * row.harmonic3) / 2;
    double thdn = 10 * std::log10((distortionPower + noisePower) / tonePower);
    double snr = 10 * std::log10(tonePower / noisePower);
    for (const ChannelAnalysis& c : a.channel) {
        ASSERT_TRUE(c.tone.isTone);
        EXPECT_NEAR(c.tone.thdnDb, thdn, 0.5);
        EXPECT_NEAR(c.tone.snrDb, snr, 0.5);
        EXPECT_NEAR(c.tone.frequencyHz, 997, 0.05);
    }
    EXPECT_EQ(a.relation, row.noise > 0 ? ChannelRelation::Independent : ChannelRelation::Identical);
}

INSTANTIATE_TEST_SUITE_P(Rows, Distortion,
                         testing::Values(NoiseRow{"U8QuantisationOnly", 1, 0, 0, 0},
                                         NoiseRow{"U8Noisy", 1, 0.01, 0, 0.01},
                                         NoiseRow{"S16Quantisation", 2, 0, 0, 0},
                                         NoiseRow{"S16Harmonics", 2, 0.005, 0.002, 1e-4},
                                         NoiseRow{"S16NoiseOnly", 2, 0, 0, 3e-3},
                                         NoiseRow{"S24Clean", 3, 5e-5, 0, 1e-6},
                                         NoiseRow{"S24Harmonics", 3, 0.05, 0.01, 1e-5},
                                         NoiseRow{"S32Faint", 4, 1e-6, 1e-6, 1e-7}),
                         [](const testing::TestParamInfo<NoiseRow>& info) { return std::string(info.param.name); });

TEST(Spectrum, NoiseIsNoToneButHasAFloor)
{
    TestFormat f{2, 1};
    std::mt19937 random(7);
    std::normal_distribution<double> gauss(0.0, 0.01);
    auto bytes = Build(f, 48000, [&](std::size_t, int) { return gauss(random); });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), 16);
    ASSERT_TRUE(a.ok);
    const ToneFigures& t = a.channel[0].tone;
    EXPECT_FALSE(t.isTone);
    EXPECT_TRUE(std::isnan(t.thdnDb));
    // White noise of 0.01 RMS is -40 dBFS; the median bin reads a little low.
    EXPECT_NEAR(t.noiseFloorDbfs, -40, 2.0);
    EXPECT_EQ(a.channel[0].dropoutCount, 0u);
}

TEST(Spectrum, ShortSignalsStillNameTheirTone)
{
    // 100 ms at 48 kHz is shorter than one segment.
    TestFormat f{2, 1};
    auto bytes = Build(f, 4800, [&](std::size_t i, int) { return Sine(0.5, 1000, i, f.rate); });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), 16);
    ASSERT_TRUE(a.ok);
    EXPECT_NEAR(a.channel[0].tone.frequencyHz, 1000, 0.5);
    EXPECT_NEAR(a.channel[0].tone.levelDbfs, Db(0.5), 0.1);
    EXPECT_LT(a.channel[0].tone.thdnDb, -80);
    auto tiny = Build(f, 8, [&](std::size_t i, int) { return Sine(0.5, 1000, i, f.rate); });
    SignalAnalysis t = AnalyseSamples(tiny.data(), tiny.size(), f.Format(), 16);
    ASSERT_TRUE(t.ok);
    EXPECT_TRUE(std::isnan(t.channel[0].tone.frequencyHz));
}

TEST(Spectrum, LongSignalsSpreadABoundedNumberOfSegments)
{
    EXPECT_EQ(FftSizeForRate(48000), 16384u);
    EXPECT_EQ(FftSizeForRate(192000), 65536u);
    EXPECT_EQ(FftSizeForRate(8000), 2048u);
    EXPECT_EQ(FftSizeForRate(1), 256u);
    EXPECT_EQ(FftSizeForRate(-5), 256u);
    EXPECT_EQ(FftSizeForRate(2000000000), 65536u);
    // A signal known to be short is one segment of the power of two that holds it.
    EXPECT_EQ(FftSizeFor(192000, 0), 65536u);
    EXPECT_EQ(FftSizeFor(192000, 40000), 65536u);
    EXPECT_EQ(FftSizeFor(192000, 32768), 32768u);
    EXPECT_EQ(FftSizeFor(48000, 1000), 1024u);
    EXPECT_EQ(FftSizeFor(48000, 3), 256u);
    EXPECT_EQ(SegmentStride(16384, 0), 8192u);
    EXPECT_EQ(SegmentStride(16384, 48000), 8192u);
    std::uint64_t frames = 100ull * 192000;
    std::uint64_t stride = SegmentStride(65536, frames);
    EXPECT_LE((frames - 65536) / stride + 1, MaxSegments);
    EXPECT_GE((frames - 65536) / stride + 1, MaxSegments - 1);
}

TEST(Spectrum, InterpolationInvertsTheWindowsResponse)
{
    for (double delta : {-0.5, -0.31, 0.0, 0.123, 0.49}) {
        double below = WindowResponse(1 + delta, 16384, 16384);
        double at = WindowResponse(delta, 16384, 16384);
        double above = WindowResponse(1 - delta, 16384, 16384);
        EXPECT_NEAR(InterpolatePeak(below, at, above, 16384, 16384), delta, 1e-6) << delta;
    }
    EXPECT_NEAR(WindowResponse(0, 4096, 4096), 1.0, 1e-12);
    // Far from the main lobe the window leaks nothing worth counting.
    EXPECT_LT(WindowResponse(WindowHalfWidthBins + 0.5, 4096, 4096), 1e-7);
}

// The interpolation as a plain bisection of 40 steps, every step worked out:
// the figures printed were always made of this answer.
double BisectedPeak(double below, double at, double above, std::size_t windowLength, std::size_t fftSize)
{
    if (!(at > 0))
        return 0;
    const double observed = (above - below) / at;
    const CWindowResponse response(windowLength, fftSize);
    double lo = -0.5;
    double hi = 0.5;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        if ((response(1 - mid) - response(1 + mid)) / response(mid) < observed)
            lo = mid;
        else
            hi = mid;
    }
    return (lo + hi) / 2;
}

TEST(Spectrum, InterpolationGivesThePlainBisectionsAnswerBitForBit)
{
    // Components anywhere between bins, on the bisection's own steps, nudged
    // by rounding; zero-padded windows (whose ratio hardly rises); ratios
    // beyond what the window gives, on either side; no peak at all.
    std::mt19937_64 random(19);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 2000; ++i) {
        const std::size_t fftSize = std::size_t{256} << (random() % 9);
        const std::size_t windowLength = i % 3 == 0 ? 32 + random() % (fftSize - 31) : fftSize;
        const CWindowResponse response(windowLength, fftSize);
        double below = 0, at = 0, above = 0;
        switch (i % 5) {
        case 0:
        case 1: {
            const double onStep = std::ldexp(static_cast<double>(random() % (1u << 20)) - (1 << 19), -20);
            const double delta = i % 5 == 0 ? unit(random) - 0.5 : onStep;
            below = response(1 + delta);
            at = response(delta);
            above = response(1 - delta);
            if (i % 7 == 0)
                below = std::nextafter(below, 0.0);
            break;
        }
        case 2:
            at = 0.5 + unit(random);
            below = unit(random) * at;
            above = unit(random) * at;
            break;
        case 3:
            at = unit(random);
            below = above = unit(random);
            break;
        default:
            at = i % 2 == 0 ? 0 : unit(random);
            below = 3 * unit(random);
            above = unit(random);
            break;
        }
        const double expected = BisectedPeak(below, at, above, windowLength, fftSize);
        const double got = InterpolatePeak(below, at, above, windowLength, fftSize);
        ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0)
            << "case " << i << ": " << got << " instead of " << expected << " (window " << windowLength << " of "
            << fftSize << ")";
    }
}

} // namespace
