// SPDX-License-Identifier: GPL-3.0-or-later
// --loopback --plot: a PNG with the frequency response of every channel
// (dB re 1 kHz over a logarithmic frequency axis) above the spectrum of the
// captured 1 kHz tone (dBFS), drawn by the plot module like the analysis's.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/SignalAnalysis.h"
#include "analysis/loopback/FrequencyResponse.h"

// What the drawing needs; plain data, so the module needs no code of the
// measures. An empty response or a tone that is not ok draws a note.
struct LoopbackPlotInput {
    const char* title = "";
    const std::vector<FrequencyResponse>* response = nullptr; // per channel
    const SignalAnalysis* tone = nullptr;
    double bandLowHz = 20;
    double bandHighHz = 20000;
};

// True when the file was written; otherwise `error` says why.
bool WriteLoopbackPlot(const LoopbackPlotInput& input, const std::string& path, std::string& error);

// The module's entry point: 1 when written, else 0 with the reason in
// `error` (cut to errorSize). Never throws.
extern "C" int TallowmereWriteLoopbackPlot(const LoopbackPlotInput* input, const char* path, char* error,
                                           std::size_t errorSize) noexcept;
using WriteLoopbackPlotEntry = int (*)(const LoopbackPlotInput*, const char*, char*, std::size_t) noexcept;
inline constexpr const char* WriteLoopbackPlotSymbol = "TallowmereWriteLoopbackPlot";

