// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual input's signal: level, quantisation to the valid bits, and
// the 8-bit offset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio/backends/TestSignal.h"

namespace {

TEST(TestSignalTest, SineWellInsideFullScaleQuantisedToTheValidBits)
{
    std::int32_t peak = 0;
    for (std::uint64_t frame = 0; frame < 48000; ++frame)
        peak = std::max(peak, TestSignalValue(frame, 48000, 16, 16));
    EXPECT_EQ(peak, 16384); // half of full scale
    EXPECT_EQ(TestSignalValue(0, 48000, 24, 24), 0);
    for (std::uint64_t frame = 0; frame < 200; ++frame)
        EXPECT_EQ(TestSignalValue(frame, 44100, 24, 20) % 16, 0);

    WaveFormatInfo eightBit{false, 2, 8000, 1, 8, 2};
    std::uint8_t bytes[8];
    WriteTestSignal(bytes, 0, 4, eightBit);
    EXPECT_EQ(bytes[0], 128); // silence of unsigned samples at phase 0
    EXPECT_EQ(bytes[2], bytes[3]);
    EXPECT_GT(bytes[2], 128);
}

} // namespace
