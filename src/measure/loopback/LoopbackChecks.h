// SPDX-License-Identifier: GPL-3.0-or-later
// The verdict of a script's limits on a loopback measurement: one line per
// failed check, naming the flag, the channel, the figure and the limit.
#pragma once

#include <string>
#include <vector>

#include "analysis/AnalysisChecks.h"
#include "analysis/loopback/LoopbackMeasure.h"
#include "measure/loopback/LoopbackRequest.h"

// Empty when every check passes (or none is set). A figure the checks need
// that does not exist fails them (no tone found, a dynamic range lost in
// the noise), except a noise floor of digital silence, which is below any
// limit. `analysisLimits` lends --max-thdn, --expect-frequency with its
// tolerance (on the captured 1 kHz tone) and --max-dropouts.
std::vector<std::string> CheckLoopback(const LoopbackMeasures& measures, const CLoopbackLimits& limits,
                                       const AnalysisExpectations& analysisLimits);

// Whether any of these limits is set, so that the run has a verdict.
bool LoopbackChecksSet(const CLoopbackLimits& limits, const AnalysisExpectations& analysisLimits);
