// SPDX-License-Identifier: GPL-3.0-or-later
// An analysis as verdicts a person reads at a glance: is there a signal,
// is it loud enough, did it clip, are the valid bits asked for carried,
// did it drop out, and which tone it holds with its THD+N. The figures are
// the analysis's own (SignalAnalysis.h); this only judges and words them.
#pragma once

#include <string>
#include <vector>

#include "analysis/SignalAnalysis.h"

enum class VerdictState {
    Good,    // what a working input gives
    Warning, // works, but worth a look
    Bad,     // the recording is not usable as it is
    Neutral, // nothing to judge (no tone, one channel)
};

struct Verdict {
    std::string topic; // "Signal", "Level", "Clipping", "Valid bits", "Dropouts", "Tone"
    VerdictState state = VerdictState::Neutral;
    std::string text;  // one sentence with its figures
};

// Below this RMS (dBFS) in every channel that is not silent, the input is
// too quiet to measure much: a line input left at its lowest gain, say.
inline constexpr double TooQuietDbfs = -50;

// The verdicts in the order above; one "Signal" verdict with the reason
// only when the analysis is not ok.
std::vector<Verdict> JudgeAnalysis(const SignalAnalysis& analysis);

const char* VerdictStateName(VerdictState state);
