// SPDX-License-Identifier: GPL-3.0-or-later
// One sample at a time to and from its bytes, as wave devices and WAVE files
// lay samples out: little-endian, 8-bit unsigned centred on 128, 16/24/32-bit
// two's complement, and IEEE 754 floats of 32 and 64 bits. Every reader and
// writer of interleaved PCM (the analysis, the loopback measures, the virtual
// loopback) goes through these, so that all agree to the bit.
//
// A "fraction" is a sample as a share of the container's full scale: the
// stored value divided by 2^(8 × width − 1), so 8-bit 255 is 127/128 and
// 16-bit −32768 is −1.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

// Whether `width` (bytes per sample) is one the integer functions handle.
constexpr bool IsSampleWidth(int width)
{
    return width >= 1 && width <= 4;
}

// The value stored at `bytes` in a container of `Width` bytes, centred on 0
// (8-bit: the byte − 128; wider: sign-extended from the top stored byte).
template <int Width>
constexpr std::int32_t LoadSampleOf(const std::uint8_t* bytes)
{
    static_assert(IsSampleWidth(Width));
    if constexpr (Width == 1) {
        return static_cast<std::int32_t>(bytes[0]) - 128;
    } else {
        std::uint32_t u = 0;
        for (int b = 0; b < Width; ++b)
            u |= static_cast<std::uint32_t>(bytes[b]) << (8 * (4 - Width + b));
        // The stored bits sit at the top, so the arithmetic shift sign-extends.
        return static_cast<std::int32_t>(u) >> (8 * (4 - Width));
    }
}

// LoadSampleOf for a width known only at run time; 0 for a width outside 1..4.
constexpr std::int32_t LoadSample(const std::uint8_t* bytes, int width)
{
    switch (width) {
    case 1: return LoadSampleOf<1>(bytes);
    case 2: return LoadSampleOf<2>(bytes);
    case 3: return LoadSampleOf<3>(bytes);
    case 4: return LoadSampleOf<4>(bytes);
    default: return 0;
    }
}

// The smallest and largest centred value a container of `width` bytes holds
// (−128..127 for 8-bit); 0 and 0 for a width outside 1..4.
constexpr std::int32_t SampleMinimum(int width)
{
    return IsSampleWidth(width) ? static_cast<std::int32_t>(-(std::int64_t{1} << (8 * width - 1))) : 0;
}
constexpr std::int32_t SampleMaximum(int width)
{
    return IsSampleWidth(width) ? static_cast<std::int32_t>((std::int64_t{1} << (8 * width - 1)) - 1) : 0;
}

// Stores the centred `value`, clamped to the container's range, in `width`
// bytes at `bytes` (8-bit adds 128). Writes nothing for a width outside 1..4.
constexpr void StoreSample(std::uint8_t* bytes, std::int32_t value, int width)
{
    if (!IsSampleWidth(width))
        return;
    std::int32_t clamped = std::clamp(value, SampleMinimum(width), SampleMaximum(width));
    auto bits = static_cast<std::uint32_t>(width == 1 ? clamped + 128 : clamped);
    for (int b = 0; b < width; ++b)
        bytes[b] = static_cast<std::uint8_t>(bits >> (8 * b));
}

// The valid precision in bits to use: `requested` when it is 1..8 × width,
// otherwise the whole container.
constexpr int ValidBitsFor(int width, int requested)
{
    const int container = 8 * width;
    return requested >= 1 && requested <= container ? requested : container;
}

// The sample at `bytes` as a fraction of the container's full scale; 0 for a
// width outside 1..4.
inline double LoadFraction(const std::uint8_t* bytes, int width)
{
    return IsSampleWidth(width) ? std::ldexp(LoadSample(bytes, width), 1 - 8 * width) : 0.0;
}

// Stores the fraction `value`: rounded to `validBits` of precision (see
// ValidBitsFor), clamped to the range those bits hold, shifted up into the
// container so the bits below them are zero. A value that is not finite is
// stored as silence. Writes nothing for a width outside 1..4.
inline void StoreFraction(std::uint8_t* bytes, double value, int width, int validBits)
{
    if (!IsSampleWidth(width))
        return;
    const int valid = ValidBitsFor(width, validBits);
    const double top = std::ldexp(1.0, valid - 1);
    const double q = std::isfinite(value) ? std::clamp(std::round(value * top), -top, top - 1) : 0.0;
    const std::int64_t shifted = static_cast<std::int64_t>(q) * (std::int64_t{1} << (8 * width - valid));
    StoreSample(bytes, static_cast<std::int32_t>(shifted), width);
}

// IEEE 754 single and double precision samples, little-endian, as they are
// (1.0 is full scale; values beyond it, infinities and NaNs come back as
// stored, for the caller to judge).
inline float LoadFloat32(const std::uint8_t* bytes)
{
    std::uint32_t u = 0;
    for (int b = 0; b < 4; ++b)
        u |= static_cast<std::uint32_t>(bytes[b]) << (8 * b);
    return std::bit_cast<float>(u);
}

inline double LoadFloat64(const std::uint8_t* bytes)
{
    std::uint64_t u = 0;
    for (int b = 0; b < 8; ++b)
        u |= static_cast<std::uint64_t>(bytes[b]) << (8 * b);
    return std::bit_cast<double>(u);
}

inline void StoreFloat32(std::uint8_t* bytes, float value)
{
    const auto u = std::bit_cast<std::uint32_t>(value);
    for (int b = 0; b < 4; ++b)
        bytes[b] = static_cast<std::uint8_t>(u >> (8 * b));
}

inline void StoreFloat64(std::uint8_t* bytes, double value)
{
    const auto u = std::bit_cast<std::uint64_t>(value);
    for (int b = 0; b < 8; ++b)
        bytes[b] = static_cast<std::uint8_t>(u >> (8 * b));
}
