// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/SampleCodec.h"

namespace {

double ToDbfs(double fraction)
{
    return fraction > 0 ? std::max(LevelFloorDbfs, 20 * std::log10(fraction)) : LevelFloorDbfs;
}

} // namespace

std::vector<ChannelLevel> MeasureLevels(const std::uint8_t* data, std::size_t bytes, int channels, int width,
                                        int validBits)
{
    if (channels < 1 || !IsSampleWidth(width) || data == nullptr)
        return {};
    const int valid = ValidBitsFor(width, validBits);
    const int shift = 8 * width - valid;
    // The extremes the valid bits can hold, shifted up into the container.
    const std::int64_t highest = ((std::int64_t{1} << (valid - 1)) - 1) << shift;
    const std::int64_t lowest = -(std::int64_t{1} << (valid - 1)) * (std::int64_t{1} << shift);
    const double fullScale = std::ldexp(1.0, 8 * width - 1);

    const std::size_t frameBytes = static_cast<std::size_t>(channels) * static_cast<std::size_t>(width);
    const std::size_t frames = bytes / frameBytes;
    std::vector<std::int64_t> peak(static_cast<std::size_t>(channels), 0);
    std::vector<double> squares(static_cast<std::size_t>(channels), 0);
    std::vector<ChannelLevel> levels(static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < frames; ++f) {
        const std::uint8_t* frame = data + f * frameBytes;
        for (std::size_t c = 0; c < levels.size(); ++c) {
            const std::int64_t v = LoadSample(frame + c * static_cast<std::size_t>(width), width);
            peak[c] = std::max<std::int64_t>(peak[c], v < 0 ? -v : v);
            squares[c] += static_cast<double>(v) * static_cast<double>(v);
            if (v >= highest || v <= lowest)
                levels[c].clipped = true;
        }
    }
    for (std::size_t c = 0; c < levels.size() && frames > 0; ++c) {
        levels[c].peakDbfs = ToDbfs(static_cast<double>(peak[c]) / fullScale);
        levels[c].rmsDbfs = ToDbfs(std::sqrt(squares[c] / static_cast<double>(frames)) / fullScale);
    }
    return levels;
}
