// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/SampleCodec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Stored(std::int32_t value, int width)
{
    Bytes out(static_cast<std::size_t>(width), 0xEE);
    StoreSample(out.data(), value, width);
    return out;
}

} // namespace

TEST(SampleCodec, StoresTheLayoutDevicesAndFilesUse)
{
    EXPECT_EQ(Stored(0, 1), (Bytes{0x80}));
    EXPECT_EQ(Stored(-128, 1), (Bytes{0x00}));
    EXPECT_EQ(Stored(127, 1), (Bytes{0xFF}));
    EXPECT_EQ(Stored(-2, 2), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(Stored(0x123456, 3), (Bytes{0x56, 0x34, 0x12}));
    EXPECT_EQ(Stored(-(1 << 23), 3), (Bytes{0x00, 0x00, 0x80}));
    EXPECT_EQ(Stored(std::numeric_limits<std::int32_t>::min(), 4), (Bytes{0x00, 0x00, 0x00, 0x80}));
}

TEST(SampleCodec, LoadsBackEveryValueAtTheEdgesOfEveryWidth)
{
    for (int width = 1; width <= 4; ++width) {
        const std::int32_t low = SampleMinimum(width), high = SampleMaximum(width);
        for (std::int32_t value : {low, low + 1, -1, 0, 1, high - 1, high}) {
            Bytes b = Stored(value, width);
            EXPECT_EQ(LoadSample(b.data(), width), value) << "width " << width;
            EXPECT_EQ(LoadFraction(b.data(), width), std::ldexp(value, 1 - 8 * width)) << "width " << width;
        }
    }
    const std::uint8_t top24[] = {0xFF, 0xFF, 0x7F};
    EXPECT_EQ(LoadSampleOf<3>(top24), (1 << 23) - 1);
}

TEST(SampleCodec, ValuesBeyondTheContainerAreClampedNotWrapped)
{
    EXPECT_EQ(Stored(300, 1), (Bytes{0xFF}));
    EXPECT_EQ(Stored(-300, 1), (Bytes{0x00}));
    EXPECT_EQ(Stored(1 << 23, 3), (Bytes{0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(Stored(-40000, 2), (Bytes{0x00, 0x80}));
}

TEST(SampleCodec, WidthsOutsideOneToFourAreNeitherReadNorWritten)
{
    std::array<std::uint8_t, 8> b{1, 2, 3, 4, 5, 6, 7, 8};
    for (int width : {0, 5, -1}) {
        StoreSample(b.data(), 7, width);
        StoreFraction(b.data(), 0.5, width, 0);
        EXPECT_EQ(LoadSample(b.data(), width), 0);
        EXPECT_EQ(LoadFraction(b.data(), width), 0.0);
    }
    EXPECT_EQ(b, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(SampleCodec, FractionsAreRoundedToTheValidBitsWithTheLowBitsZero)
{
    std::uint8_t b[4];
    // 20 valid bits of 24: steps of 16 in the container.
    StoreFraction(b, 0.3, 3, 20);
    std::int32_t v = LoadSampleOf<3>(b);
    EXPECT_EQ(v % 16, 0);
    EXPECT_EQ(v, static_cast<std::int32_t>(std::round(0.3 * (1 << 19))) * 16);
    // Full scale is one step short of +1, and −1 is reachable.
    StoreFraction(b, 1.5, 2, 0);
    EXPECT_EQ(LoadSampleOf<2>(b), 32767);
    StoreFraction(b, -1.0, 2, 16);
    EXPECT_EQ(LoadSampleOf<2>(b), -32768);
    StoreFraction(b, 1.0, 1, 4);
    EXPECT_EQ(LoadSampleOf<1>(b), 7 * 16);
    // A requested precision the container cannot hold means the whole container.
    StoreFraction(b, 0.5, 2, 17);
    EXPECT_EQ(LoadSampleOf<2>(b), 16384);
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        StoreFraction(b, bad, 1, 8);
        EXPECT_EQ(b[0], 0x80);
    }
}

TEST(SampleCodec, FloatsAreIeeeLittleEndianAndComeBackAsStored)
{
    std::uint8_t b[8];
    StoreFloat32(b, 1.0f);
    EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x00, 0x00, 0x80, 0x3F}));
    StoreFloat64(b, -0.5);
    EXPECT_EQ(Bytes(b, b + 8), (Bytes{0, 0, 0, 0, 0, 0, 0xE0, 0xBF}));
    EXPECT_EQ(LoadFloat64(b), -0.5);
    for (float f : {0.0f, -0.25f, 3.5f, std::numeric_limits<float>::denorm_min()}) {
        StoreFloat32(b, f);
        EXPECT_EQ(LoadFloat32(b), f);
    }
    StoreFloat32(b, std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(std::isnan(LoadFloat32(b)));
}
