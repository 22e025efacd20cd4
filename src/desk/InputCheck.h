// SPDX-License-Identifier: GPL-3.0-or-later
// "Check the input": records from one input device in the chosen format,
// handing the levels of each short stretch to the window as it arrives,
// then analyses the whole recording as the command line analyses a test's
// (AnalysisSources.h). The recording goes into one buffer, queued a slice
// at a time through the device's three slots, so the meters move while the
// buffer fills and no frame is lost between slices. Nothing here knows a
// window: the hooks are called on the thread that runs the check.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/WaveApi.h"
#include "desk/LevelMeter.h"
#include "measure/AnalysisOutcome.h"

struct InputCheckRequest {
    std::int32_t device = -1;  // the wave API's device number
    std::string deviceName;    // as listed, for the parameters
    int channels = 1;
    int sampleRate = 44100;
    int bits = 16;
    int validBits = 16;
    bool extended = false;
    int seconds = 4;
};

// One update of the meters.
struct LevelUpdate {
    std::vector<ChannelLevel> channels;
    int percent = 0;          // of the recording, 0..100
    double seconds = 0;       // recorded so far
};

struct InputCheckHooks {
    std::function<void(const LevelUpdate&)> onLevels;
    // Asked between polls; true ends the check as Cancelled.
    std::function<bool()> cancelRequested;
};

enum class InputCheckOutcome {
    Analysed,     // recorded in full and analysed
    Refused,      // the request cannot be recorded (error says why); no device was opened
    DeviceFailed, // open, queue or start failed, or the device stopped delivering
    Cancelled,
};

struct InputCheckResult {
    InputCheckOutcome outcome = InputCheckOutcome::Refused;
    std::string error;           // a line for a user, when not Analysed
    WaveResult code = WaveNoError;
    std::vector<std::uint8_t> recording; // what was recorded (whole when Analysed)
    CAnalysisOutcome analysis;   // Analysed only
};

// Frames per slice: a fortieth of a second, so the meters move 40 times a
// second when the device hands back each slice on time.
inline constexpr int InputCheckSlicesPerSecond = 40;
// A device that hands back no slice for this long has stopped delivering.
inline constexpr std::uint32_t InputCheckStallMs = 3000;
// Between polls of the slot in flight.
inline constexpr std::uint32_t InputCheckPollMs = 5;

// Runs the check over the current wave API and services (their clock and
// sleep). Messages the device layer shows go through the services, as in
// the test. Returns the outcome also stored in `result`.
InputCheckOutcome RunInputCheck(const InputCheckRequest& request, const InputCheckHooks& hooks,
                                InputCheckResult& result);

const char* InputCheckOutcomeName(InputCheckOutcome outcome);
