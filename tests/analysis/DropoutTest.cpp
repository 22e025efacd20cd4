// SPDX-License-Identifier: GPL-3.0-or-later
// Dropouts: gaps of zeros and jumps inside a signal, placed within a
// millisecond, and no false alarms on clean or noisy signals.
#include <gtest/gtest.h>

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
        EXPECT_NEAR(gap.positionMs, 300, 1.0);
        EXPECT_NEAR(static_cast<double>(gap.frames), 240, 2);
        EXPECT_EQ(jump.kind, DropoutKind::Discontinuity);
        EXPECT_NEAR(jump.positionMs, 700, 1.0);
    }
}

TEST_P(Dropouts, CleanAndNoisySignalsHaveNone)
{
    TestFormat f{GetParam().bytes, GetParam().channels};
    std::mt19937 random(99);
    std::normal_distribution<double> gauss(0.0, 0.1);
    struct Signal {
        const char* name;
        std::function<double(std::size_t, int)> at;
    };
    const Signal signals[] = {
        {"sine", [&](std::size_t i, int) { return Sine(0.9, 1000, i, f.rate); }},
        {"noise", [&](std::size_t, int) { return gauss(random); }},
        {"quiet sine", [&](std::size_t i, int) { return Sine(0.001, 100, i, f.rate); }},
        {"chord", [&](std::size_t i, int) { return Sine(0.3, 440, i, f.rate) + Sine(0.3, 660, i, f.rate) +
                                                   Sine(0.2, 5000, i, f.rate); }},
        {"swell", [&](std::size_t i, int) { return Sine(0.1 + 0.8 * i / 96000.0, 440, i, f.rate); }},
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

} // namespace
