// SPDX-License-Identifier: GPL-3.0-or-later
// Standard output that is lost is a failure, not a success: a full disk,
// /dev/full or a closed descriptor must not leave an empty report behind an
// exit status of 0. The program checks once, at exit, for every action.
#pragma once

#include <cstdio>

// Makes sure descriptors 0 to 2 are open before anything else opens a file,
// so that a wave file or a device never takes the place of a standard
// stream a caller closed (the report would be written into it). A closed
// one is held by /dev/null opened the other way round, so that writes to a
// closed standard output still fail. Nothing on Windows.
void HoldClosedStandardStreams();

// Flushes and closes `out`, as coreutils' close_stdout does: 0 when all
// that was written reached it (a stream that was closed from the start and
// never written to counts as fine), else the errno of the failing write or
// close, or -1 when it failed earlier and its reason is lost.
int CloseStandardOutput(std::FILE* out);

// The exit status after closing `out`: `status` when the output reached it;
// else "tallowmere: write error on standard output: REASON" (without the
// reason when it is lost) on `err` and 1, unless `status` already tells a
// failure of its own (1, 2, 130).
int FinishStandardOutput(int status, std::FILE* out, std::FILE* err);
