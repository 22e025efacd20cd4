// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis of a WAVE file as it is stored: opened for reading only
// (WaveReader.h), integer or float samples in any channel count, streamed
// through the analysis in fixed buffers, so a 2 GB file needs no 2 GB of
// memory. Float samples are analysed as 32-bit fixed point (FloatSamples.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/SignalAnalysis.h"
#include "core/SampleFormat.h"
#include "measure/WaveFileFacts.h"

// The most channels analysed at once: the analysis holds a spectrum for each.
inline constexpr int MaxAnalysedChannels = 64;

struct WaveFileAnalysis {
    // ok = false: the file could not be opened or read, or holds what the
    // analysis cannot read truly; `error` says why in one line ("fmt chunk
    // 'x.wav': sample rate 0", "open 'x.wav': Permission denied",
    // "'x.wav': --valid-bits 24 is more than its 16-bit samples hold"). The
    // analysis is then empty.
    bool ok = false;
    std::string error;
    CSampleFormat format{0, 0, 0}; // as the analysis read it (float: 32-bit)
    SignalAnalysis analysis;
    std::size_t analysisBytes = 0; // memory the analysis held

    // What the file states, once its header was read (also when the
    // analysis then refused it).
    std::optional<WaveFileFacts> file;
};

// requestedValidBits: the precision the file is meant to carry; 0 for what
// the file states (an extensible header's valid bits), else the whole
// sample. More than the samples hold is refused.
WaveFileAnalysis AnalyseWaveFile(const std::string& path, int requestedValidBits);
