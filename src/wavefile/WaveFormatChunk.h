// SPDX-License-Identifier: GPL-3.0-or-later
// What a WAVE file's fmt chunk says its samples are, checked whole before a
// single sample is read: integer PCM of 8 to 32 bits in 1- to 4-byte
// containers, IEEE floats of 32 and 64 bits, any channel count, plain or
// extensible (the sub-format GUID picks PCM or float; the valid bits come
// from its header). Whatever else a chunk states is refused with a sentence
// saying what, never read as something near it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class WaveSampleType {
    Integer, // two's complement, 8-bit unsigned centred on 128
    Float,   // IEEE 754, 1.0 is full scale
};

struct WaveSampleLayout {
    WaveSampleType type = WaveSampleType::Integer;
    std::uint16_t channels = 0;     // 1 or more
    std::uint32_t sampleRate = 0;   // 1 .. 2^31 - 1
    std::uint16_t containerBytes = 0; // integer 1..4, float 4 or 8
    // The bits that carry the signal: the extensible header's valid bits, a
    // plain chunk's bits per sample when they fall short of the container,
    // else the whole container.
    std::uint16_t validBits = 0;
    bool validBitsStated = false; // the chunk itself named fewer bits than the container
    bool extensible = false;
    std::uint32_t channelMask = 0; // extensible only; 0 when not stated

    std::uint32_t FrameBytes() const { return std::uint32_t{channels} * containerBytes; }
    int ContainerBits() const { return 8 * containerBytes; }
};

inline constexpr std::uint16_t WaveTagPcm = 0x0001;
inline constexpr std::uint16_t WaveTagFloat = 0x0003;
inline constexpr std::uint16_t WaveTagExtensible = 0xFFFE;

// Parses the first `size` bytes of a fmt chunk (only the first 40 are ever
// looked at; `size` is the chunk's whole stated size and must all be there).
// True with `layout` filled. False with `why` saying what is not read, for
// example "block align 3 does not fit 2 channels of 16-bit samples (4 bytes a
// frame)", "format tag 0x0002 (Microsoft ADPCM) is not PCM or float",
// "sample rate 0", "sample rate 2147483648 is beyond 2147483647 Hz".
bool ParseWaveFormatChunk(const std::uint8_t* bytes, std::size_t size, WaveSampleLayout& layout, std::string& why);

// "16-bit integer", "24-bit integer (20 valid bits)", "32-bit float" ...
std::string DescribeSampleLayout(const WaveSampleLayout& layout);
