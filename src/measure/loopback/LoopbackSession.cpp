// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/loopback/LoopbackSession.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/FullDuplexRun.h"
#include "measure/PlotModule.h"
#include "measure/svg/MeasureSvg.h"
#include "measure/loopback/LoopbackChecks.h"
#include "sequence/Report.h"

namespace {

std::uint64_t CaptureFrames(const LoopbackSequence& seq, const CLoopbackRequest& request)
{
    const double margin = LoopbackCaptureMarginSeconds + request.limits.maxLatencyMs.value_or(0) / 1000;
    return seq.frames + static_cast<std::uint64_t>(std::ceil(margin * seq.format.sampleRate));
}

// The full-duplex run; fills the run's outcome and, when it completed,
// `capture`.
void PlayAndRecord(CWaveApi& api, const LoopbackSequence& seq, std::uint64_t captureFrames,
                   const LoopbackHooks& hooks, CLoopbackRun& run, std::vector<std::uint8_t>& capture)
{
    FullDuplexRequest request;
    request.inputDevice = static_cast<std::int32_t>(run.input.id);
    request.outputDevice = static_cast<std::int32_t>(run.output.id);
    request.sampleRate = seq.format.sampleRate;
    request.channels = seq.format.channels;
    request.bytesPerSample = seq.format.bytesPerSample;
    request.validBits = static_cast<std::uint16_t>(seq.validBits);
    request.extended = run.format.extended;
    request.stimulus = seq.bytes;
    request.captureBytes = captureFrames * seq.format.channels * seq.format.bytesPerSample;
    const double steps = std::max(1.0, run.captureSeconds * 1000 / FullDuplexPollMs);
    request.onStep = [&hooks, steps](std::uint32_t step) {
        if (hooks.onProgress)
            hooks.onProgress(static_cast<int>(std::min(100.0, 100.0 * step / steps)));
    };
    request.cancelRequested = hooks.cancelRequested;
    FullDuplexResult result;
    RunFullDuplex(api, request, result);
    if (hooks.onCaptured)
        hooks.onCaptured();

    run.playbackUnfinished = result.outcome == FullDuplexOutcome::PlaybackUnfinished;
    switch (result.outcome) {
    case FullDuplexOutcome::Completed:
    case FullDuplexOutcome::PlaybackUnfinished:
        capture = std::move(result.capture);
        run.outcome = LoopbackOutcome::Measured; // for now: the measures decide
        break;
    case FullDuplexOutcome::Cancelled:
        run.outcome = LoopbackOutcome::Cancelled;
        run.error = "the run was cancelled";
        break;
    case FullDuplexOutcome::Refused:
        run.outcome = LoopbackOutcome::NotMeasured;
        run.error = std::string("the run was refused: ") + FullDuplexRefusalText(result.refusal);
        break;
    case FullDuplexOutcome::Failed:
        run.outcome = LoopbackOutcome::DeviceFailed;
        run.failedDirection = result.failedDirection;
        run.failedStep = FullDuplexStepText(result.failedStep);
        run.code = result.code;
        run.error = std::string(result.failedDirection == WaveDirection::Input ? "the input's " : "the output's ") +
                    run.failedStep + " failed with code " + std::to_string(result.code) + " (" +
                    ResultCodeText(result.code) + ")";
        break;
    }
}

void Measure(const LoopbackSequence& seq, const std::vector<std::uint8_t>& capture, const CLoopbackRequest& request,
             CLoopbackRun& run)
{
    run.measures = MeasureLoopback(capture.data(), capture.size(), seq);
    if (!run.measures.ok) {
        run.outcome = LoopbackOutcome::NotMeasured;
        run.error = run.measures.error;
        if (run.measures.latency.status == LatencyStatus::NotFound)
            run.error += " (is the output wired back to the input?)";
    }
    run.limits = request.limits;
    run.toneChecks = request.toneChecks;
    run.checksSet = LoopbackChecksSet(request.limits, request.toneChecks);
    run.failedChecks = CheckLoopback(run.measures, request.limits, request.toneChecks);
    if (request.plotPath && run.outcome == LoopbackOutcome::Measured) {
        const bool svg = IsSvgPath(*request.plotPath);
        if (svg ? SaveSvg(LoopbackRunSvg(run, "plot"), *request.plotPath, run.plotError)
                : WriteLoopbackPlotThroughModule(run, *request.plotPath, run.plotError))
            run.plotPath = request.plotPath;
    } else if (request.plotPath) {
        run.plotError = "nothing to draw: " + run.error;
    }
}

} // namespace

bool RunLoopbackSession(CWaveApi& api, const CLoopbackRequest& request, const LoopbackHooks& hooks,
                        CLoopbackRun& run)
{
    run.format = request.format;
    run.input = request.input;
    run.output = request.output;
    const CLoopbackFormat& f = run.format;
    const CSampleFormat format(f.sampleRate, static_cast<std::uint16_t>(f.channels),
                               static_cast<std::uint16_t>(f.bits / 8));
    LoopbackSequence seq;
    if (!BuildSequence(format, f.validBits, SequenceTiming{}, request.selection, seq)) {
        run.outcome = LoopbackOutcome::NotMeasured;
        run.error = "the test sequence cannot be built for this format";
        return false;
    }
    run.selection = seq.selection;
    const std::uint64_t captureFrames = CaptureFrames(seq, request);
    run.sequenceSeconds = static_cast<double>(seq.frames) / f.sampleRate;
    run.captureSeconds = static_cast<double>(captureFrames) / f.sampleRate;
    if (hooks.onStart)
        hooks.onStart(run);

    std::vector<std::uint8_t> capture;
    PlayAndRecord(api, seq, captureFrames, hooks, run, capture);
    run.inputHost = api.HostDetail(WaveDirection::Input, run.input.id);
    run.outputHost = api.HostDetail(WaveDirection::Output, run.output.id);
    if (run.outcome == LoopbackOutcome::Measured)
        Measure(seq, capture, request, run);
    return true;
}
