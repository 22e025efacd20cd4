// SPDX-License-Identifier: GPL-3.0-or-later
// --plot: a PNG of an analysis, drawn with Qt's raster painter (no display
// needed): the waveform overview of every channel, and the averaged
// spectrum in dBFS over a logarithmic frequency axis, both labelled.
#pragma once

#include <cstddef>
#include <string>

#include "analysis/SignalAnalysis.h"

// True when the file was written; otherwise `error` says why.
bool WriteAnalysisPlot(const SignalAnalysis& analysis, const std::string& title, const std::string& path,
                       std::string& error);

// The drawing lives in a module of its own (libtallowmere_plot.so), loaded
// only for --plot, so the command line does not carry Qt's libraries (and
// their address space) on every run. Its one entry point: 1 when written,
// else 0 with the reason in `error` (cut to errorSize). Never throws.
extern "C" int TallowmereWriteAnalysisPlot(const SignalAnalysis* analysis, const char* title, const char* path,
                                           char* error, std::size_t errorSize) noexcept;
using WriteAnalysisPlotEntry = int (*)(const SignalAnalysis*, const char*, const char*, char*, std::size_t) noexcept;
inline constexpr const char* WriteAnalysisPlotSymbol = "TallowmereWriteAnalysisPlot";

