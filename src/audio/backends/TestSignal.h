// SPDX-License-Identifier: GPL-3.0-or-later
// The signal the virtual input records: a 440 Hz sine at half of full scale
// in every channel, its phase counted from the first frame recorded after
// open, so any recording is reproducible sample for sample. Values are
// quantised to the valid bits (the bits below them are zero); 8-bit samples
// are unsigned around 128, wider ones little-endian two's complement.
#pragma once

#include <cstdint>

#include "audio/WaveFormatRules.h"

constexpr std::uint32_t TestSignalFrequency = 440;
constexpr double TestSignalAmplitude = 0.5;

// The value of frame `frame` of the signal for a container of `containerBits`
// and `validBits` valid bits, as a signed number (before the 8-bit offset).
std::int32_t TestSignalValue(std::uint64_t frame, std::uint32_t sampleRate, std::uint16_t containerBits,
                             std::uint16_t validBits);

// Writes `frames` frames starting at frame `firstFrame` into `out`.
void WriteTestSignal(std::uint8_t* out, std::uint64_t firstFrame, std::uint32_t frames, const WaveFormatInfo& format);
