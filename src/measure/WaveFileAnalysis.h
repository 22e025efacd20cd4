// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis of a WAVE file as the wave-file code loads it, streamed in
// file mode: the samples pass through a fixed buffer, so a 2 GB file needs
// no 2 GB of memory. The file is opened for reading and writing by the wave
// file code but never changed.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/SignalAnalysis.h"
#include "core/SampleFormat.h"

struct WaveFileAnalysis {
    // ok = false: the file could not be opened or read as WAVE (error says
    // why, in the wave-file code's words); the analysis is then empty.
    bool ok = false;
    std::string error;
    CSampleFormat format{0, 0, 0};
    SignalAnalysis analysis;
    std::size_t analysisBytes = 0; // memory the analysis held
};

// requestedValidBits: the precision the file is meant to carry; 0 for the
// whole container (the file itself does not record it).
WaveFileAnalysis AnalyseWaveFile(const std::string& path, int requestedValidBits);
