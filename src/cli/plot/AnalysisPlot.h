// --plot: a PNG of an analysis, drawn with Qt's raster painter (no display
// needed): the waveform overview of every channel, and the averaged
// spectrum in dBFS over a logarithmic frequency axis, both labelled.
#pragma once

#include <string>

#include "analysis/SignalAnalysis.h"

// True when the file was written; otherwise `error` says why.
bool WriteAnalysisPlot(const SignalAnalysis& analysis, const std::string& title, const std::string& path,
                       std::string& error);
