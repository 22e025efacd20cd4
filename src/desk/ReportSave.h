// SPDX-License-Identifier: GPL-3.0-or-later
// "Save report": what the window's views hold, as the command line's
// shareable HTML report (measure/report/HtmlReport.h) with the system it
// was made on, and its JSON document beside it (the same name ending in
// .json, also inside the HTML's data block). Toolkit-free; the window runs
// it off the interface thread, since the system's sound servers are asked
// for their versions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "measure/AnalysisOutcome.h"
#include "measure/formats/FormatMatrix.h"
#include "measure/loopback/LoopbackResult.h"
#include "measure/report/SystemSnapshot.h"
#include "measure/soak/SoakResult.h"

// The measurements shown when the report is asked for; each is in the
// report exactly when present.
struct DeskReportContent {
    std::optional<CAnalysisOutcome> analysis;
    std::optional<CLoopbackRun> loopback;
    std::optional<FormatMatrixResult> formats;
    std::optional<SoakRun> soak;
    SoakLimits soakLimits; // what the soak was held to
    std::vector<SnapshotDevice> devices;

    bool Empty() const { return !analysis && !loopback && !formats && !soak; }
};

// The JSON document: {"program": ..., "analysis": the analysis's own
// document, "loopback": the loopback's, "formats": the matrix's, "soak":
// the soak's}, each member present as its measurement is.
std::string DeskReportJson(const DeskReportContent& content, const std::string& program);

// The name the JSON goes to: the HTML's with ".json" for its ".html" or
// ".htm" ending, or added.
std::string JsonPathFor(const std::string& htmlPath);

// Takes the system snapshot and writes both files. True when both were
// written; else false and `error` says which and why ("cannot write 'PATH':
// WHY", or "there is nothing to report yet").
bool SaveDeskReport(const DeskReportContent& content, const std::string& program, const std::string& htmlPath,
                    std::string& error);
