// SPDX-License-Identifier: GPL-3.0-or-later
// The plot module's entry points: the only symbols it exports (the rest is
// built hidden), each catching what the drawing throws.
#include <string>

#include "plot/AnalysisPlot.h"
#include "plot/LoopbackPlot.h"
#include "plot/PlotPieces.h"
#include "plot/SoakPlot.h"

extern "C" __attribute__((visibility("default"))) int TallowmereWriteAnalysisPlot(const SignalAnalysis* analysis,
                                                                                   const char* title, const char* path,
                                                                                   char* error,
                                                                                   std::size_t errorSize) noexcept
{
    std::string why;
    bool written = false;
    try {
        written = analysis != nullptr && title != nullptr && path != nullptr &&
                  WriteAnalysisPlot(*analysis, title, path, why);
    } catch (...) {
        why = "no memory for the picture";
    }
    return PlotEntryResult(written, std::move(why), "no analysis to draw", error, errorSize);
}

extern "C" __attribute__((visibility("default"))) int TallowmereWriteLoopbackPlot(const LoopbackPlotInput* input,
                                                                                   const char* path, char* error,
                                                                                   std::size_t errorSize) noexcept
{
    std::string why;
    bool written = false;
    try {
        written = input != nullptr && input->title != nullptr && path != nullptr &&
                  WriteLoopbackPlot(*input, path, why);
    } catch (...) {
        why = "no memory for the picture";
    }
    return PlotEntryResult(written, std::move(why), "nothing to draw", error, errorSize);
}

extern "C" __attribute__((visibility("default"))) int TallowmereWriteSoakPlot(const SoakPlotInput* input,
                                                                               const char* path, char* error,
                                                                               std::size_t errorSize) noexcept
{
    std::string why;
    bool written = false;
    try {
        written = input != nullptr && input->title != nullptr && path != nullptr && WriteSoakPlot(*input, path, why);
    } catch (...) {
        why = "no memory for the picture";
    }
    return PlotEntryResult(written, std::move(why), "nothing to draw", error, errorSize);
}
