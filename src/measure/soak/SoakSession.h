// SPDX-License-Identifier: GPL-3.0-or-later
// A soak as any front end runs it: the chosen devices stream for as long as
// asked through the usual wave devices, each with its three buffer slots
// refilled and queued again as their done flags come up, so the stream
// never stops and the memory stays the same however long it runs.
//   - Full duplex: the output plays the stimulus of SoakTone.h and the
//     input's every block is predicted: glitches where they start, the
//     latency, and the drift of the input's clock against the output's.
//   - Record only: the input's xruns, silences inside it and its level.
//   - Play only: the output's xruns.
// In every mode: the xruns the back end reports (direction, frames lost),
// slots all back before the soak could requeue one (starved), each
// device's true rate from the frames it moved against the services' clock,
// and a device that fails or is lost ends the soak at once. The front end
// hears each event as it happens, a status about once a second, and may
// cancel; the result model (SoakResult.h) holds everything shown.
#pragma once

#include <functional>

#include "audio/WaveApi.h"
#include "measure/soak/SoakRequest.h"
#include "measure/soak/SoakResult.h"

struct SoakHooks {
    // Once the devices are open and queued, just before they start.
    std::function<void(const SoakRun& run)> onStart;
    // Each event as it is found (the run holds the counts so far).
    std::function<void(const SoakEvent& event, const SoakRun& run)> onEvent;
    // About once a second of the services' clock: elapsed, counts, drift so far.
    std::function<void(const SoakRun& run)> onStatus;
    // Asked at every poll step, beside Esc on the services' keyboard; true
    // ends the soak (Cancelled, or Completed when it was to run until then).
    std::function<bool()> cancelRequested;
};

// Runs `request` over `api` (current for the call). False when it cannot
// be run: the format or the timing is out of range, or the buffers cannot
// be had (`run.error` says which; outcome Refused, nothing opened). True
// otherwise, with the outcome in `run`: Completed (the duration ran out, or
// with duration 0 it was cancelled), Cancelled (before the duration asked),
// DeviceFailed (a device step failed or a device was lost: the event names
// it, `run.error` too). Both devices end closed; the limits are checked and
// the plot drawn whatever the outcome.
bool RunSoakSession(CWaveApi& api, const SoakRequest& request, const SoakHooks& hooks, SoakRun& run);

// "full duplex", "record only", "play only"; never null.
const char* SoakModeName(SoakMode mode);
