// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sequence/TestTone.h"

namespace {

TestParameters Tone(std::int32_t rate, std::int32_t channels, std::int32_t width, std::int32_t seconds)
{
    TestParameters p;
    p.sampleRate = rate;
    p.channels = channels;
    p.bytesPerSample = width;
    p.precisionBits = width * 8;
    p.durationSeconds = seconds;
    p.frameCount = std::int64_t{rate} * seconds;
    p.bufferBytes = p.frameCount * channels * width;
    return p;
}

std::vector<std::uint8_t> Build(const TestParameters& p, CToneProgress* progress = nullptr)
{
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(p.bufferBytes > 0 ? p.bufferBytes : 0), 0xEE);
    std::size_t written = WriteTestTone(buffer, p, progress);
    EXPECT_EQ(written, buffer.size());
    return buffer;
}

std::int32_t Sample(const std::vector<std::uint8_t>& b, std::size_t index, int width)
{
    std::uint32_t raw = 0;
    for (int i = 0; i < width; ++i)
        raw |= std::uint32_t{b[index * width + i]} << (8 * i);
    if (width == 1)
        return static_cast<std::int32_t>(raw);
    int shift = 32 - 8 * width;
    return static_cast<std::int32_t>(raw << shift) >> shift;
}

class CRecordedProgress : public CToneProgress {
public:
    void Show(int position) override { positions.push_back(position); }
    std::vector<int> positions;
};

TEST(TestTone, SixteenBitSamplesStartOnePhaseStepIn)
{
    auto b = Build(Tone(44100, 1, 2, 1));
    EXPECT_EQ(Sample(b, 0, 2), 4606);
    EXPECT_EQ(Sample(b, 1, 2), 9119);
    EXPECT_EQ(Sample(b, 2, 2), 13447);
    std::int32_t low = 0, high = 0;
    for (std::size_t i = 0; i < 44100; ++i) {
        low = std::min(low, Sample(b, i, 2));
        high = std::max(high, Sample(b, i, 2));
    }
    EXPECT_GE(low, -32438);
    EXPECT_LE(high, 32439);
    EXPECT_LT(low, -32000);
    EXPECT_GT(high, 32000);
}

TEST(TestTone, EightBitSamplesAreUnsignedAroundSilence)
{
    auto b = Build(Tone(44100, 1, 1, 1));
    EXPECT_EQ(b[0], 145);
    EXPECT_EQ(b[1], 163);
    EXPECT_EQ(b[2], 180);
    auto [low, high] = std::minmax_element(b.begin(), b.end());
    EXPECT_GE(*low, 0);
    EXPECT_LE(*high, 254);
    EXPECT_LT(*low, 5);
    EXPECT_GT(*high, 250);
}

TEST(TestTone, TwentyFourBitSamplesPackThreeBytesTwosComplement)
{
    TestParameters p = Tone(44100, 1, 3, 1);
    auto b = Build(p);
    for (std::size_t i : {0u, 1u, 30u, 40u, 1000u}) {
        std::int32_t expected = ToneSample(static_cast<std::int64_t>(i), 44100, 8388607, 0);
        EXPECT_EQ(Sample(b, i, 3), expected) << i;
    }
    // Frame 30 lies in the negative half of the first cycle.
    EXPECT_LT(Sample(b, 30, 3), 0);
    EXPECT_EQ(b[30 * 3 + 2] & 0x80, 0x80);
}

TEST(TestTone, ThirtyTwoBitPeaksAtHalfFullScale)
{
    auto b = Build(Tone(44100, 1, 4, 1));
    std::int32_t high = 0;
    for (std::size_t i = 0; i < 44100; ++i)
        high = std::max(high, Sample(b, i, 4));
    EXPECT_LE(high, static_cast<std::int32_t>(0.99 * (1 << 30)) + 1);
    EXPECT_GT(high, static_cast<std::int32_t>(0.989 * (1 << 30)));
}

TEST(TestTone, EveryChannelOfAFrameHoldsTheSameSample)
{
    auto b = Build(Tone(48000, 2, 2, 1));
    for (std::size_t frame = 0; frame < 48000; ++frame)
        ASSERT_EQ(std::memcmp(&b[frame * 4], &b[frame * 4 + 2], 2), 0) << frame;
}

TEST(TestTone, ZeroChannelsComputesFramesButWritesNothing)
{
    TestParameters p = Tone(44100, 0, 2, 4);
    std::vector<std::uint8_t> guard(8, 0xEE);
    CRecordedProgress progress;
    EXPECT_EQ(WriteTestTone(guard, p, &progress), 0u);
    EXPECT_EQ(progress.positions.size(), 177u);
    EXPECT_EQ(guard, std::vector<std::uint8_t>(8, 0xEE));
}

TEST(TestTone, NoChannelsAtAHugeRateOnlyCountsTheFrames)
{
    // 200 MHz for 100 s with no channels: nothing to write, so this must not
    // take a sine per frame (minutes) before it returns.
    class CCounted : public CToneProgress {
    public:
        void Show(int position) override
        {
            ++count;
            last = position;
        }
        std::int64_t count = 0;
        int last = -1;
    } progress;
    TestParameters p = Tone(200000000, 0, 2, 100);
    std::vector<std::uint8_t> guard(8, 0xEE);
    EXPECT_EQ(WriteTestTone(guard, p, &progress), 0u);
    EXPECT_EQ(progress.count, (p.frameCount + 999) / 1000);
    EXPECT_EQ(progress.last, 99);
    EXPECT_EQ(guard, std::vector<std::uint8_t>(8, 0xEE));
}

TEST(TestTone, RateZeroOrNegativeFramesDoNothing)
{
    CRecordedProgress progress;
    std::vector<std::uint8_t> guard(8, 0xEE);
    EXPECT_EQ(WriteTestTone(guard, Tone(0, 1, 2, 4), &progress), 0u);
    TestParameters negative = Tone(44100, 1, 2, 4);
    negative.frameCount = -5;
    EXPECT_EQ(WriteTestTone(guard, negative, &progress), 0u);
    EXPECT_TRUE(progress.positions.empty());
}

TEST(TestTone, ProgressEveryThousandFramesUpTo99)
{
    CRecordedProgress progress;
    Build(Tone(44100, 1, 2, 4), &progress);
    ASSERT_EQ(progress.positions.size(), 177u); // frames 0, 1000, ..., 176000
    EXPECT_EQ(progress.positions[0], 0);
    EXPECT_EQ(progress.positions[1], 0);
    EXPECT_EQ(progress.positions[2], 1);
    EXPECT_EQ(progress.positions.back(), 99);
    for (std::size_t k = 0; k < progress.positions.size(); ++k)
        EXPECT_EQ(progress.positions[k], static_cast<int>(100 * 1000 * k / 176400));
}

TEST(TestTone, NeverWritesPastTheBuffer)
{
    // Widths past four bytes: the value's four bytes, then zeros.
    TestParameters wide = Tone(8000, 1, 6, 1);
    auto b = Build(wide);
    std::int32_t first = ToneSample(0, 8000, 32767, 0);
    EXPECT_EQ(Sample(b, 0, 4), first); // the low four of six bytes
    EXPECT_EQ(b[4], 0);
    EXPECT_EQ(b[5], 0);

    // A buffer shorter than the tone is filled and not overrun.
    TestParameters p = Tone(8000, 2, 2, 1);
    std::vector<std::uint8_t> shortBuffer(11 + 8, 0xEE);
    std::span<std::uint8_t> room(shortBuffer.data(), 11);
    EXPECT_EQ(WriteTestTone(room, p, nullptr), 10u);
    EXPECT_EQ(shortBuffer[10], 0xEE);
    EXPECT_EQ(shortBuffer[11], 0xEE);
}

} // namespace
