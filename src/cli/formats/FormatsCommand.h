// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli --formats: the format matrix of the chosen input and output
// device (or of every listed device, each alone), taken through the usual
// wave devices; the tables (or --json) on standard output, progress on the
// status line, and the time taken at the end.
#pragma once

#include "cli/CliProgram.h"
#include "cli/CommandLine.h"

// Exit status: 0 when the matrix was taken (refusals are findings); 3 when
// an --expect-formats entry is not met; 1 when a device failed other than
// by refusing a format; 2 for a device the lists do not have; 130 when
// cancelled by Esc or Ctrl-C, with what was taken printed.
// An --expect-formats entry not met.
constexpr int ExitFormatsUnmet = 3;

int RunFormats(const CCliOptions& options, const CCliStreams& streams, CInterrupts& interrupts);
