// SPDX-License-Identifier: GPL-3.0-or-later
// The "Analysis" section the command line prints after the report: every
// figure of an analysis as plain text, lines ended by `lineEnd`. The
// report itself is never touched; this is a text of its own.
#pragma once

#include <string>
#include <vector>

#include "analysis/SignalAnalysis.h"

// title: what was analysed ("the recording", "the 1 kHz tone played",
// a file name). failedChecks: CheckAnalysis's lines (shown only when
// checksSet).
std::string AnalysisText(const SignalAnalysis& analysis, const std::string& title, bool checksSet,
                         const std::vector<std::string>& failedChecks, const std::string& lineEnd = "\n");

// A figure with `decimals` decimals, or "-" when it does not exist.
std::string FormatFigure(double value, int decimals);
