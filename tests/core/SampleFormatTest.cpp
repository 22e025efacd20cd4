// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/SampleFormat.h"

namespace {

struct FormatCase {
    std::int32_t rate;
    std::uint16_t channels;
    std::uint16_t bytes;
    // expected
    std::int32_t expectRate;
    std::uint16_t expectChannels;
    std::uint16_t expectBytes;
    std::int16_t bits;
    std::int32_t maxValue;
    std::int32_t minValue;
    std::int32_t zeroValue;
};

class SampleFormatTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SampleFormatTable, ConstructionAndSetAgreeAndRepair)
{
    const FormatCase& c = GetParam();
    CSampleFormat built(c.rate, c.channels, c.bytes);
    CSampleFormat reset(1, 2, 4);
    reset.Set(c.rate, c.channels, c.bytes);
    for (const CSampleFormat* f : {&built, &reset}) {
        EXPECT_EQ(f->sampleRate, c.expectRate);
        EXPECT_EQ(f->channels, c.expectChannels);
        EXPECT_EQ(f->bytesPerSample, c.expectBytes);
        EXPECT_EQ(f->bitsPerSample, c.bits);
        EXPECT_EQ(f->maxValue, c.maxValue);
        EXPECT_EQ(f->minValue, c.minValue);
        EXPECT_EQ(f->zeroValue, c.zeroValue);
    }
}

INSTANTIATE_TEST_SUITE_P(
    WidthsAndRepairs, SampleFormatTable,
    ::testing::Values(
        // every width of the table
        FormatCase{11025, 1, 1, 11025, 1, 1, 8, 255, 0, 127},
        FormatCase{44100, 2, 2, 44100, 2, 2, 16, 32767, -32767, 0},
        FormatCase{22050, 2, 3, 22050, 2, 3, 24, 8388607, -8388607, 0},
        FormatCase{44100, 2, 4, 44100, 2, 4, 32, 1073741824, -1073741824, 0},
        // each repair on its own, and all at once
        FormatCase{0, 0, 0, 44100, 1, 2, 16, 32767, -32767, 0},
        FormatCase{8000, 3, 5, 8000, 1, 2, 16, 32767, -32767, 0},
        FormatCase{0, 2, 1, 44100, 2, 1, 8, 255, 0, 127},
        FormatCase{96000, 0, 3, 96000, 1, 3, 24, 8388607, -8388607, 0},
        FormatCase{96000, 2, 0, 96000, 2, 2, 16, 32767, -32767, 0},
        // rates other than 0 are stored as given, however odd
        FormatCase{1, 1, 2, 1, 1, 2, 16, 32767, -32767, 0},
        FormatCase{1000000, 1, 2, 1000000, 1, 2, 16, 32767, -32767, 0},
        FormatCase{-5, 1, 2, -5, 1, 2, 16, 32767, -32767, 0}),
    [](const ::testing::TestParamInfo<FormatCase>& info) {
        const FormatCase& c = info.param;
        std::string rate = c.rate < 0 ? "minus" + std::to_string(-c.rate) : std::to_string(c.rate);
        return "rate" + rate + "_ch" + std::to_string(c.channels) + "_bytes" + std::to_string(c.bytes);
    });

TEST(SampleFormat, IsAPlainCopyableValue)
{
    CSampleFormat a(48000, 2, 3);
    CSampleFormat b(8000, 1, 1);
    b = a;
    b.sampleRate = 96000; // fields may be written one by one
    EXPECT_EQ(a.sampleRate, 48000);
    EXPECT_EQ(b.bitsPerSample, 24);
    EXPECT_EQ(b.sampleRate, 96000);
}

TEST(PackSample24, PositiveValuesPassUnchanged)
{
    EXPECT_EQ(PackSample24(0), 0);
    EXPECT_EQ(PackSample24(1), 1);
    EXPECT_EQ(PackSample24(8388607), 0x7FFFFF);
    EXPECT_EQ(PackSample24(0x1234567), 0x1234567); // the writer keeps the low three bytes
}

TEST(PackSample24, NegativeValuesBecomeTwosComplementOf24Bits)
{
    EXPECT_EQ(PackSample24(-1), 0xFFFFFF);
    EXPECT_EQ(PackSample24(-2), 0xFFFFFE);
    EXPECT_EQ(PackSample24(-8388607), 0x800001);
    EXPECT_EQ(PackSample24(-8388608), 0x800000);
    // Below the range the low 24 bits stay with bit 23 forced on.
    EXPECT_EQ(PackSample24(-0x900000), 0xF00000);
}

TEST(PackSample24, EveryNegative24BitValueRoundTrips)
{
    for (std::int32_t v = -8388608; v < 0; v += 997) {
        std::int32_t packed = PackSample24(v);
        ASSERT_EQ(packed & ~0xFFFFFF, 0) << v;
        std::int32_t back = (packed & 0x800000) ? packed - 0x1000000 : packed;
        ASSERT_EQ(back, v);
    }
}

} // namespace
