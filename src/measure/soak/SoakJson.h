// SPDX-License-Identifier: GPL-3.0-or-later
// The soak in JSON: the whole result for --json, and one event a line for
// --log (each line a complete object, so a log cut short by a kill still
// reads line by line).
#pragma once

#include <string>

#include "measure/soak/SoakResult.h"

// {"program": "tallowmere-cli", "soak": {...}, "exitStatus": N}, two-space
// indented, ending with a line feed.
std::string SoakJson(const SoakRun& run, int exitStatus);

// One line, no line feed: {"t": seconds since the start, "wall": ISO 8601
// UTC time, "event": kind, "direction": "input"|"output", "frame", "frames",
// and the kind's own members}.
std::string SoakEventJsonLine(const SoakEvent& event);

// The log's first line: {"t": 0, "wall": ..., "event": "start", mode,
// devices and format}, and its last: {"event": "end", outcome, counts,
// drift, latency}.
std::string SoakStartJsonLine(const SoakRun& run);
std::string SoakEndJsonLine(const SoakRun& run);
