#include "sequence/TestTone.h"

#include <algorithm>
#include <cstring>

namespace {

// Little-endian bytes of a sample value, with zeros past the fourth.
void StoreSample(std::uint8_t* to, std::uint32_t value, std::size_t width)
{
    std::size_t copied = std::min<std::size_t>(width, 4);
    for (std::size_t b = 0; b < copied; ++b)
        to[b] = static_cast<std::uint8_t>(value >> (8 * b));
    if (width > copied)
        std::memset(to + copied, 0, width - copied);
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
    const std::int32_t amplitude = format.maxValue - format.zeroValue;
    const std::int32_t zeroValue = format.zeroValue;
    const bool packed24 = format.bytesPerSample == 3;
    const std::int32_t sampleRate = parameters.sampleRate;

    const std::size_t width = parameters.bytesPerSample > 0 ? static_cast<std::size_t>(parameters.bytesPerSample) : 0;
    const std::size_t channels = parameters.channels > 0 ? static_cast<std::size_t>(parameters.channels) : 0;
    const std::size_t sampleCount = width ? channels : 0;

    std::uint8_t* out = buffer.data();
    std::size_t left = buffer.size();
    for (std::int64_t chunk = 0; chunk < frameCount; chunk += ToneProgressFrames) {
        if (progress)
            progress->Show(static_cast<int>(100 * chunk / frameCount));
        const std::int64_t chunkEnd = std::min(frameCount, chunk + ToneProgressFrames);
        for (std::int64_t frame = chunk; frame < chunkEnd; ++frame) {
            std::int32_t value = ToneSample(frame, sampleRate, amplitude, zeroValue);
            if (packed24)
                value = PackSample24(value);
            for (std::size_t c = 0; c < sampleCount; ++c) {
                if (left < width) {
                    // Out of room: the rest would land past the buffer.
                    left = 0;
                    break;
                }
                StoreSample(out, static_cast<std::uint32_t>(value), width);
                out += width;
                left -= width;
            }
        }
    }
    return static_cast<std::size_t>(out - buffer.data());
}
