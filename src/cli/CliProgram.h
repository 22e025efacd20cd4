// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli: the main dialog and the results dialog run on a terminal.
// The command line fills the controls, the run button is pressed, the
// results dialog prints the report and saves the recording, and the exit
// status tells how the test went.
//
// The driver of template 102 types the flags into the edits, selects the
// devices in the dialog's own lists (FindListedDevice; an unknown one is a
// usage error shown alone, the status line held until the devices are
// chosen), arms the time-out and presses IdRunTest, then reads the outcome
// (CCliOutcome) and each tested device's host detail. The driver of template
// 129 prints the report box and presses IdSaveRecording with --save; the save
// failed when a message was shown or CTesterDlg::LastSaveSucceeded() says so.
// A run whose tone question was declined shows no results dialog, so the
// program prints the report itself.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliOutcome.h"
#include "cli/CommandLine.h"
#include "cli/Interrupts.h"

// Where the program talks to: standard streams, and whether they are
// terminals (tests run it with pipes).
struct CCliStreams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    int keyboardFd = 0;
    bool errIsTerminal = false;
    bool keyboardIsTerminal = false;
};

// The report with "\n" line ends, or its exact bytes when `crlf` is set.
std::string ReportForOutput(const std::string& report, bool crlf);

// Runs the whole program for the arguments (without the program name) and
// gives its exit status: ExitUsage for a command line the dialog cannot take
// (nothing is shown before the error), else ExitStatusOf the run. Every
// failed device step, lost device, xrun and failed save is named on `err`.
int RunCli(const std::vector<std::string>& arguments, const CCliStreams& streams, CInterrupts& interrupts);

// A command line the program cannot take: "tallowmere: ERROR" on `err`
// and, with --json, {"program", "version", "error", "exitStatus": 2} on
// `out`. Returns ExitUsage.
int UsageError(const CCliStreams& streams, bool json, const std::string& error);
