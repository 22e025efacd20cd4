// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/FullDuplexRun.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>

#include "audio/WaveDevice.h"

namespace {

constexpr std::uint64_t MaxBufferBytes = std::numeric_limits<std::uint32_t>::max();

FullDuplexRefusal CheckRequest(const FullDuplexRequest& request)
{
    if (request.sampleRate <= 0 || request.channels < 1 || request.channels > 2 || request.bytesPerSample < 1 ||
        request.bytesPerSample > 4)
        return FullDuplexRefusal::Format;
    if (request.stimulus.empty())
        return FullDuplexRefusal::EmptyStimulus;
    if (request.stimulus.size() > MaxBufferBytes || request.captureBytes > MaxBufferBytes)
        return FullDuplexRefusal::TooLarge;
    const std::uint64_t blockAlign = std::uint64_t{request.channels} * request.bytesPerSample;
    if (request.stimulus.size() % blockAlign != 0 || request.captureBytes % blockAlign != 0)
        return FullDuplexRefusal::PartialFrames;
    if (request.captureBytes < request.stimulus.size())
        return FullDuplexRefusal::CaptureTooShort;
    return FullDuplexRefusal::None;
}

// The two devices of one run and the buffers they are given.
struct Duplex {
    const FullDuplexRequest& request;
    FullDuplexResult& result;
    // Before the devices, so it outlives them: an output may still read it
    // until it is closed.
    std::vector<std::uint8_t> stimulus;
    CWaveInDevice input;
    CWaveOutDevice output;

    Duplex(const FullDuplexRequest& r, FullDuplexResult& out)
        : request(r), result(out), input(r.inputDevice), output(r.outputDevice)
    {
    }

    bool Fail(WaveDirection direction, FullDuplexStep step, WaveResult code)
    {
        result.outcome = FullDuplexOutcome::Failed;
        result.failedDirection = direction;
        result.failedStep = step;
        result.code = code;
        return false;
    }

    WaveResult OpenDevice(CWaveDevice& device)
    {
        device.SetFormat(request.sampleRate, request.channels, request.bytesPerSample);
        return request.extended ? device.OpenExtended(nullptr, request.validBits)
                                : device.Open(nullptr, request.validBits);
    }

    bool Open()
    {
        if (WaveResult code = OpenDevice(input))
            return Fail(WaveDirection::Input, FullDuplexStep::Open, code);
        if (WaveResult code = OpenDevice(output))
            return Fail(WaveDirection::Output, FullDuplexStep::Open, code);
        return true;
    }

    bool Queue()
    {
        WaveResult code = WaveNoError;
        auto captureLength = static_cast<std::uint32_t>(result.capture.size());
        if (input.AddBuffer(result.capture.data(), captureLength, 0, &code) != 1)
            return Fail(WaveDirection::Input, FullDuplexStep::Queue, code);
        code = WaveNoError;
        auto stimulusLength = static_cast<std::uint32_t>(stimulus.size());
        if (output.AddBuffer(stimulus.data(), stimulusLength, 0, 0, &code) != 1)
            return Fail(WaveDirection::Output, FullDuplexStep::Queue, code);
        return true;
    }

    // The output follows the input with nothing in between, so the two
    // streams start as near together as two calls allow.
    bool Start()
    {
        WaveResult code = WaveNoError;
        if (input.Start(&code) != 1)
            return Fail(WaveDirection::Input, FullDuplexStep::Start, code);
        result.inputStarted = true;
        result.inputStartTick = input.GetStartTime();
        code = WaveNoError;
        if (output.Restart(&code) != 1)
            return Fail(WaveDirection::Output, FullDuplexStep::Start, code);
        result.outputStarted = true;
        result.outputStartTick = Services().TickCount();
        return true;
    }

    // Until the capture is done or Esc; a device that never finishes is
    // ended only by Esc, as in the record and playback test.
    void Poll()
    {
        for (std::uint32_t step = 1;; ++step) {
            Services().Sleep(std::max<std::uint32_t>(1, request.pollMs));
            result.steps = step;
            if (request.onStep)
                request.onStep(step);
            std::optional<std::uint32_t> key = Services().PeekKey(request.window);
            bool cancel = (key && *key == KeyEscape) || (request.cancelRequested && request.cancelRequested());
            result.playbackDone = output.IsBufferDone(0) == 1;
            bool captured = input.IsBufferDone(0) == 1;
            if (cancel) {
                result.outcome = FullDuplexOutcome::Cancelled;
                return;
            }
            if (captured) {
                result.outcome =
                    result.playbackDone ? FullDuplexOutcome::Completed : FullDuplexOutcome::PlaybackUnfinished;
                return;
            }
            // A device gone for good would hold the run until Esc.
            for (WaveDirection direction : {WaveDirection::Input, WaveDirection::Output})
                if (IsLost(direction)) {
                    Fail(direction, FullDuplexStep::Transfer, WaveErrNoDriver);
                    return;
                }
        }
    }

    bool IsLost(WaveDirection direction)
    {
        const bool input = direction == WaveDirection::Input;
        const std::int32_t device = input ? request.inputDevice : request.outputDevice;
        return device >= 0 && WaveApi().HostDetail(direction, static_cast<std::uint32_t>(device)).lost;
    }

    // What the input recorded, in whole frames. Reset first so a cancelled
    // input hands back its count; Close makes the headers idle, dropping it.
    std::uint64_t Recorded()
    {
        if (input.IsOpen() && input.GetHandle() != 0)
            WaveApi().Reset(input.GetHandle());
        const WaveHeader* header = input.GetHeader(0);
        std::uint64_t recorded = header != nullptr ? header->bytesRecorded.load(std::memory_order_acquire) : 0;
        const std::uint64_t blockAlign = std::uint64_t{request.channels} * request.bytesPerSample;
        recorded = std::min<std::uint64_t>(recorded, result.capture.size());
        return recorded - recorded % blockAlign;
    }

    void Run()
    {
        if (Open()) {
            if (request.settleMs > 0)
                Services().Sleep(request.settleMs);
            if (Queue() && Start())
                Poll();
        }
        const bool failed = result.outcome == FullDuplexOutcome::Failed;
        const std::uint64_t recorded = failed ? 0 : Recorded();
        output.Close();
        input.Close();
        // Only now: a back end may fill the capture until its device is closed.
        result.capture.resize(static_cast<std::size_t>(recorded));
    }
};

bool TakeBuffers(const FullDuplexRequest& request, FullDuplexResult& result, std::vector<std::uint8_t>& stimulus)
{
    try {
        stimulus.assign(request.stimulus.begin(), request.stimulus.end());
        result.capture.assign(static_cast<std::size_t>(request.captureBytes), 0);
        return true;
    } catch (const std::bad_alloc&) {
        stimulus = {};
        result.capture = {};
        return false;
    }
}

} // namespace

int RunFullDuplex(CWaveApi& api, const FullDuplexRequest& request, FullDuplexResult& result)
{
    result = FullDuplexResult{};
    result.refusal = CheckRequest(request);
    if (result.refusal != FullDuplexRefusal::None)
        return 0;

    CScopedWaveApi scope(api);
    try {
        Duplex duplex(request, result);
        if (!TakeBuffers(request, result, duplex.stimulus)) {
            result.refusal = FullDuplexRefusal::NoMemory;
            return 0;
        }
        result.outcome = FullDuplexOutcome::Failed;
        duplex.Run();
    } catch (...) {
        // Only the caller's progress hook can throw here; the devices close
        // on the way out and the run counts as failed, with nothing kept.
        result.outcome = FullDuplexOutcome::Failed;
        result.capture.clear();
    }
    return result.outcome == FullDuplexOutcome::Completed ? 1 : 0;
}

const char* FullDuplexOutcomeText(FullDuplexOutcome outcome)
{
    switch (outcome) {
    case FullDuplexOutcome::Completed:
        return "completed";
    case FullDuplexOutcome::PlaybackUnfinished:
        return "the capture filled before the playback finished";
    case FullDuplexOutcome::Cancelled:
        return "cancelled";
    case FullDuplexOutcome::Refused:
        return "refused";
    case FullDuplexOutcome::Failed:
        return "failed";
    }
    return "unknown";
}

const char* FullDuplexRefusalText(FullDuplexRefusal refusal)
{
    switch (refusal) {
    case FullDuplexRefusal::None:
        return "none";
    case FullDuplexRefusal::Format:
        return "format out of range";
    case FullDuplexRefusal::EmptyStimulus:
        return "empty stimulus";
    case FullDuplexRefusal::PartialFrames:
        return "stimulus or capture not whole frames";
    case FullDuplexRefusal::CaptureTooShort:
        return "capture shorter than the stimulus";
    case FullDuplexRefusal::TooLarge:
        return "buffer larger than 4 GiB";
    case FullDuplexRefusal::NoMemory:
        return "out of memory";
    }
    return "unknown";
}

const char* FullDuplexStepText(FullDuplexStep step)
{
    switch (step) {
    case FullDuplexStep::None:
        return "none";
    case FullDuplexStep::Open:
        return "open";
    case FullDuplexStep::Queue:
        return "queue";
    case FullDuplexStep::Start:
        return "start";
    case FullDuplexStep::Transfer:
        return "transfer";
    }
    return "unknown";
}
