// SPDX-License-Identifier: GPL-3.0-or-later
// The test parameters as read from the main dialog's controls at the start of
// every run, and the rules that derive them. Pure: nothing here touches a
// window, so the derivation can be exercised on its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The API mode box's selection: how the devices are opened.
enum class ApiMode : std::int32_t { Standard = 0, Extended = 1 };

// Edits are read into buffers of 80 characters, device names into 256.
constexpr std::size_t ParameterTextLimit = 80;
constexpr std::size_t DeviceNameLimit = 256;

// Durations outside 1..100 seconds are corrected, never refused.
constexpr std::int32_t DefaultDurationSeconds = 4;
constexpr std::int32_t MaxDurationSeconds = 100;

// The largest recording buffer a test allocates: buffer lengths reach the
// device layer and the wave file as 32-bit counts.
constexpr std::int64_t MaxBufferBytes = 0x7FFFFFFF;

// What the controls held when the test started, before any conversion.
struct ParameterInputs {
    std::string channelsText;
    std::string sampleRateText;
    std::string precisionText;
    std::string validBitsText;
    std::string durationText;
    std::int32_t inputDeviceIndex = -1;
    std::string inputDeviceName;
    std::int32_t outputDeviceIndex = -1;
    std::string outputDeviceName;
    std::int32_t apiMode = -1;
};

struct TestParameters {
    std::int32_t inputDeviceIndex = -1;
    std::string inputDeviceName;
    std::int32_t outputDeviceIndex = -1;
    std::string outputDeviceName;
    std::int32_t channels = 0;
    std::int32_t sampleRate = 0;
    std::int32_t precisionBits = 0;
    std::int32_t bytesPerSample = 0;
    std::int32_t validBits = 0;
    std::int32_t apiMode = -1;
    std::int32_t durationSeconds = 0;
    // Products of 32-bit values, kept in 64 bits so they never wrap.
    std::int64_t frameCount = 0;
    std::int64_t bufferBytes = 0;
};

// Decimal number at the start of a text: leading white space, one optional
// sign, then digits up to the first non-digit. No digits gives 0; values past
// the 32-bit range stop at its ends.
std::int32_t ConvertNumber(std::string_view text);

// 0 or below becomes 4 seconds, above 100 becomes 100.
std::int32_t CorrectDuration(std::int32_t seconds);

TestParameters DeriveTestParameters(const ParameterInputs& inputs);

// Whether a recording buffer of this size may be allocated at all.
inline bool IsBufferSizeUsable(std::int64_t bytes)
{
    return bytes >= 0 && bytes <= MaxBufferBytes;
}

// The byte a recording buffer is filled with before anything is recorded:
// the silence of 8-bit samples (127, as the sample format has it) for one
// byte per sample, 0 (silence of the signed widths) otherwise.
inline std::uint8_t SilenceByte(std::int32_t bytesPerSample)
{
    return bytesPerSample == 1 ? 127 : 0;
}
