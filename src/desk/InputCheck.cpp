// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/InputCheck.h"

#include <algorithm>
#include <new>

#include "audio/WaveDevice.h"
#include "measure/AnalysisSources.h"
#include "platform/Services.h"
#include "sequence/Report.h"
#include "sequence/TestParameters.h"

namespace {

struct Slicing {
    std::uint64_t frames = 0;
    std::uint32_t sliceBytes = 0;
    std::size_t frameBytes = 0;
};

bool Refuse(const InputCheckRequest& r, InputCheckResult& result, Slicing& s)
{
    auto refuse = [&result](std::string why) {
        result.outcome = InputCheckOutcome::Refused;
        result.error = std::move(why);
        return true;
    };
    if (r.device < 0)
        return refuse("no input device is chosen");
    if (r.channels < 1 || r.channels > 2)
        return refuse("the check records 1 or 2 channels");
    if (r.bits != 8 && r.bits != 16 && r.bits != 24 && r.bits != 32)
        return refuse("the sample size must be 8, 16, 24 or 32 bits");
    if (r.validBits < 1 || r.validBits > r.bits)
        return refuse("the valid bits must be 1 to the sample size");
    if (r.sampleRate < 1000 || r.sampleRate > 768000)
        return refuse("the rate must be 1000 to 768000 Hz");
    if (r.seconds < 1 || r.seconds > MaxDurationSeconds)
        return refuse("the duration must be 1 to 100 seconds");
    s.frameBytes = static_cast<std::size_t>(r.channels) * static_cast<std::size_t>(r.bits / 8);
    s.frames = static_cast<std::uint64_t>(r.sampleRate) * static_cast<std::uint64_t>(r.seconds);
    if (!IsBufferSizeUsable(static_cast<std::int64_t>(s.frames * s.frameBytes)))
        return refuse("the recording would need more than 2 GiB; shorten it or lower the rate");
    const std::uint64_t sliceFrames = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(r.sampleRate) /
                                                                     InputCheckSlicesPerSecond);
    s.sliceBytes = static_cast<std::uint32_t>(sliceFrames * s.frameBytes);
    return false;
}

InputCheckOutcome Fail(InputCheckResult& result, const char* step, WaveResult code)
{
    result.outcome = InputCheckOutcome::DeviceFailed;
    result.code = code;
    result.error = std::string("the input's ") + step + " failed with code " + std::to_string(code) + " (" +
                   ResultCodeText(code) + ")";
    return result.outcome;
}

// Queues the slices in order, slot after slot, and hands each back to the
// meters once it is done. Fills `result` on failure or cancel.
InputCheckOutcome Record(CWaveInDevice& device, const InputCheckRequest& r, const Slicing& s,
                         const InputCheckHooks& hooks, InputCheckResult& result)
{
    std::vector<std::uint8_t>& buffer = result.recording;
    const std::size_t total = buffer.size();
    std::size_t queuedEnd = 0;  // bytes handed to the device
    std::size_t doneEnd = 0;    // bytes it handed back
    std::size_t sliceStart[WaveSlotCount] = {};
    std::uint16_t next = 0;     // the slot the oldest slice in flight is in
    auto queue = [&](std::uint16_t slot) {
        const std::uint32_t length = static_cast<std::uint32_t>(std::min<std::size_t>(s.sliceBytes, total - queuedEnd));
        WaveResult code = WaveNoError;
        sliceStart[slot] = queuedEnd;
        if (device.AddBuffer(buffer.data() + queuedEnd, length, slot, &code) == 0)
            return code == WaveNoError ? WaveErrUnspecified : code;
        queuedEnd += length;
        return WaveNoError;
    };
    for (std::uint16_t slot = 0; slot < WaveSlotCount && queuedEnd < total; ++slot)
        if (WaveResult code = queue(slot); code != WaveNoError)
            return Fail(result, "queue", code);
    if (WaveResult code = WaveNoError; device.Start(&code) == 0)
        return Fail(result, "start", code);

    std::uint32_t lastProgress = Services().TickCount();
    while (doneEnd < total) {
        if (hooks.cancelRequested && hooks.cancelRequested()) {
            result.outcome = InputCheckOutcome::Cancelled;
            result.error = "the check was cancelled";
            return result.outcome;
        }
        if (device.IsBufferDone(next) == 0) {
            if (Services().TickCount() - lastProgress > InputCheckStallMs) {
                result.outcome = InputCheckOutcome::DeviceFailed;
                result.error = "the input delivered nothing for " + std::to_string(InputCheckStallMs / 1000) +
                               " seconds";
                return result.outcome;
            }
            Services().Sleep(InputCheckPollMs);
            continue;
        }
        lastProgress = Services().TickCount();
        const std::size_t start = sliceStart[next];
        doneEnd = std::min(total, start + s.sliceBytes);
        if (hooks.onLevels) {
            LevelUpdate update;
            update.channels = MeasureLevels(buffer.data() + start, doneEnd - start, r.channels, r.bits / 8,
                                            r.validBits);
            update.percent = static_cast<int>(100 * doneEnd / total);
            update.seconds = static_cast<double>(doneEnd / s.frameBytes) / r.sampleRate;
            hooks.onLevels(update);
        }
        if (queuedEnd < total)
            if (WaveResult code = queue(next); code != WaveNoError)
                return Fail(result, "queue", code);
        next = static_cast<std::uint16_t>((next + 1) % WaveSlotCount);
    }
    return InputCheckOutcome::Analysed;
}

} // namespace

InputCheckOutcome RunInputCheck(const InputCheckRequest& r, const InputCheckHooks& hooks, InputCheckResult& result)
{
    result = InputCheckResult{};
    Slicing s;
    if (Refuse(r, result, s))
        return result.outcome;
    try {
        result.recording.assign(static_cast<std::size_t>(s.frames * s.frameBytes), SilenceByte(r.bits / 8));
    } catch (const std::bad_alloc&) {
        result.outcome = InputCheckOutcome::Refused;
        result.error = "there is not enough memory for the recording";
        return result.outcome;
    }

    InputCheckOutcome outcome;
    {
        CWaveInDevice device(r.device);
        device.SetFormat(r.sampleRate, static_cast<std::uint16_t>(r.channels), static_cast<std::uint16_t>(r.bits / 8));
        WaveResult code = r.extended ? device.OpenExtended(nullptr, static_cast<std::uint16_t>(r.validBits))
                                     : device.Open(nullptr, static_cast<std::uint16_t>(r.validBits));
        if (code != WaveNoError)
            return Fail(result, "open", code);
        outcome = Record(device, r, s, hooks, result);
        device.Close();
    }
    if (outcome != InputCheckOutcome::Analysed)
        return outcome;

    TestRunBuffer run;
    run.parameters.inputDeviceIndex = r.device;
    run.parameters.inputDeviceName = r.deviceName;
    run.parameters.channels = r.channels;
    run.parameters.sampleRate = r.sampleRate;
    run.parameters.precisionBits = r.bits;
    run.parameters.bytesPerSample = r.bits / 8;
    run.parameters.validBits = r.validBits;
    run.parameters.apiMode = r.extended ? 1 : 0;
    run.parameters.durationSeconds = r.seconds;
    run.parameters.frameCount = static_cast<std::int64_t>(s.frames);
    run.parameters.bufferBytes = static_cast<std::int64_t>(result.recording.size());
    run.data = result.recording.data();
    run.size = result.recording.size();
    run.recordComplete = true;
    result.analysis = AnalyseTestBuffer(run, AnalysisRequest{});
    result.outcome = InputCheckOutcome::Analysed;
    return result.outcome;
}

const char* InputCheckOutcomeName(InputCheckOutcome outcome)
{
    switch (outcome) {
    case InputCheckOutcome::Analysed: return "analysed";
    case InputCheckOutcome::Refused: return "refused";
    case InputCheckOutcome::DeviceFailed: return "device failed";
    case InputCheckOutcome::Cancelled: return "cancelled";
    }
    return "unknown";
}
