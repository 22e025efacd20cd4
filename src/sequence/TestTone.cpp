// SPDX-License-Identifier: GPL-3.0-or-later
#include "sequence/TestTone.h"

#include <algorithm>
#include <cstring>

namespace {

struct ToneShape {
    std::int32_t sampleRate;
    std::int32_t amplitude;
    std::int32_t zeroValue;
    bool packed24;
};

std::int32_t FrameValue(std::int64_t frame, const ToneShape& shape)
{
    std::int32_t value = ToneSample(frame, shape.sampleRate, shape.amplitude, shape.zeroValue);
    return shape.packed24 ? PackSample24(value) : value;
}

// Little-endian bytes of a sample value, with zeros past the fourth.
void StoreSample(std::uint8_t* to, std::uint32_t value, std::size_t width)
{
    std::size_t copied = std::min<std::size_t>(width, 4);
    for (std::size_t b = 0; b < copied; ++b)
        to[b] = static_cast<std::uint8_t>(value >> (8 * b));
    if (width > copied)
        std::memset(to + copied, 0, width - copied);
}

// The usual widths with the room already checked: a fixed-size store per
// sample keeps the loop as cheap as the sine allows. `Channels` is 0 for a
// count only known at run time; 1 and 2, the counts a format allows, are
// unrolled.
template <std::size_t Width, std::size_t Channels>
std::uint8_t* WriteFixed(std::uint8_t* out, std::int64_t first, std::int64_t end, const ToneShape& shape,
                         std::size_t channels)
{
    const std::size_t count = Channels != 0 ? Channels : channels;
    for (std::int64_t frame = first; frame < end; ++frame) {
        auto value = static_cast<std::uint32_t>(FrameValue(frame, shape));
        for (std::size_t c = 0; c < count; ++c) {
            for (std::size_t b = 0; b < Width; ++b)
                out[b] = static_cast<std::uint8_t>(value >> (8 * b));
            out += Width;
        }
    }
    return out;
}

template <std::size_t Width>
std::uint8_t* WriteFixedWidth(std::uint8_t* out, std::int64_t first, std::int64_t end, const ToneShape& shape,
                              std::size_t channels)
{
    if (channels == 1)
        return WriteFixed<Width, 1>(out, first, end, shape, channels);
    if (channels == 2)
        return WriteFixed<Width, 2>(out, first, end, shape, channels);
    return WriteFixed<Width, 0>(out, first, end, shape, channels);
}

// Any width, stopping where the buffer ends.
std::uint8_t* WriteChecked(std::uint8_t* out, std::size_t& left, std::int64_t first, std::int64_t end,
                           const ToneShape& shape, std::size_t channels, std::size_t width)
{
    for (std::int64_t frame = first; frame < end; ++frame) {
        auto value = static_cast<std::uint32_t>(FrameValue(frame, shape));
        for (std::size_t c = 0; c < channels; ++c) {
            if (left < width) {
                left = 0;
                return out;
            }
            StoreSample(out, value, width);
            out += width;
            left -= width;
        }
    }
    return out;
}

} // namespace

std::size_t WriteTestTone(std::span<std::uint8_t> buffer, const TestParameters& parameters,
                          CToneProgress* progress)
{
    const std::int64_t frameCount = parameters.frameCount;
    if (frameCount <= 0)
        return 0;
    // Only the range comes from the format, which repairs odd widths to 16 bits.
    CSampleFormat format(parameters.sampleRate, static_cast<std::uint16_t>(parameters.channels),
                         static_cast<std::uint16_t>(parameters.bytesPerSample));
    const ToneShape shape{parameters.sampleRate, format.maxValue - format.zeroValue, format.zeroValue,
                          format.bytesPerSample == 3};

    // Channels or widths of 0 or below write nothing, but every frame is still
    // computed, as the progress shows.
    const std::size_t width = parameters.bytesPerSample > 0 ? static_cast<std::size_t>(parameters.bytesPerSample) : 0;
    const std::size_t channels =
        parameters.channels > 0 && width > 0 ? static_cast<std::size_t>(parameters.channels) : 0;
    if (channels == 0) {
        // Nothing is stored, so the samples need not be computed: a large rate
        // with no channels would otherwise freeze the dialog for hours. The
        // progress still passes every 1000 frames.
        if (progress)
            for (std::int64_t chunk = 0; chunk < frameCount; chunk += ToneProgressFrames)
                progress->Show(static_cast<int>(100 * chunk / frameCount));
        return 0;
    }
    const bool fits = static_cast<std::uint64_t>(frameCount) <= buffer.size() / width / channels;

    std::uint8_t* out = buffer.data();
    std::size_t left = buffer.size();
    for (std::int64_t chunk = 0; chunk < frameCount; chunk += ToneProgressFrames) {
        if (progress)
            progress->Show(static_cast<int>(100 * chunk / frameCount));
        const std::int64_t end = std::min(frameCount, chunk + ToneProgressFrames);
        if (fits && width == 1)
            out = WriteFixedWidth<1>(out, chunk, end, shape, channels);
        else if (fits && width == 2)
            out = WriteFixedWidth<2>(out, chunk, end, shape, channels);
        else if (fits && width == 3)
            out = WriteFixedWidth<3>(out, chunk, end, shape, channels);
        else if (fits && width == 4)
            out = WriteFixedWidth<4>(out, chunk, end, shape, channels);
        else
            out = WriteChecked(out, left, chunk, end, shape, channels, width);
    }
    return static_cast<std::size_t>(out - buffer.data());
}
