// SPDX-License-Identifier: GPL-3.0-or-later
// What a WAVE file itself says beside the figures of its analysis: how its
// samples are stored, how many frames it states and lacks, and the warnings
// a reader of the figures must see. Written after the "Analysis of" line
// and as the "file" member of a JSON document (AnalysisOutcome.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wavefile/WaveFormatChunk.h"

struct WaveFileFacts {
    WaveSampleLayout layout;
    std::uint64_t statedFrames = 0;
    std::uint64_t framesMissing = 0; // stated, but beyond the end of the file
    // Frames missing, a partial last frame, float samples held at full
    // scale, a signal too short for a spectrum: one sentence each.
    std::vector<std::string> warnings;
};

// The lines for the text: "File: samples are 32-bit float, analysed as
// 32-bit fixed point (1.0 is full scale)" when the samples are not read as
// stored or the header states their valid bits, then "Warning: ..." each.
std::vector<std::string> WaveFileLines(const WaveFileFacts& facts);
