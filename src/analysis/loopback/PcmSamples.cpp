// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/PcmSamples.h"

#include <algorithm>
#include <cmath>

int EffectiveValidBits(const CSampleFormat& format, int requested)
{
    const int container = format.bytesPerSample * 8;
    return requested >= 1 && requested <= container ? requested : container;
}

std::uint64_t FramesIn(std::size_t byteCount, const CSampleFormat& format)
{
    const std::size_t frameBytes = static_cast<std::size_t>(format.bytesPerSample) * format.channels;
    return frameBytes == 0 ? 0 : byteCount / frameBytes;
}

static std::int32_t LoadSample(const std::uint8_t* p, int width)
{
    if (width == 1)
        return static_cast<std::int32_t>(p[0]) - 128;
    std::uint32_t u = 0;
    for (int b = 0; b < width; ++b)
        u |= static_cast<std::uint32_t>(p[b]) << (8 * b);
    const int unused = 32 - 8 * width;
    // Sign-extends the top stored byte.
    return static_cast<std::int32_t>(u << unused) >> unused;
}

std::vector<double> DecodeChannel(const std::uint8_t* bytes, std::size_t byteCount, const CSampleFormat& format,
                                  std::uint16_t channel, std::uint64_t first, std::uint64_t count)
{
    std::vector<double> out;
    const std::uint64_t frames = FramesIn(byteCount, format);
    if (bytes == nullptr || channel >= format.channels || first >= frames)
        return out;
    count = std::min(count, frames - first);
    const int width = format.bytesPerSample;
    const std::size_t frameBytes = static_cast<std::size_t>(width) * format.channels;
    const double scale = std::ldexp(1.0, 1 - 8 * width);
    out.resize(count);
    const std::uint8_t* p = bytes + first * frameBytes + static_cast<std::size_t>(channel) * width;
    for (std::uint64_t i = 0; i < count; ++i, p += frameBytes)
        out[i] = LoadSample(p, width) * scale;
    return out;
}

std::vector<std::uint8_t> EncodeFrames(const std::vector<std::vector<double>>& channels, const CSampleFormat& format,
                                       int validBits)
{
    const int width = format.bytesPerSample;
    const int valid = EffectiveValidBits(format, validBits);
    std::size_t frames = 0;
    for (const auto& c : channels)
        frames = std::max(frames, c.size());
    const double top = std::ldexp(1.0, valid - 1);
    const std::int64_t shift = std::int64_t{1} << (8 * width - valid);
    std::vector<std::uint8_t> out(frames * format.channels * width);
    std::uint8_t* p = out.data();
    for (std::size_t i = 0; i < frames; ++i)
        for (std::uint16_t c = 0; c < format.channels; ++c, p += width) {
            double x = c < channels.size() && i < channels[c].size() ? channels[c][i] : 0.0;
            double q = std::isfinite(x) ? std::clamp(std::round(x * top), -top, top - 1) : 0.0;
            std::int64_t value = static_cast<std::int64_t>(q) * shift + (width == 1 ? 128 : 0);
            auto u = static_cast<std::uint32_t>(value);
            for (int b = 0; b < width; ++b)
                p[b] = static_cast<std::uint8_t>(u >> (8 * b));
        }
    return out;
}
