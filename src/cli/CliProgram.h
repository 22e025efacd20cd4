// tallowmere-cli: the main dialog and the results dialog run on a terminal.
// The command line fills the controls, the run button is pressed, the
// results dialog prints the report and saves the recording, and the exit
// status tells how the test went.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Interrupts.h"
#include "sequence/Report.h"
#include "sequence/TestParameters.h"

constexpr int ExitCompleted = 0;
constexpr int ExitDeviceFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitCancelled = 130;

// Where the program talks to: standard streams, and whether they are
// terminals (tests run it with pipes).
struct CCliStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    int keyboardFd = 0;
    bool errIsTerminal = false;
    bool keyboardIsTerminal = false;
};

// What one run of the test came to, read from the main dialog after the run.
struct CCliOutcome {
    bool ran = false;
    TestParameters parameters;
    DeviceTestResults record;
    DeviceTestResults playback;
    bool recordComplete = false;
    bool playbackComplete = false;
    bool testCancelled = false;
    bool playbackRan = false;
    bool toneAsked = false;
    bool tonePlayed = false;
    bool timedOut = false;
    bool interrupted = false;
    bool resultsShown = false;
    std::string report;
    std::optional<std::string> savedPath;
    bool saveFailed = false;
};

int ExitStatusOf(const CCliOutcome& outcome);

// The --json document.
std::string OutcomeJson(const CCliOutcome& outcome, int exitStatus);

// The report with "\n" line ends, or its exact bytes when `crlf` is set.
std::string ReportForOutput(const std::string& report, bool crlf);

// Runs the whole program for the arguments (without the program name).
int RunCli(const std::vector<std::string>& arguments, const CCliStreams& streams, CInterrupts& interrupts);
