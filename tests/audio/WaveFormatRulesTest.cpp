// SPDX-License-Identifier: GPL-3.0-or-later
// The format descriptions every back end accepts, and the ones all refuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio/WaveFormatRules.h"

namespace {

PcmWaveFormat Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign, std::uint16_t bits)
{
    return {WaveFormatTagPcm, channels, rate, rate * blockAlign, blockAlign, bits};
}

ExtensibleWaveFormat Extensible(std::uint16_t channels, std::uint16_t container, std::uint16_t valid)
{
    ExtensibleWaveFormat f{};
    f.formatTag = WaveFormatTagExtensible;
    f.channels = channels;
    f.samplesPerSec = 48000;
    f.blockAlign = static_cast<std::uint16_t>(channels * container / 8);
    f.avgBytesPerSec = 48000u * f.blockAlign;
    f.bitsPerSample = container;
    f.cbSize = ExtensibleFormatExtraBytes;
    f.validBitsPerSample = valid;
    f.channelMask = 3;
    f.subFormat = WaveSubtypePcm;
    return f;
}

TEST(WaveFormatRulesTest, PcmNeedsAContainerWidthThatFillsTheBlock)
{
    WaveFormatInfo info;
    for (std::uint16_t bits : {8, 16, 24, 32}) {
        PcmWaveFormat f = Pcm(2, 44100, static_cast<std::uint16_t>(bits / 4), bits);
        EXPECT_EQ(ReadWaveFormat(&f, info), WaveNoError) << bits;
        EXPECT_EQ(info.containerBytes, bits / 8);
        EXPECT_EQ(info.validBits, bits);
    }
    PcmWaveFormat twenty = Pcm(2, 44100, 6, 20);
    PcmWaveFormat mismatch = Pcm(2, 44100, 4, 24);
    PcmWaveFormat noChannels = Pcm(0, 44100, 0, 16);
    PcmWaveFormat otherTag = Pcm(1, 44100, 2, 16);
    otherTag.formatTag = 3;
    for (const PcmWaveFormat* f : {&twenty, &mismatch, &noChannels, &otherTag})
        EXPECT_EQ(ReadWaveFormat(f, info), WaveErrNotSupported);
    EXPECT_EQ(ReadWaveFormat(nullptr, info), WaveErrInvalidParam);
}

TEST(WaveFormatRulesTest, ExtensibleCarriesValidBitsWithinTheContainer)
{
    WaveFormatInfo info;
    ExtensibleWaveFormat ok = Extensible(1, 24, 20);
    ASSERT_EQ(ReadWaveFormat(&ok, info), WaveNoError);
    EXPECT_TRUE(info.extensible);
    EXPECT_EQ(info.containerBytes, 3);
    EXPECT_EQ(info.validBits, 20);
    EXPECT_EQ(WaveFormatBytes(&ok).size(), 40u);

    ExtensibleWaveFormat noValid = Extensible(2, 16, 0);
    ExtensibleWaveFormat tooMany = Extensible(2, 16, 17);
    ExtensibleWaveFormat oddContainer = Extensible(2, 20, 20);
    ExtensibleWaveFormat floatData = Extensible(2, 32, 32);
    floatData.subFormat.data1 = 3;
    ExtensibleWaveFormat shortSize = Extensible(2, 16, 16);
    shortSize.cbSize = 0;
    for (const ExtensibleWaveFormat* f : {&noValid, &tooMany, &oddContainer, &floatData, &shortSize})
        EXPECT_EQ(ReadWaveFormat(f, info), WaveErrNotSupported);
}

} // namespace
