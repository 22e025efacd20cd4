// SPDX-License-Identifier: GPL-3.0-or-later
// A loopback measurement as any front end runs it: the sequence for the
// measures chosen played on the output while the input records in the same
// format (a full-duplex run over the usual wave devices), then measured,
// checked against the limits and, when asked, drawn. The front end chooses
// the devices, shows the progress and may cancel; the run model that comes
// back holds everything the table and the JSON show.
#pragma once

#include <cstdint>
#include <functional>

#include "audio/WaveApi.h"
#include "measure/loopback/LoopbackRequest.h"
#include "measure/loopback/LoopbackResult.h"

// Recorded past the end of the sequence, for the chain's latency; a
// maximum latency asked for adds its own value to this.
inline constexpr double LoopbackCaptureMarginSeconds = 1.0;

// What the front end hears of a run while it goes; each may be empty.
struct LoopbackHooks {
    // Once the sequence is built, before the devices open: the run's format,
    // devices and the seconds it will record (to arm a time-out, say).
    std::function<void(const CLoopbackRun& run)> onStart;
    // After every poll step, 0..100.
    std::function<void(int percent)> onProgress;
    // Asked after every poll step; true ends the run as Cancelled, as Esc on
    // the services' keyboard does.
    std::function<bool()> cancelRequested;
    // Once both devices are closed, before the measuring.
    std::function<void()> onCaptured;
};

// Runs `request` over `api` (current for the call). False when nothing
// could be played: the sequence cannot be built for the format (`run.error`
// says so). True otherwise, with the outcome in `run`: Measured (figures,
// checks and the plot, whose failure is in plotError), NotMeasured (the
// capture holds no marker, with the hint that the output may not be wired
// back, or the run was refused), DeviceFailed (direction, step, code and
// the line naming them), Cancelled ("the run was cancelled"). The devices'
// host detail is read whatever the outcome.
bool RunLoopbackSession(CWaveApi& api, const CLoopbackRequest& request, const LoopbackHooks& hooks,
                        CLoopbackRun& run);
