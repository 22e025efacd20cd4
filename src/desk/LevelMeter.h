// SPDX-License-Identifier: GPL-3.0-or-later
// The live levels of a stretch of interleaved PCM, as the meters show them
// while a recording goes on: per channel the peak (a sine touching full
// scale is 0 dBFS), the RMS (that sine reads -3.01 dBFS, as the analysis
// and sox give it) and whether a sample reached the extremes of the valid
// precision (the analysis's own rule for a clipped sample).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ChannelLevel {
    double peakDbfs = -200; // -200 stands for no level at all (digital zero)
    double rmsDbfs = -200;
    bool clipped = false;
};

// The floor the meters read for a stretch of exact zeros.
inline constexpr double LevelFloorDbfs = -200;

// Levels of `bytes` bytes of frames of `channels` samples of `width` bytes
// (1..4; 8-bit unsigned around 128), clipping judged at `validBits`
// (ValidBitsFor's rule). A partial frame at the end is left out. Empty for
// no channels or a width outside 1..4.
std::vector<ChannelLevel> MeasureLevels(const std::uint8_t* data, std::size_t bytes, int channels, int width,
                                        int validBits);
