// SPDX-License-Identifier: GPL-3.0-or-later
// The live levels against figures worked out by hand: a full-scale square
// and a sine at half scale in every width, clipping judged at the valid
// bits and not the container's, and input that is not whole frames.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/SampleCodec.h"
#include "desk/LevelMeter.h"

namespace {

std::vector<std::uint8_t> Sine(int channels, int width, int validBits, double amplitude, int frames)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(channels * width * frames));
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            StoreFraction(&bytes[static_cast<std::size_t>((f * channels + c) * width)],
                          amplitude * std::sin(2 * M_PI * f / 48.0), width, validBits);
    return bytes;
}

TEST(LevelMeter, ASineReadsItsPeakAndItsRmsInEveryWidth)
{
    for (int width : {1, 2, 3, 4}) {
        SCOPED_TRACE(width);
        const std::vector<std::uint8_t> bytes = Sine(2, width, 8 * width, 0.5, 4800);
        const std::vector<ChannelLevel> levels = MeasureLevels(bytes.data(), bytes.size(), 2, width, 8 * width);
        ASSERT_EQ(levels.size(), 2u);
        for (const ChannelLevel& level : levels) {
            EXPECT_NEAR(level.peakDbfs, -6.02, width == 1 ? 0.1 : 0.01);
            EXPECT_NEAR(level.rmsDbfs, -9.03, width == 1 ? 0.1 : 0.01);
            EXPECT_FALSE(level.clipped);
        }
    }
}

TEST(LevelMeter, ClippingIsJudgedAtTheValidBits)
{
    // 20 valid bits in a 24-bit container: their largest value is below
    // the container's, and reaching it is a clip.
    const std::vector<std::uint8_t> atValidTop = Sine(1, 3, 20, 1.5, 480);
    EXPECT_TRUE(MeasureLevels(atValidTop.data(), atValidTop.size(), 1, 3, 20)[0].clipped);
    const std::vector<std::uint8_t> below = Sine(1, 3, 20, 0.9, 480);
    EXPECT_FALSE(MeasureLevels(below.data(), below.size(), 1, 3, 20)[0].clipped);
    // The negative end alone clips too.
    std::vector<std::uint8_t> low(2);
    StoreSample(low.data(), -32768, 2);
    EXPECT_TRUE(MeasureLevels(low.data(), low.size(), 1, 2, 16)[0].clipped);
}

TEST(LevelMeter, SilenceAndBadShapesGiveTheFloorOrNothing)
{
    const std::vector<std::uint8_t> zeros(400, 0);
    const std::vector<ChannelLevel> silent = MeasureLevels(zeros.data(), zeros.size(), 2, 2, 16);
    ASSERT_EQ(silent.size(), 2u);
    EXPECT_EQ(silent[0].peakDbfs, LevelFloorDbfs);
    EXPECT_EQ(silent[0].rmsDbfs, LevelFloorDbfs);
    // 8-bit silence is 128, not 0.
    const std::vector<std::uint8_t> centred(100, 128);
    EXPECT_EQ(MeasureLevels(centred.data(), centred.size(), 1, 1, 8)[0].peakDbfs, LevelFloorDbfs);
    EXPECT_TRUE(MeasureLevels(zeros.data(), zeros.size(), 1, 5, 16).empty());
    EXPECT_TRUE(MeasureLevels(zeros.data(), zeros.size(), 0, 2, 16).empty());
    EXPECT_TRUE(MeasureLevels(nullptr, 0, 1, 2, 16).size() == 0);
    // Less than a frame: no frame, the floor.
    EXPECT_EQ(MeasureLevels(zeros.data(), 3, 2, 2, 16)[0].peakDbfs, LevelFloorDbfs);
}

} // namespace
