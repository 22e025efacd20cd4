// SPDX-License-Identifier: GPL-3.0-or-later
// Without the plot module (the Windows cross build) there is no picture.
#include "measure/soak/SoakPlotModule.h"

bool WriteSoakPlotThroughModule(const SoakRun&, const std::string&, std::string& error)
{
    error = "pictures are not in this build";
    return false;
}
