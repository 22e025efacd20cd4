// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the analysis and of the loopback through the plot module
// (libtallowmere_plot.so), loaded on the first picture asked for, from
// beside the executable (the build tree) or from ../lib/tallowmere (an
// installation), so a run without a picture never carries Qt's libraries.
#pragma once

#include <string>

#include "analysis/SignalAnalysis.h"

struct CLoopbackRun;

// True where the program can draw pictures: false in a build without the
// plot module (the Windows builds), whose two calls below then answer "the
// pictures are not in this build".
bool PlotModuleInThisBuild();

// True when the file was written; otherwise `error` says why ("the plot
// module cannot be loaded: ...", the module's own reason).
bool WritePlotThroughModule(const SignalAnalysis& analysis, const std::string& title, const std::string& path,
                            std::string& error);

// The run's response and captured tone, titled with its devices and format.
bool WriteLoopbackPlotThroughModule(const CLoopbackRun& run, const std::string& path, std::string& error);
