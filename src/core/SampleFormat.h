// SPDX-License-Identifier: GPL-3.0-or-later
// Description of linear PCM audio: channels, frame rate and sample width,
// with the numeric range that the width implies. Built from three numbers and
// repaired to usable defaults, never refused.
#pragma once

#include <cstdint>

class CSampleFormat {
public:
    CSampleFormat(std::int32_t sampleRate, std::uint16_t channels, std::uint16_t bytesPerSample);

    // Stores the three values, repairing a rate of 0 (44100), a channel count
    // outside 1..2 (1) and a width outside 1..4 bytes (2), and derives the rest.
    void Set(std::int32_t sampleRate, std::uint16_t channels, std::uint16_t bytesPerSample);

    // Plain fields: the device layer copies and overwrites them one by one.
    std::uint16_t channels;
    std::int32_t sampleRate;
    std::uint16_t bytesPerSample;
    std::int16_t bitsPerSample;
    std::int32_t maxValue;
    std::int32_t minValue;
    std::int32_t zeroValue;
};

// The value whose low three bytes, least significant first, are stored for a
// 3-byte sample: negative values become 24-bit two's complement.
std::int32_t PackSample24(std::int32_t value);
