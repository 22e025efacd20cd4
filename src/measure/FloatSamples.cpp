// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/FloatSamples.h"

#include <algorithm>
#include <cmath>

#include "core/SampleCodec.h"

namespace {

constexpr double FixedFullScale = 2147483648.0; // 2^31

} // namespace

CFloatToFixed::CFloatToFixed(int channelCount, int bytes)
    : channels(channelCount), floatBytes(bytes), overs(static_cast<std::size_t>(channelCount))
{
}

bool CFloatToFixed::Convert(std::uint8_t* bytes, std::size_t frames)
{
    // Each sample is read before its (never longer) result is written at or
    // before it, so the conversion can work in place.
    std::size_t in = 0;
    std::size_t out = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const double x = floatBytes == 8 ? LoadFloat64(bytes + in) : LoadFloat32(bytes + in);
            in += static_cast<std::size_t>(floatBytes);
            if (!std::isfinite(x)) {
                nonFiniteFrame = framesDone + f;
                nonFiniteChannel = c;
                return false;
            }
            if (std::fabs(x) > 1.0) {
                FloatOvers& o = overs[static_cast<std::size_t>(c)];
                ++o.samples;
                o.peak = std::max(o.peak, std::fabs(x));
            }
            const double scaled = std::nearbyint(x * FixedFullScale);
            const double held = std::fmin(std::fmax(scaled, -FixedFullScale), FixedFullScale - 1);
            StoreSample(bytes + out, static_cast<std::int32_t>(held), 4);
            out += 4;
        }
    }
    framesDone += frames;
    return true;
}
