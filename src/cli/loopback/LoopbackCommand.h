// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli --loopback: the flags made a request for the measurement
// library's loopback session, run with the terminal's keyboard, Ctrl-C,
// time-out and status line; the table (or --json) on standard output,
// progress and failures on standard error.
#pragma once

#include <cstdint>

#include "cli/CliProgram.h"
#include "cli/CommandLine.h"
#include "measure/loopback/LoopbackResult.h"

// The whole --loopback run. Exit status: 0 measured and every check
// passed; 3 measured but a check failed or the plot could not be written;
// 1 a device step failed (its direction, step and code on `err`) or the
// capture could not be measured (the reason on `err`: no marker, ...);
// 2 a device the lists do not have; 130 cancelled by Esc, Ctrl-C or the
// time-out.
int RunLoopback(const CCliOptions& options, const CCliStreams& streams, CInterrupts& interrupts);

// 0 measured and every check passed; 3 measured but a check failed or the
// plot could not be written; 1 not measured or a device failed; 130
// cancelled or timed out.
int LoopbackExitStatus(const CLoopbackRun& run);
