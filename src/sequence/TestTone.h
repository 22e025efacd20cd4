// SPDX-License-Identifier: GPL-3.0-or-later
// The 1 kHz test tone that replaces a failed recording: the sample formula
// and the writer that lays it out in the test format. Pure; the main
// dialog's BuildTestTone adds the status line and the progress bar.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "core/SampleFormat.h"
#include "sequence/TestParameters.h"

// Radians per second of the 1 kHz tone, as the tone has always been written
// (ten significant digits, a hair above 2000 pi).
constexpr double TonePhaseFactor = 6283.185308;
constexpr double ToneAmplitudeFactor = 0.99;
constexpr std::int64_t ToneProgressFrames = 1000;

// Frame `frame`'s value: the sine is taken one phase step ahead (frame + 1),
// offset by the format's silence and truncated after adding 0.5, each step
// in this order in double precision.
inline std::int32_t ToneSample(std::int64_t frame, std::int32_t sampleRate, std::int32_t amplitude,
                               std::int32_t zeroValue)
{
    double value = static_cast<double>(frame + 1) * TonePhaseFactor;
    value /= sampleRate;
    value = std::sin(value);
    value *= amplitude;
    value *= ToneAmplitudeFactor;
    value += zeroValue;
    value += 0.5;
    return static_cast<std::int32_t>(value);
}

// Something that shows a progress position 0..100; called once per 1000 frames.
class CToneProgress {
public:
    virtual void Show(int position) = 0;

protected:
    ~CToneProgress() = default;
};

// Writes frameCount frames of the tone into `buffer`, each channel of a frame
// holding the same sample of bytesPerSample bytes, least significant first
// (bytes past the fourth are 0). Nothing is written past the buffer's end;
// channels or widths of 0 or below write nothing but still count frames.
// Returns the number of bytes written.
std::size_t WriteTestTone(std::span<std::uint8_t> buffer, const TestParameters& parameters,
                          CToneProgress* progress);
