// SPDX-License-Identifier: GPL-3.0-or-later
// Signals with known truth for the analysis tests: built in full-scale
// fractions per channel, then quantised to the valid bits and stored in the
// container exactly as a sound card would deliver them.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "core/SampleFormat.h"

struct TestFormat {
    int bytes = 2;
    int channels = 1;
    int rate = 48000;
    int validBits = 0; // 0: the whole container

    int Container() const { return bytes * 8; }
    int Valid() const { return validBits == 0 ? Container() : validBits; }
    CSampleFormat Format() const
    {
        return CSampleFormat(rate, static_cast<std::uint16_t>(channels), static_cast<std::uint16_t>(bytes));
    }
    // One step of the valid precision, as a fraction of full scale.
    double Step() const { return std::ldexp(1.0, 1 - Valid()); }
};

// Quantises x (full-scale fraction) to the valid bits: rounded, clamped to
// the valid range, shifted up into the container.
inline std::int64_t Quantise(double x, const TestFormat& f)
{
    double top = std::ldexp(1.0, f.Valid() - 1);
    double q = std::clamp(std::round(x * top), -top, top - 1);
    return static_cast<std::int64_t>(q) * (std::int64_t{1} << (f.Container() - f.Valid()));
}

inline void StoreSample(std::vector<std::uint8_t>& out, std::int64_t value, const TestFormat& f)
{
    if (f.bytes == 1)
        value += 128;
    auto u = static_cast<std::uint32_t>(value);
    for (int b = 0; b < f.bytes; ++b)
        out.push_back(static_cast<std::uint8_t>(u >> (8 * b)));
}

// Frames of integer container values (centred), one function per channel.
inline std::vector<std::uint8_t> StoreFrames(const TestFormat& f, std::size_t frames,
                                             const std::function<std::int64_t(std::size_t, int)>& value)
{
    std::vector<std::uint8_t> out;
    out.reserve(frames * f.channels * f.bytes);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < f.channels; ++c)
            StoreSample(out, value(i, c), f);
    return out;
}

// Frames of full-scale fractions, quantised.
inline std::vector<std::uint8_t> Build(const TestFormat& f, std::size_t frames,
                                       const std::function<double(std::size_t, int)>& signal)
{
    return StoreFrames(f, frames, [&](std::size_t i, int c) { return Quantise(signal(i, c), f); });
}

inline double Sine(double amplitude, double hz, std::size_t i, int rate, double phase = 0)
{
    return amplitude * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate + phase);
}

inline double Db(double ratio)
{
    return 20 * std::log10(ratio);
}
