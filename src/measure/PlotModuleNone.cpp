// SPDX-License-Identifier: GPL-3.0-or-later
// A build without the plot module (its drawing is Qt's, which the Windows
// builds do not carry): a picture asked for is refused with the reason.
#include "measure/PlotModule.h"

namespace {

const char* const NoPictures = "the pictures are not in this build";

} // namespace

bool PlotModuleInThisBuild()
{
    return false;
}

bool WritePlotThroughModule(const SignalAnalysis&, const std::string&, const std::string&, std::string& error)
{
    error = NoPictures;
    return false;
}

bool WriteLoopbackPlotThroughModule(const CLoopbackRun&, const std::string&, std::string& error)
{
    error = NoPictures;
    return false;
}
