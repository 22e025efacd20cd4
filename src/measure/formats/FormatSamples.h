// SPDX-License-Identifier: GPL-3.0-or-later
// Samples as the matrix looks at them: each one MSB-aligned in 32 bits
// (8-bit samples stored around 128), so every width compares alike, and the
// pseudo-random sequence that the transparent level plays.
#pragma once

#include <cstdint>
#include <vector>

#include "measure/formats/FormatMatrix.h"

// One little-endian sample of `bytes` bytes (1 to 4), MSB-aligned.
std::int32_t LoadAlignedSample(const std::uint8_t* p, std::uint16_t bytes);
void StoreAlignedSample(std::uint8_t* p, std::int32_t value, std::uint16_t bytes);

// `frames` interleaved frames in the key's format: per channel its own
// pseudo-random values within 0.7 of full scale, whole in the valid bits
// (the bits below them zero) and using every one of them; the same bytes on
// every run.
std::vector<std::uint8_t> BuildMatrixSequence(const FormatKey& key, std::uint32_t frames);
