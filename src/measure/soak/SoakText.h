// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's words for people: the summary table at the end and the
// status line while it runs.
#pragma once

#include <string>

#include "measure/soak/SoakResult.h"

// The summary: mode, devices, format, time, events by kind, latency, drift,
// each device's rate, the level (record only), the checks, then one line
// per event kept. Lines end with `newline`.
std::string SoakSummary(const SoakRun& run, const char* newline = "\n");

// "12:03 elapsed, 2 events (1 xrun, 1 glitch), drift +37.5 ppm": elapsed
// time, the counts and the drift so far (the level for a recording alone).
std::string SoakStatus(const SoakRun& run);

// One event in words: "12.345 s  xrun  input  1024 frames lost".
std::string SoakEventLine(const SoakEvent& event);
