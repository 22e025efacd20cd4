// SPDX-License-Identifier: GPL-3.0-or-later
// Float samples made readable by the analysis, which works on integers: each
// becomes a 32-bit fixed-point sample with full scale 1.0 at 2^31 (exact for
// 32-bit floats down to 2^-8, and within 2^-32 of full scale for any other
// value). Values beyond full scale are held at it and counted per channel
// with their peak, so the reader can say the analysis saw them clipped; a
// value that is not a number at all (NaN, infinity) stops the conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct FloatOvers {
    std::uint64_t samples = 0; // beyond full scale (|x| > 1)
    double peak = 0;           // the largest |x| among them
};

class CFloatToFixed {
public:
    // floatBytes: 4 or 8.
    CFloatToFixed(int channels, int floatBytes);

    // Turns `frames` frames of little-endian floats at `bytes` into 32-bit
    // little-endian fixed point in place (the result takes frames × channels
    // × 4 bytes from the start). True; false when a sample is not finite,
    // with NonFiniteFrame and NonFiniteChannel saying which (counted from the
    // first frame ever converted); the frames after it are left as they were.
    bool Convert(std::uint8_t* bytes, std::size_t frames);

    const std::vector<FloatOvers>& Overs() const { return overs; }
    std::uint64_t NonFiniteFrame() const { return nonFiniteFrame; }
    int NonFiniteChannel() const { return nonFiniteChannel; }

private:
    int channels;
    int floatBytes;
    std::uint64_t framesDone = 0;
    std::vector<FloatOvers> overs;
    std::uint64_t nonFiniteFrame = 0;
    int nonFiniteChannel = -1;
};
