// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli --soak: the flags made a request for the measurement
// library's soak session, run with the terminal's keyboard, Ctrl-C and a
// status line (elapsed, events so far, drift so far); each event on
// standard error as it happens and, with --log, as a JSON line flushed at
// once; the summary table (or --json) on standard output at the end.
#pragma once

#include "cli/CliProgram.h"
#include "cli/CommandLine.h"
#include "measure/soak/SoakResult.h"

// The whole --soak run. Exit status: 0 ran for its duration (or, with
// duration 0, until Esc or Ctrl-C) and every check passed; 3 a check
// failed, or the plot could not be written; 130 Esc or Ctrl-C before the
// duration asked (the summary is still printed); 1 a device failed or was
// lost (said at once on standard error; the log keeps what came before),
// or the log or --report's file could not be written; 2 a device the
// lists do not have, or a command line the soak cannot take.
int RunSoak(const CCliOptions& options, const CCliStreams& streams, CInterrupts& interrupts);

// The exit status of a finished run, as above (without the usage errors).
int SoakExitStatus(const SoakRun& run);
