// SPDX-License-Identifier: GPL-3.0-or-later
#include "sequence/TestParameters.h"

#include <limits>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::int32_t ConvertNumber(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // Accumulate as a magnitude that saturates one past the positive limit, so
    // the negative end of the range is reachable too.
    constexpr std::int64_t ceiling = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > ceiling)
            magnitude = ceiling;
    }
    if (negative)
        return static_cast<std::int32_t>(-magnitude);
    return static_cast<std::int32_t>(magnitude >= ceiling ? ceiling - 1 : magnitude);
}

std::int32_t CorrectDuration(std::int32_t seconds)
{
    if (seconds <= 0)
        seconds = DefaultDurationSeconds;
    if (seconds > MaxDurationSeconds)
        seconds = MaxDurationSeconds;
    return seconds;
}

TestParameters DeriveTestParameters(const ParameterInputs& inputs)
{
    TestParameters p;
    p.channels = ConvertNumber(inputs.channelsText);
    p.sampleRate = ConvertNumber(inputs.sampleRateText);
    p.precisionBits = ConvertNumber(inputs.precisionText);
    p.bytesPerSample = p.precisionBits / 8;
    p.validBits = ConvertNumber(inputs.validBitsText);
    p.inputDeviceIndex = inputs.inputDeviceIndex;
    p.inputDeviceName = inputs.inputDeviceName;
    p.outputDeviceIndex = inputs.outputDeviceIndex;
    p.outputDeviceName = inputs.outputDeviceName;
    p.apiMode = inputs.apiMode;
    p.durationSeconds = CorrectDuration(ConvertNumber(inputs.durationText));
    // The frame count fits 64 bits easily; the byte count can overflow even
    // those, and then saturates (either end is refused as a buffer size).
    p.frameCount = std::int64_t{p.sampleRate} * p.durationSeconds;
    std::int64_t frameBytes = std::int64_t{p.bytesPerSample} * p.channels;
    if (__builtin_mul_overflow(frameBytes, p.frameCount, &p.bufferBytes))
        p.bufferBytes = (frameBytes < 0) != (p.frameCount < 0) ? std::numeric_limits<std::int64_t>::min()
                                                                : std::numeric_limits<std::int64_t>::max();
    return p;
}
