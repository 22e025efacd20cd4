// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures agree with the text: a tone is drawn at the level the text
// gives it, wherever it falls between bins; the frequency axis starts at
// the band's lower end without steps where pixels are finer than bins; the
// waveform has one column per pixel with its extremes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "TestSignals.h"
#include "analysis/Picture.h"
#include "analysis/SignalAnalyzer.h"

namespace {

// The plot's spectrum panel is this many pixels wide.
constexpr int PanelColumns = 1090;

struct ToneRow {
    const char* name;
    TestFormat format;
    double hz;
    double amplitude;
};

class PictureLevels : public testing::TestWithParam<ToneRow> {};

TEST_P(PictureLevels, TheToneIsDrawnAtTheLevelTheTextGives)
{
    const ToneRow& row = GetParam();
    const TestFormat& f = row.format;
    auto bytes = Build(f, static_cast<std::size_t>(f.rate) * 2,
                       [&](std::size_t i, int c) { return Sine(row.amplitude * (c == 0 ? 1 : 0.5), row.hz, i, f.rate); });
    SignalAnalysis a = AnalyseSamples(bytes.data(), bytes.size(), f.Format(), f.Valid());
    ASSERT_TRUE(a.ok);
    SpectrumAxis axis;
    ASSERT_TRUE(SpectrumAxisFor(a, axis));
    EXPECT_GE(axis.lowHz, PictureLowHz);
    for (int c = 0; c < f.channels; ++c) {
        const ToneFigures& t = a.channel[c].tone;
        ASSERT_TRUE(t.isTone);
        EXPECT_NEAR(t.levelDbfs, Db(row.amplitude * (c == 0 ? 1 : 0.5)), 0.05);
        const auto& bins = a.spectrumDbfs[c];
        EXPECT_NEAR(*std::max_element(bins.begin(), bins.end()), t.levelDbfs, 0.1) << "the spectrum";
        const std::vector<double> columns = SpectrumColumns(bins, a.binHz, axis, PanelColumns);
        ASSERT_EQ(columns.size(), static_cast<std::size_t>(PanelColumns));
        EXPECT_NEAR(*std::max_element(columns.begin(), columns.end()), t.levelDbfs, 0.1) << "the picture";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tones, PictureLevels,
    testing::Values(ToneRow{"MinusOneAtABinsCentre", {2, 1}, 1000, std::pow(10, -1 / 20.0)},
                    ToneRow{"MinusOneHalfWayBetweenBins", {2, 1}, 1000 + 48000.0 / 16384 / 2, std::pow(10, -1 / 20.0)},
                    ToneRow{"QuietLowTone", {3, 2}, 100.7, 0.01},
                    ToneRow{"HighTone", {3, 1, 96000}, 15001.3, 0.5},
                    ToneRow{"StereoAt44k", {2, 2, 44100}, 997, 0.7}),
    [](const testing::TestParamInfo<ToneRow>& info) { return std::string(info.param.name); });

TEST(Picture, ColumnsFinerThanBinsFollowTheSpectrumWithoutSteps)
{
    // Falling 0.1 dB per bin of 2.93 Hz: at the low end of a 1090-pixel
    // axis a pixel is a fraction of a bin.
    std::vector<float> levels(8193);
    for (std::size_t k = 0; k < levels.size(); ++k)
        levels[k] = -0.1f * static_cast<float>(k);
    const double binHz = 48000.0 / 16384;
    const SpectrumAxis axis{PictureLowHz, binHz * 8192};
    const std::vector<double> columns = SpectrumColumns(levels, binHz, axis, PanelColumns);
    ASSERT_EQ(columns.size(), static_cast<std::size_t>(PanelColumns));
    EXPECT_NEAR(columns.front(), -0.1 * PictureLowHz / binHz, 0.1);
    for (std::size_t x = 1; x < columns.size(); ++x)
        EXPECT_LE(columns[x], columns[x - 1]) << "column " << x;
    // Where pixels are finer than bins, each still has a level of its own.
    for (std::size_t x = 1; x < 200; ++x)
        EXPECT_LT(columns[x], columns[x - 1]) << "column " << x;
}

TEST(Picture, EveryPixelColumnOfTheWaveformHasItsExtremes)
{
    // A 1024-column overview with one spike, drawn 1090 and 500 pixels wide.
    std::vector<float> low(1024, -0.5f), high(1024, 0.5f);
    low[700] = -1.0f;
    high[300] = 0.9f;
    for (int pixels : {1090, 500, 1024}) {
        const std::vector<OverviewColumn> drawn = OverviewColumns(low, high, pixels);
        ASSERT_EQ(drawn.size(), static_cast<std::size_t>(pixels));
        float lowest = 0, highest = 0;
        for (const OverviewColumn& c : drawn) {
            EXPECT_GE(c.high - c.low, 0.99f) << "a pixel column left out";
            lowest = std::min(lowest, c.low);
            highest = std::max(highest, c.high);
        }
        EXPECT_EQ(lowest, -1.0f) << pixels;
        EXPECT_EQ(highest, 0.9f) << pixels;
        // The spike stays as narrow as a column or a pixel, whichever is wider.
        const auto spikes = std::count_if(drawn.begin(), drawn.end(), [](const OverviewColumn& c) { return c.high > 0.8f; });
        EXPECT_GE(spikes, 1);
        EXPECT_LE(spikes, pixels > 1024 ? 2 : 1) << pixels;
    }
    EXPECT_TRUE(OverviewColumns({}, {}, 100).empty());
    EXPECT_TRUE(OverviewColumns(low, high, 0).empty());
}

} // namespace
