// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's timeline through the plot module (PlotModule.h says where it
// is loaded from); in a build without the module, the reason it is not.
#pragma once

#include <string>

#include "measure/soak/SoakResult.h"

// True when the file was written; otherwise `error` says why ("the plot
// module cannot be loaded: ...", "pictures are not in this build", the
// module's own reason).
bool WriteSoakPlotThroughModule(const SoakRun& run, const std::string& path, std::string& error);
