// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/PcmSamples.h"

#include <algorithm>

#include "core/SampleCodec.h"

int EffectiveValidBits(const CSampleFormat& format, int requested)
{
    return ValidBitsFor(format.bytesPerSample, requested);
}

std::uint64_t FramesIn(std::size_t byteCount, const CSampleFormat& format)
{
    const std::size_t frameBytes = static_cast<std::size_t>(format.bytesPerSample) * format.channels;
    return frameBytes == 0 ? 0 : byteCount / frameBytes;
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
    out.resize(count);
    const std::uint8_t* p = bytes + first * frameBytes + static_cast<std::size_t>(channel) * width;
    for (std::uint64_t i = 0; i < count; ++i, p += frameBytes)
        out[i] = LoadFraction(p, width);
    return out;
}

std::vector<std::uint8_t> EncodeFrames(const std::vector<std::vector<double>>& channels, const CSampleFormat& format,
                                       int validBits)
{
    const int width = format.bytesPerSample;
    std::size_t frames = 0;
    for (const auto& c : channels)
        frames = std::max(frames, c.size());
    std::vector<std::uint8_t> out(frames * format.channels * width);
    std::uint8_t* p = out.data();
    for (std::size_t i = 0; i < frames; ++i)
        for (std::uint16_t c = 0; c < format.channels; ++c, p += width) {
            double x = c < channels.size() && i < channels[c].size() ? channels[c][i] : 0.0;
            StoreFraction(p, x, width, validBits);
        }
    return out;
}
