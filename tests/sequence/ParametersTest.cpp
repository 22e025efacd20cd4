// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <limits>

#include "sequence/TestParameters.h"

namespace {

ParameterInputs Defaults()
{
    ParameterInputs in;
    in.channelsText = "1";
    in.sampleRateText = "44100";
    in.precisionText = "16";
    in.validBitsText = "16";
    in.durationText = "4";
    in.inputDeviceIndex = 0;
    in.outputDeviceIndex = 0;
    in.apiMode = 0;
    return in;
}

TEST(ConvertNumber, TakesLeadingDigitsAfterBlanksAndOneSign)
{
    EXPECT_EQ(ConvertNumber("44100"), 44100);
    EXPECT_EQ(ConvertNumber(" \t\n\v\f\r12"), 12);
    EXPECT_EQ(ConvertNumber("+7"), 7);
    EXPECT_EQ(ConvertNumber("-3"), -3);
    EXPECT_EQ(ConvertNumber("2.5"), 2);
    EXPECT_EQ(ConvertNumber("16 bits"), 16);
    EXPECT_EQ(ConvertNumber("abc"), 0);
    EXPECT_EQ(ConvertNumber(""), 0);
    EXPECT_EQ(ConvertNumber("--5"), 0);
    EXPECT_EQ(ConvertNumber("+ 5"), 0);
    EXPECT_EQ(ConvertNumber("0x10"), 0);
}

TEST(ConvertNumber, StopsAtTheEndsOfThe32BitRange)
{
    EXPECT_EQ(ConvertNumber("2147483647"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ConvertNumber("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ConvertNumber("2147483648"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ConvertNumber("99999999999999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ConvertNumber("-99999999999999999999999"), std::numeric_limits<std::int32_t>::min());
}

TEST(DeriveTestParameters, DefaultsGiveFourSecondsOfMono16Bit)
{
    TestParameters p = DeriveTestParameters(Defaults());
    EXPECT_EQ(p.channels, 1);
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.precisionBits, 16);
    EXPECT_EQ(p.bytesPerSample, 2);
    EXPECT_EQ(p.validBits, 16);
    EXPECT_EQ(p.durationSeconds, 4);
    EXPECT_EQ(p.frameCount, 176400);
    EXPECT_EQ(p.bufferBytes, 352800);
}

TEST(DeriveTestParameters, DurationIsCorrectedNotRefused)
{
    struct {
        const char* text;
        std::int32_t seconds;
    } cases[] = {{"0", 4}, {"", 4}, {"-8", 4}, {"1", 1}, {"100", 100}, {"101", 100}, {"5000", 100}, {"7", 7}};
    for (const auto& c : cases) {
        ParameterInputs in = Defaults();
        in.durationText = c.text;
        EXPECT_EQ(DeriveTestParameters(in).durationSeconds, c.seconds) << "duration text '" << c.text << "'";
    }
    ParameterInputs in = Defaults();
    in.durationText = "7";
    EXPECT_EQ(DeriveTestParameters(in).frameCount, 308700);
}

TEST(DeriveTestParameters, WidthIsTheContainerDividedByEight)
{
    ParameterInputs in = Defaults();
    in.precisionText = "12";
    EXPECT_EQ(DeriveTestParameters(in).bytesPerSample, 1);
    in.precisionText = "7";
    TestParameters narrow = DeriveTestParameters(in);
    EXPECT_EQ(narrow.bytesPerSample, 0);
    EXPECT_EQ(narrow.bufferBytes, 0);
    EXPECT_TRUE(IsBufferSizeUsable(narrow.bufferBytes));
    in.precisionText = "-12";
    EXPECT_EQ(DeriveTestParameters(in).bytesPerSample, -1); // truncation toward zero
}

TEST(DeriveTestParameters, TextThatIsNoNumberGivesZero)
{
    ParameterInputs in = Defaults();
    in.channelsText = "abc";
    TestParameters p = DeriveTestParameters(in);
    EXPECT_EQ(p.channels, 0);
    EXPECT_EQ(p.bufferBytes, 0);
    EXPECT_EQ(p.frameCount, 176400);
}

TEST(DeriveTestParameters, LargeProductsNeitherWrapNorPassAsBufferSizes)
{
    ParameterInputs in = Defaults();
    in.channelsText = "2147483647";
    in.sampleRateText = "2147483647";
    in.precisionText = "2147483647";
    in.durationText = "100";
    TestParameters p = DeriveTestParameters(in);
    EXPECT_EQ(p.frameCount, std::int64_t{2147483647} * 100);
    EXPECT_EQ(p.bufferBytes, std::numeric_limits<std::int64_t>::max());
    EXPECT_FALSE(IsBufferSizeUsable(p.bufferBytes));

    // 2^31 bytes is one past the largest buffer.
    in = Defaults();
    in.channelsText = "16384";
    in.sampleRateText = "32768";
    in.durationText = "1";
    in.precisionText = "32";
    EXPECT_EQ(DeriveTestParameters(in).bufferBytes, std::int64_t{1} << 31);
    EXPECT_FALSE(IsBufferSizeUsable(std::int64_t{1} << 31));
    EXPECT_TRUE(IsBufferSizeUsable(MaxBufferBytes));

    // A negative rate gives a negative size, which no buffer has.
    in = Defaults();
    in.sampleRateText = "-44100";
    EXPECT_LT(DeriveTestParameters(in).bufferBytes, 0);
    EXPECT_FALSE(IsBufferSizeUsable(-1));
}

TEST(DeriveTestParameters, SelectionsAndNamesPassThrough)
{
    ParameterInputs in = Defaults();
    in.inputDeviceIndex = -1;
    in.inputDeviceName = "typed name";
    in.outputDeviceIndex = 3;
    in.outputDeviceName = "out";
    in.apiMode = -1;
    TestParameters p = DeriveTestParameters(in);
    EXPECT_EQ(p.inputDeviceIndex, -1);
    EXPECT_EQ(p.inputDeviceName, "typed name");
    EXPECT_EQ(p.outputDeviceIndex, 3);
    EXPECT_EQ(p.outputDeviceName, "out");
    EXPECT_EQ(p.apiMode, -1);
}

} // namespace
