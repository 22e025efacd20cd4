// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's signal analysis: the flags (--analyze, --analyze-file,
// the thresholds, --plot), the analysis of the test's buffer, and
// --analyze-file run on its own. The measuring, the section and the JSON
// are the measurement library's. Builds without FFTW compile
// AnalysisCommandNone.cpp instead of AnalysisCommand.cpp: it keeps the
// flags' names only to refuse them.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/AnalysisChecks.h"
#include "measure/AnalysisOutcome.h"

class CTesterDlg;

// "The signal check failed": the test ran, but a threshold was not met.
constexpr int ExitSignalCheckFailed = 3;

struct CAnalysisOptions {
    bool analyze = false;                 // --analyze: the recording (or the tone played)
    std::optional<std::string> file;      // --analyze-file FILE.wav
    std::optional<std::string> plotPath;  // --plot FILE.png
    AnalysisExpectations expect;

    // Any analysis asked for; thresholds and --plot imply --analyze.
    bool Wanted() const { return analyze || file || plotPath || expect.Any(); }
    AnalysisRequest Request() const { return {expect, plotPath}; }
};

// Takes the analysis flag `flag` (with its value inline or next in
// `arguments`, advancing `i`). 1: taken; 0: not an analysis flag; -1: a
// usage error, described in `error` with the flag's name.
int ParseAnalysisFlag(const std::string& flag, const std::optional<std::string>& inlineValue,
                      const std::vector<std::string>& arguments, std::size_t& i, CAnalysisOptions& options,
                      std::string& error);

// The --help lines for the flags, or the note that this build has none.
std::string AnalysisUsageText();

// The analysis of what the test left in its buffer: the recording, or the
// tone when one was played instead. Null when the dialog holds no buffer.
std::shared_ptr<CAnalysisOutcome> AnalyseTestRun(const CTesterDlg& tester, bool tonePlayed,
                                                 const CAnalysisOptions& options);

// Called once the outcome and its status are known, before anything is
// printed, with the JSON document --json prints; returns the status to give
// (--report's writing).
using AnalysisReportHook = std::function<int(const CAnalysisOutcome& outcome, const std::string& json, int status)>;

// tallowmere-cli --analyze-file: the section (or JSON) on `out`, failures on
// `err`. 0 when the file was analysed and every check passed, 3 when a
// check failed, 1 when the file could not be read; or what `report` makes
// of that status.
int RunAnalyzeFile(const CAnalysisOptions& options, std::optional<int> requestedValidBits, bool json, bool crlf,
                   std::FILE* out, std::FILE* err, const AnalysisReportHook& report);
