// SPDX-License-Identifier: GPL-3.0-or-later
// Playing and recording at once, for a chain whose output is wired back to
// its input: the input and the output are opened in one format through the
// usual wave devices, the stimulus is queued on the output and a longer
// capture buffer on the input, both are started one right after the other
// and polled in the same steps (100 ms unless asked otherwise) until the capture is full, Esc is
// pressed or a device step fails. Both devices end closed whatever happens.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "audio/WaveApi.h"
#include "platform/Services.h"

// Poll step and the pause after opening, as in the record and playback test
// (the defaults of a request).
constexpr std::uint32_t FullDuplexPollMs = 100;
constexpr std::uint32_t FullDuplexSettleMs = 250;

struct FullDuplexRequest {
    std::int32_t inputDevice = 0;
    std::int32_t outputDevice = 0;
    std::int32_t sampleRate = 48000;
    std::uint16_t channels = 2;
    std::uint16_t bytesPerSample = 2;
    std::uint16_t validBits = 16;
    // Extended: the extensible description with the valid bits in their own
    // member; Standard: the plain PCM description (valid bits as its bits).
    bool extended = false;
    // Interleaved PCM in that format; copied, so it need only live for the call.
    std::span<const std::uint8_t> stimulus;
    // How much to record; at least the stimulus, and more by the latency the
    // chain may have.
    std::uint64_t captureBytes = 0;
    // The window whose keys are peeked (Esc cancels).
    WindowHandle window = nullptr;
    // The pause between opening and starting, and the poll step. A caller
    // that runs many short captures (the format matrix) shortens both: the
    // capture's length and what is found in it do not depend on them.
    std::uint32_t settleMs = FullDuplexSettleMs;
    std::uint32_t pollMs = FullDuplexPollMs;
    // Called after every poll step with the step number (from 1), for a
    // progress display; may be empty.
    std::function<void(std::uint32_t step)> onStep;
    // Asked after every poll step, beside Esc: true cancels the run as Esc
    // does; may be empty.
    std::function<bool()> cancelRequested;
};

enum class FullDuplexOutcome {
    Completed,          // the capture is full and the stimulus played out
    PlaybackUnfinished, // the capture filled before the output said it was done
    Cancelled,          // Esc (or the front end's time-out) during the run
    Refused,            // the request was refused; nothing was opened
    Failed,             // a device step failed: failedDirection, failedStep, code
};

enum class FullDuplexRefusal {
    None,
    Format,           // channels 1-2, 1-4 bytes per sample and a rate are needed
    EmptyStimulus,
    PartialFrames,    // the stimulus or the capture is not whole frames
    CaptureTooShort,  // the capture is shorter than the stimulus
    TooLarge,         // a size does not fit 32 bits
    NoMemory,         // the capture or the copy of the stimulus could not be had
};

enum class FullDuplexStep {
    None,  // Failed with no step: the caller's onStep threw (the devices were closed)
    Open,  // Open or OpenExtended; the code is the open's
    Queue, // AddBuffer: the header's prepare or the queue; the code is the one that failed
    Start, // Start (input) or Restart (output)
    // While it ran the device was lost for good (its HostDetail says so);
    // the code is WaveErrNoDriver, the detail has the host's reason.
    Transfer,
};

struct FullDuplexResult {
    FullDuplexOutcome outcome = FullDuplexOutcome::Refused;
    FullDuplexRefusal refusal = FullDuplexRefusal::None;
    // Failed only: where, and the wave API's code there (0 when the device
    // refused before reaching the wave API, e.g. no handle).
    WaveDirection failedDirection = WaveDirection::Input;
    FullDuplexStep failedStep = FullDuplexStep::None;
    WaveResult code = WaveNoError;

    // What the input recorded (its header's recorded count, whole frames):
    // the full capture when completed, what came before Esc when cancelled,
    // what filled when the playback did not finish; empty otherwise.
    std::vector<std::uint8_t> capture;
    // The tick counts (Services().TickCount()) at which the input was started
    // and the output released; valid when the flag says so.
    bool inputStarted = false;
    bool outputStarted = false;
    std::uint32_t inputStartTick = 0;
    std::uint32_t outputStartTick = 0;
    bool playbackDone = false; // the output's buffer was done when the run ended
    std::uint32_t steps = 0;   // poll steps taken
};

// Runs the request over `api`, which is current for the call (the previous
// one is put back). Returns 1 when the outcome is Completed, else 0; the
// outcome and its detail are in `result`, which is overwritten. Order:
// construct both devices, open the input then the output, sleep
// the request's settleMs, queue the capture then the stimulus, Start the input
// and Restart the output at once, then per step: Sleep(pollMs, at least 1),
// PeekKey (Esc cancels: both are reset, what was recorded kept; Esc wins
// over a capture that fills in the same step), the output's done flag, the
// input's done flag (the run ends when it is done), then whether either
// device was lost (Failed at once, step Transfer).
// Failure messages are the devices' own ("IDS_DEVICE_IO_FAIL",
// "IDS_NO_SOUND_CARD"); the run shows none itself. Nothing throws.
int RunFullDuplex(CWaveApi& api, const FullDuplexRequest& request, FullDuplexResult& result);

// Plain words for the command line ("completed", "capture shorter than the
// stimulus", "queue", ...); never null.
const char* FullDuplexOutcomeText(FullDuplexOutcome outcome);
const char* FullDuplexRefusalText(FullDuplexRefusal refusal);
const char* FullDuplexStepText(FullDuplexStep step);
