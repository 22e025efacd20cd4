// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/TestSignal.h"

#include <cmath>
#include <numbers>

#include "core/SampleCodec.h"

std::int32_t TestSignalValue(std::uint64_t frame, std::uint32_t sampleRate, std::uint16_t containerBits,
                             std::uint16_t validBits)
{
    // The phase wraps every second, so long recordings keep full precision.
    double phase = static_cast<double>((frame * TestSignalFrequency) % sampleRate) / sampleRate;
    double fullScale = std::ldexp(1.0, containerBits - 1) - 1.0;
    auto value = static_cast<std::int64_t>(std::lround(TestSignalAmplitude * fullScale *
                                                       std::sin(2.0 * std::numbers::pi * phase)));
    if (validBits < containerBits) {
        // Arithmetic step down and back up clears the bits below the valid ones.
        std::int64_t step = std::int64_t{1} << (containerBits - validBits);
        value = (value >= 0 ? value / step : -((-value + step - 1) / step)) * step;
    }
    return static_cast<std::int32_t>(value);
}

void WriteTestSignal(std::uint8_t* out, std::uint64_t firstFrame, std::uint32_t frames, const WaveFormatInfo& format)
{
    std::uint16_t containerBits = static_cast<std::uint16_t>(format.containerBytes * 8);
    for (std::uint32_t i = 0; i < frames; ++i) {
        std::int32_t value = TestSignalValue(firstFrame + i, format.sampleRate, containerBits, format.validBits);
        for (std::uint16_t channel = 0; channel < format.channels; ++channel, out += format.containerBytes)
            StoreSample(out, value, format.containerBytes);
    }
}
