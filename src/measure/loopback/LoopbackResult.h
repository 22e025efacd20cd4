// SPDX-License-Identifier: GPL-3.0-or-later
// What one loopback run came to, as the table and the JSON show it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/loopback/LoopbackMeasure.h"
#include "audio/WaveApi.h"
#include "measure/loopback/LoopbackRequest.h"

enum class LoopbackOutcome {
    Measured,      // the run completed and the measures were taken
    NotMeasured,   // the run completed, but the capture could not be measured (no marker, ...)
    DeviceFailed,  // a device step failed; see failedDirection, failedStep, code
    Cancelled,     // Esc or Ctrl-C
    TimedOut,      // the time-out cancelled the run
};

struct CLoopbackRun {
    CLoopbackFormat format;
    CLoopbackDevice input;
    CLoopbackDevice output;
    MeasureSelection selection;   // the measures asked for, as built
    double sequenceSeconds = 0;   // played
    double captureSeconds = 0;    // recorded
    LoopbackOutcome outcome = LoopbackOutcome::NotMeasured;
    std::string error;            // why not measured, in a line for a user
    // DeviceFailed only.
    WaveDirection failedDirection = WaveDirection::Input;
    std::string failedStep;       // "open", "queue", "start", "transfer" (the device was lost)
    WaveResult code = WaveNoError;
    std::optional<WaveHostDetail> inputHost;
    std::optional<WaveHostDetail> outputHost;
    bool playbackUnfinished = false; // the capture filled before the output said it was done

    LoopbackMeasures measures;    // Measured only
    bool checksSet = false;
    std::vector<std::string> failedChecks;
    // The limits the run was held to, for a verdict per check (the report).
    CLoopbackLimits limits;
    AnalysisExpectations toneChecks;
    std::optional<std::string> plotPath; // written
    std::string plotError;               // why it was not
};

const char* LoopbackOutcomeName(LoopbackOutcome outcome);

// "IN from OUT, 48000 Hz, 2 channel(s), 24-bit": the pictures' title.
std::string LoopbackRunTitle(const CLoopbackRun& run);
