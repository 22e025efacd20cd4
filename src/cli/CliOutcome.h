// SPDX-License-Identifier: GPL-3.0-or-later
// What one run of tallowmere-cli came to, read from the main dialog and the
// wave API after the run, and the exit status it gives.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "audio/WaveApi.h"
#include "sequence/Report.h"
#include "sequence/TestParameters.h"

constexpr int ExitCompleted = 0;
constexpr int ExitDeviceFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitCancelled = 130;

struct CAnalysisOutcome;

struct CCliOutcome {
    bool ran = false;
    TestParameters parameters;
    DeviceTestResults record;
    DeviceTestResults playback;
    bool recordComplete = false;
    bool playbackComplete = false;
    bool testCancelled = false;
    bool playbackRan = false;
    bool toneAsked = false;
    bool tonePlayed = false;
    bool timedOut = false;
    bool interrupted = false;
    // A device was lost for good while its step ran, and the step was ended
    // for it as Esc ends it (the report words it as cancelled).
    bool deviceLost = false;
    bool resultsShown = false;
    // False when the test had no recording buffer (too large, or no memory).
    bool hadRecordBuffer = true;
    std::string report;
    // Set only when the file was written and put under its name.
    std::optional<std::string> savedPath;
    bool saveFailed = false;
    // Why the save failed, in a line for a user; empty when it did not.
    std::string saveError;
    // What the back end knows of each device after its test; none for a
    // device test that did not run.
    std::optional<WaveHostDetail> recordHost;
    std::optional<WaveHostDetail> playbackHost;
    // --analyze: what the test left in its buffer.
    std::shared_ptr<CAnalysisOutcome> analysis;
};

// 1 when a device was lost, else 130 when cancelled or interrupted, 0 when
// recording, playback and any save all succeeded (3 when they did but a
// signal check failed), otherwise 1.
int ExitStatusOf(const CCliOutcome& outcome);

// Whether the record test's cancel (rather than the playback's) ended the run.
inline bool RecordCancelled(const CCliOutcome& outcome)
{
    return outcome.testCancelled && !outcome.playbackRan;
}
inline bool PlaybackCancelled(const CCliOutcome& outcome)
{
    return outcome.testCancelled && outcome.playbackRan;
}
