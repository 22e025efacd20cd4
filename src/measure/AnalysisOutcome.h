// SPDX-License-Identifier: GPL-3.0-or-later
// One signal analysis with its verdict, as any front end shows it: what was
// asked for (the checks a script set, the picture), what came of it, the
// "Analysis" section and the "analysis" member of a JSON document.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/AnalysisChecks.h"
#include "analysis/SignalAnalysis.h"
#include "measure/WaveFileFacts.h"

class CJsonWriter;

// What an analysis is asked for beyond the samples.
struct AnalysisRequest {
    AnalysisExpectations expect;      // the checks; none set: no verdict
    std::optional<std::string> plotPath; // the picture to draw: SVG for a name ending in .svg, else PNG
};

// One analysis with its verdict, as printed and written to JSON.
struct CAnalysisOutcome {
    std::string subject;      // "recording", "tone" or "file"
    std::string title;        // for the text: "the recording", the file's name, ...
    SignalAnalysis analysis;
    AnalysisExpectations expect; // the checks asked for
    bool checksSet = false;
    std::vector<std::string> failedChecks;
    std::optional<std::string> plotPath; // written
    std::string plotError;               // why the plot could not be written
    std::size_t memoryBytes = 0;
    // The source could not be read (analysis.error says why, in the wave
    // file code's words): nothing was checked or drawn.
    bool unreadable = false;
    // A file's own facts, once its header was read: its lines follow the
    // title, and its JSON member is "file".
    std::optional<WaveFileFacts> file;

    bool Failed() const { return !failedChecks.empty() || !plotError.empty(); }
};

// The "Analysis" section, each line ended by `lineEnd`.
std::string AnalysisSection(const CAnalysisOutcome& outcome, const std::string& lineEnd);

// The "analysis" member of a JSON document.
void WriteAnalysisJson(CJsonWriter& json, const CAnalysisOutcome& outcome);

// The "file" member of a file analysis's JSON document: the layout, the
// frames stated and missing, the warnings; null when the header could not
// be read.
void WriteFileJson(CJsonWriter& json, const CAnalysisOutcome& outcome);
