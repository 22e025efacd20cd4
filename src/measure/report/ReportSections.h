// SPDX-License-Identifier: GPL-3.0-or-later
// The report's measurement sections, each written by a file of its own.
// Builds without the signal analysis compile ReportAnalysisNone.cpp, whose
// analysis and loopback sections say that this build has none.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "measure/report/HtmlPieces.h"

struct CAnalysisOutcome;
struct CLoopbackRun;
struct FormatMatrixResult;
struct SoakLimits;
struct SoakRun;

// The most events the soak's table lists; the rest are counted under it
// (the data block holds those the result kept, the log every one).
inline constexpr std::size_t ReportSoakEventRows = 100;

void WriteAnalysisSection(CHtml& html, const CAnalysisOutcome& outcome);
void WriteLoopbackSection(CHtml& html, const CLoopbackRun& run);
void WriteFormatsSection(CHtml& html, const std::vector<FormatMatrixResult>& results,
                         const std::vector<std::string>& unmet);
void WriteSoakSection(CHtml& html, const SoakRun& run, const SoakLimits& limits);
