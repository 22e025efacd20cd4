// SPDX-License-Identifier: GPL-3.0-or-later
// The transparent level's judgement on paths made here with a known effect:
// each verdict named for what the path did, and only for that.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "measure/formats/FormatLoop.h"
#include "measure/formats/FormatMatrixText.h"
#include "measure/formats/FormatSamples.h"

namespace {

// What a path hands back: the sequence `lag` frames late, each sample
// (MSB-aligned, frame, channel) through `effect`, silence around it.
std::vector<std::uint8_t> Through(const FormatKey& key, const std::vector<std::uint8_t>& played, std::size_t lag,
                                  const std::function<std::int64_t(const std::vector<std::int32_t>&, std::size_t,
                                                                   std::uint16_t)>& effect)
{
    const std::uint16_t width = key.width.bits / 8;
    const std::size_t frames = played.size() / (width * key.channels);
    std::vector<std::int32_t> x(frames * key.channels);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = LoadAlignedSample(&played[i * width], width);
    std::vector<std::uint8_t> out((frames + lag + 300) * key.channels * width);
    for (std::size_t i = 0; i < out.size(); i += width)
        StoreAlignedSample(&out[i], 0, width);
    for (std::size_t f = 0; f < frames; ++f)
        for (std::uint16_t c = 0; c < key.channels; ++c) {
            std::int64_t v = effect(x, f, c);
            v = std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX);
            StoreAlignedSample(&out[((f + lag) * key.channels + c) * width], static_cast<std::int32_t>(v), width);
        }
    return out;
}

std::int64_t Quantised(double value, int bits)
{
    const double step = std::ldexp(1.0, 32 - bits);
    return static_cast<std::int64_t>(std::round(value / step) * step);
}

struct Row {
    const char* name;
    FormatKey key;
    std::function<std::int64_t(const std::vector<std::int32_t>&, std::size_t, std::uint16_t)> effect;
    const char* mark;
};

TEST(FormatLoopTest, EachPathIsNamedForWhatItDid)
{
    const FormatKey s16{48000, 2, {16, 16}, false};
    const FormatKey s24in32{44100, 2, {32, 24}, true};
    const FormatKey u8{8000, 1, {8, 8}, false};
    auto same = [](const std::vector<std::int32_t>& x, std::size_t f, std::uint16_t c) -> std::int64_t {
        return x[f * 2 + c];
    };
    const Row rows[] = {
        {"Untouched", s16, same, "T"},
        {"Untouched 8-bit", u8, [](const auto& x, std::size_t f, std::uint16_t) -> std::int64_t { return x[f]; },
         "T"},
        {"3 dB down", s16,
         [](const auto& x, std::size_t f, std::uint16_t c) { return Quantised(x[f * 2 + c] * 0.7079, 16); }, "G"},
        {"Cut to 16 of 24 bits", s24in32,
         [](const auto& x, std::size_t f, std::uint16_t c) -> std::int64_t { return x[f * 2 + c] & ~0xFFFF; }, "Q"},
        {"Rounded to 16 of 24 bits", s24in32,
         [](const auto& x, std::size_t f, std::uint16_t c) { return Quantised(x[f * 2 + c], 16); }, "Q"},
        {"Resampled at the server's phase", s24in32,
         [](const auto& x, std::size_t f, std::uint16_t c) {
             double a = static_cast<double>(f * 48000 % 44100) / 44100;
             double before = f == 0 ? 0 : x[(f - 1) * 2 + c];
             return Quantised(x[f * 2 + c] - a * (x[f * 2 + c] - before), 24);
         },
         "R"},
        {"Two steps of noise", s16,
         [](const auto& x, std::size_t f, std::uint16_t c) -> std::int64_t {
             std::uint32_t h = static_cast<std::uint32_t>(f * 2 + c) * 2654435761u;
             return x[f * 2 + c] + (static_cast<std::int64_t>(h >> 29) % 5 - 2) * 65536;
         },
         "N"},
        {"Channels swapped", s16, [](const auto& x, std::size_t f, std::uint16_t c) -> std::int64_t {
             return x[f * 2 + (1 - c)];
         },
         "S"},
        {"Silence", s16, [](const auto&, std::size_t, std::uint16_t) -> std::int64_t { return 0; }, "?"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::uint8_t> played = BuildMatrixSequence(row.key, 3000);
        std::vector<std::uint8_t> captured = Through(row.key, played, 417, row.effect);
        FormatLoopVerdict v = JudgeLoop(row.key, played, captured);
        EXPECT_EQ(FormatLoopMark(v), row.mark);
        // A smeared path lies between two frames.
        if (v.heard) {
            EXPECT_NEAR(static_cast<double>(v.lagFrames), 417, v.resampled ? 1 : 0);
        }
    }
}

// The sequence uses every valid bit and none below them, in every width.
TEST(FormatLoopTest, SequenceUsesEveryValidBitAndNoneBelow)
{
    for (const FormatWidth& width : StandardMatrixWidths()) {
        SCOPED_TRACE(std::to_string(width.validBits) + "/" + std::to_string(width.bits));
        FormatKey key{48000, 2, width, true};
        std::vector<std::uint8_t> bytes = BuildMatrixSequence(key, 2048);
        std::uint32_t any = 0;
        for (std::size_t i = 0; i < bytes.size(); i += width.bits / 8)
            any |= static_cast<std::uint32_t>(LoadAlignedSample(&bytes[i], width.bits / 8));
        const std::uint32_t valid = width.validBits == 32 ? 0xFFFFFFFFu : ~((1u << (32 - width.validBits)) - 1);
        EXPECT_EQ(any, valid);
        EXPECT_EQ(bytes, BuildMatrixSequence(key, 2048));
    }
}

} // namespace

// Every mark a loop verdict can give is explained in the matrix's legend.
TEST(FormatLoopTest, EveryLoopMarkIsInTheLegend)
{
    const std::string legend = FormatMatrixText(FormatMatrixResult{}, false);
    auto verdict = [](auto set) {
        FormatLoopVerdict v;
        v.run = v.heard = true;
        set(v);
        return v;
    };
    const FormatLoopVerdict verdicts[] = {
        verdict([](FormatLoopVerdict& v) { v.runFailed = true; }),
        verdict([](FormatLoopVerdict& v) { v.heard = false; }),
        verdict([](FormatLoopVerdict& v) { v.transparent = true; }),
        verdict([](FormatLoopVerdict& v) { v.gain = true; }),
        verdict([](FormatLoopVerdict& v) { v.resampled = true; }),
        verdict([](FormatLoopVerdict& v) { v.truncated = true; }),
        verdict([](FormatLoopVerdict& v) { v.noise = true; }),
        verdict([](FormatLoopVerdict& v) { v.swapped = true; }),
        verdict([](FormatLoopVerdict&) {}),
    };
    for (const FormatLoopVerdict& v : verdicts) {
        const std::string mark = FormatLoopMark(v);
        ASSERT_EQ(mark.size(), 1u);
        EXPECT_NE(legend.find(" " + mark + " "), std::string::npos) << "'" << mark << "' is not in the legend";
    }
}
