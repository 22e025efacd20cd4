// SPDX-License-Identifier: GPL-3.0-or-later
// --soak --plot: a PNG of the soak's timeline: its events (xruns, glitches,
// other) per direction, the latency in ms (each bucket's extremes) and the
// drift so far in ppm, over the time since the start.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Plain data, so the module needs no code of the session.
struct SoakPlotPoint {
    double seconds = 0;
    double min = 0;
    double max = 0;
};

struct SoakPlotMark {
    enum class Kind { Xrun, Glitch, Other } kind = Kind::Other;
    bool input = true;
    double seconds = 0;
};

struct SoakPlotInput {
    const char* title = "";
    double seconds = 0; // the run's length
    const std::vector<SoakPlotMark>* marks = nullptr;
    const std::vector<SoakPlotPoint>* latencyMs = nullptr;
    const std::vector<SoakPlotPoint>* driftPpm = nullptr;
};

// True when the file was written; otherwise `error` says why.
bool WriteSoakPlot(const SoakPlotInput& input, const std::string& path, std::string& error);

// The module's entry point: 1 when written, else 0 with the reason in
// `error` (cut to errorSize). Never throws.
extern "C" int TallowmereWriteSoakPlot(const SoakPlotInput* input, const char* path, char* error,
                                       std::size_t errorSize) noexcept;
using WriteSoakPlotEntry = int (*)(const SoakPlotInput*, const char*, char*, std::size_t) noexcept;
inline constexpr const char* WriteSoakPlotSymbol = "TallowmereWriteSoakPlot";
