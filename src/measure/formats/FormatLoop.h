// SPDX-License-Identifier: GPL-3.0-or-later
// The transparent level's judgement: where the played sequence lies in what
// came back, and what the path did to it.
//
// The capture is searched for the sequence byte for byte first: found whole,
// the path is transparent. Otherwise the lag is the one whose normalised
// correlation with the sequence's first frames is largest (channels as
// played, and for two channels swapped); below 0.5 nothing was heard. At
// that lag, over the frames both hold, on MSB-aligned samples:
//   - swapped: the channels correlate better crossed than straight;
//   - gain: g = <x, y> / <x, x>, changed when |20 log10 g| > 0.05 dB;
//   - truncated: the lowest bit ever set in the capture is above the lowest
//     valid bit (bitsCarried < valid bits);
//   - resampled: the least-squares filter from the sequence to the capture
//     over the frames before, at and after the lag has a second tap above
//     2 % of the largest (the path smeared the samples: an interpolator, or
//     a filter that cut the band's top); the level is then the taps' sum,
//     changed only beyond 0.5 dB;
//     otherwise the lag moves to the one tap, and on the residual
//     e = y - g x, in steps of the precision carried: resampled as well when
//     it is large (RMS above 4 steps) and its first difference carries more
//     than 2.5 times its power (white noise gives 2), noise added when it is
//     not and its RMS about its mean exceeds 0.4 steps (rounding and cutting
//     alone stay below 0.29).
#pragma once

#include <cstdint>
#include <span>

#include "measure/formats/FormatMatrix.h"

FormatLoopVerdict JudgeLoop(const FormatKey& key, std::span<const std::uint8_t> played,
                            std::span<const std::uint8_t> captured);
