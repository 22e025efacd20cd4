// SPDX-License-Identifier: GPL-3.0-or-later
// Interleaved PCM in a CSampleFormat to and from one channel of full-scale
// fractions (container full scale: 128 for 8-bit unsigned centred on 128,
// 2^15, 2^23, 2^31 for two's complement), the form every loopback signal and
// measure works in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/SampleFormat.h"

// The valid precision to use: `requested` when it is 1..container bits,
// otherwise the whole container.
int EffectiveValidBits(const CSampleFormat& format, int requested);

// Whole frames held in `byteCount` bytes (0 for a format of no width).
std::uint64_t FramesIn(std::size_t byteCount, const CSampleFormat& format);

// Channel `channel` of frames first .. first+count, as fractions of full
// scale. Frames past the data are left out, so the result may be shorter
// (empty for a channel the format does not have).
std::vector<double> DecodeChannel(const std::uint8_t* bytes, std::size_t byteCount, const CSampleFormat& format,
                                  std::uint16_t channel, std::uint64_t first, std::uint64_t count);

// Interleaves `channels` (one vector per channel of the format, all of one
// length; a missing or short channel reads as silence) into PCM: each value
// rounded to the valid precision, clamped to its range and shifted up into
// the container.
std::vector<std::uint8_t> EncodeFrames(const std::vector<std::vector<double>>& channels, const CSampleFormat& format,
                                       int validBits);
