// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/SampleFormat.h"

namespace {

struct WidthRange {
    std::int16_t bits;
    std::int32_t maxValue;
    std::int32_t minValue;
    std::int32_t zeroValue;
};

// 8-bit samples are unsigned with silence at 127; the wider ranges are
// symmetric, and 32-bit samples span only +-2^30.
constexpr WidthRange widthRanges[] = {
    {8, 255, 0, 127},
    {16, 32767, -32767, 0},
    {24, 8388607, -8388607, 0},
    {32, 1073741824, -1073741824, 0},
};

constexpr std::int32_t DefaultSampleRate = 44100;
constexpr std::uint16_t DefaultChannels = 1;
constexpr std::uint16_t DefaultBytesPerSample = 2;

} // namespace

CSampleFormat::CSampleFormat(std::int32_t sampleRate, std::uint16_t channels, std::uint16_t bytesPerSample)
{
    Set(sampleRate, channels, bytesPerSample);
}

void CSampleFormat::Set(std::int32_t rate, std::uint16_t channelCount, std::uint16_t width)
{
    if (rate == 0)
        rate = DefaultSampleRate;
    if (channelCount == 0 || channelCount > 2)
        channelCount = DefaultChannels;
    if (width == 0 || width > 4)
        width = DefaultBytesPerSample;

    sampleRate = rate;
    channels = channelCount;
    bytesPerSample = width;

    const WidthRange& range = widthRanges[width - 1];
    bitsPerSample = range.bits;
    maxValue = range.maxValue;
    minValue = range.minValue;
    zeroValue = range.zeroValue;
}

std::int32_t PackSample24(std::int32_t value)
{
    if (value >= 0)
        return value;
    // Unsigned arithmetic: the sum wraps for values far below the 24-bit range.
    auto pattern = static_cast<std::uint32_t>(value) + 0x1000000u;
    return static_cast<std::int32_t>(pattern | 0x800000u);
}
