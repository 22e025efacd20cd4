// SPDX-License-Identifier: GPL-3.0-or-later
// A soak's result as verdicts: how it ended, its xruns and the glitches no
// xrun explains, whether the stimulus came back, the latency and drift
// (full duplex) or the level (a recording alone), and the limits set. The
// figures are the result model's (SoakResult.h); this only judges and
// words them.
#pragma once

#include <string>
#include <vector>

#include "desk/Verdicts.h"
#include "measure/soak/SoakResult.h"

// `limitsSet`: whether any limit was asked for, so "none set" can be told
// from "all held".
std::vector<Verdict> JudgeSoak(const SoakRun& run, bool limitsSet);

// "1:02:03" or "12:03": a soak's time as the status line gives it.
std::string SoakClock(double seconds);
