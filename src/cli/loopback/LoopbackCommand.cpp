// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/loopback/LoopbackCommand.h"

#include <cmath>
#include <memory>

#include "audio/FullDuplexRun.h"
#include "audio/ListedDevices.h"
#include "audio/backends/CompositeWaveApi.h"
#include "cli/AnalysisCommand.h"
#include "cli/CliDiagnostics.h"
#include "cli/CliOutcome.h"
#include "cli/Keyboard.h"
#include "cli/StatusLine.h"
#include "cli/TerminalServices.h"
#include "measure/PlotModule.h"
#include "measure/loopback/LoopbackChecks.h"
#include "measure/loopback/LoopbackJson.h"
#include "measure/loopback/LoopbackText.h"
#include "sequence/Report.h"

namespace {

bool ChooseDevice(CWaveApi& api, WaveDirection direction, const std::optional<std::string>& wanted,
                  CLoopbackDevice& device, std::string& error)
{
    const std::vector<ListedDevice> list = ListWaveDevices(api, direction);
    const std::string name = wanted.value_or("0");
    const int position = FindListedDevice(list, name);
    const bool input = direction == WaveDirection::Input;
    if (position < 0) {
        const bool digits = name.find_first_not_of("0123456789") == std::string::npos;
        error = std::string(input ? "--input: no input" : "--output: no output") + " device " +
                (digits ? "at position " : "named ") + "'" + name + "' (" + std::to_string(list.size()) +
                " listed; see --list)";
        return false;
    }
    device.position = position;
    device.id = list[static_cast<std::size_t>(position)].id;
    device.name = list[static_cast<std::size_t>(position)].name;
    return true;
}

std::uint64_t CaptureFrames(const LoopbackSequence& seq, const CCliOptions& options)
{
    const double margin = LoopbackCaptureMarginSeconds + options.loopback.limits.maxLatencyMs.value_or(0) / 1000;
    return seq.frames + static_cast<std::uint64_t>(std::ceil(margin * seq.format.sampleRate));
}

// The full-duplex run with the terminal's keyboard, Ctrl-C, time-out and
// status line; fills the run's outcome and, when it completed, `capture`.
void PlayAndRecord(CWaveApi& api, const LoopbackSequence& seq, std::uint64_t captureFrames, const CCliOptions& options,
                   const CCliStreams& streams, CInterrupts& interrupts, CLoopbackRun& run,
                   std::vector<std::uint8_t>& capture)
{
    CStatusLine statusLine(streams.err, streams.errIsTerminal);
    CKeyboard keyboard(streams.keyboardFd, streams.keyboardIsTerminal);
    CTerminalServices services(statusLine, keyboard, interrupts);
    CScopedServices servicesScope(services);

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
    request.onStep = [&statusLine, steps](std::uint32_t step) {
        statusLine.SetProgress(static_cast<int>(std::min(100.0, 100.0 * step / steps)));
    };
    statusLine.SetStatus("Measuring the loopback... (Esc cancels)");
    statusLine.SetProgress(0);
    services.ArmTimeout(LoopbackTimeoutMilliseconds(options, run.captureSeconds));
    FullDuplexResult result;
    RunFullDuplex(api, request, result);
    services.ArmTimeout(0);
    statusLine.Clear();

    run.playbackUnfinished = result.outcome == FullDuplexOutcome::PlaybackUnfinished;
    switch (result.outcome) {
    case FullDuplexOutcome::Completed:
    case FullDuplexOutcome::PlaybackUnfinished:
        capture = std::move(result.capture);
        run.outcome = LoopbackOutcome::Measured; // for now: the measures decide
        break;
    case FullDuplexOutcome::Cancelled:
        run.outcome = services.TimedOut() ? LoopbackOutcome::TimedOut : LoopbackOutcome::Cancelled;
        run.error = services.TimedOut() ? "the time-out cancelled the run" : "the run was cancelled";
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

void Measure(const LoopbackSequence& seq, const std::vector<std::uint8_t>& capture, const CCliOptions& options,
             CLoopbackRun& run)
{
    run.measures = MeasureLoopback(capture.data(), capture.size(), seq);
    if (!run.measures.ok) {
        run.outcome = LoopbackOutcome::NotMeasured;
        run.error = run.measures.error;
        if (run.measures.latency.status == LatencyStatus::NotFound)
            run.error += " (is the output wired back to the input?)";
    }
    const AnalysisExpectations& e = options.analysis.expect;
    run.checksSet = options.loopback.limits.Any() || e.maxThdnDb || e.frequencyHz || e.maxDropouts;
    run.failedChecks = CheckLoopback(run.measures, options.loopback.limits, e);
    if (options.analysis.plotPath && run.outcome == LoopbackOutcome::Measured) {
        if (WriteLoopbackPlotThroughModule(run, *options.analysis.plotPath, run.plotError))
            run.plotPath = options.analysis.plotPath;
    } else if (options.analysis.plotPath) {
        run.plotError = "nothing to draw: " + run.error;
    }
}

void PrintDiagnostics(const CLoopbackRun& run, std::FILE* err)
{
    const bool failed = run.outcome == LoopbackOutcome::DeviceFailed;
    if (run.inputHost)
        for (const std::string& line : HostDetailLines("capture", run.input.name, *run.inputHost,
                                                       failed && run.failedDirection == WaveDirection::Input))
            std::fprintf(err, "%s\n", line.c_str());
    if (run.outputHost)
        for (const std::string& line : HostDetailLines("playback", run.output.name, *run.outputHost,
                                                       failed && run.failedDirection == WaveDirection::Output))
            std::fprintf(err, "%s\n", line.c_str());
    if (run.outcome == LoopbackOutcome::DeviceFailed || run.outcome == LoopbackOutcome::NotMeasured)
        std::fprintf(err, "tallowmere: loopback: %s\n", run.error.c_str());
}

} // namespace

int RunLoopback(const CCliOptions& options, const CCliStreams& streams, CInterrupts& interrupts)
{
    CLoopbackRun run;
    std::string error;
    if (!ResolveLoopbackFormat(options, run.format, error)) {
        return UsageError(streams, options.json, error);
    }
    std::unique_ptr<CWaveApi> api = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi apiScope(*api);
    if (!ChooseDevice(*api, WaveDirection::Input, options.inputDevice, run.input, error) ||
        !ChooseDevice(*api, WaveDirection::Output, options.outputDevice, run.output, error)) {
        return UsageError(streams, options.json, error);
    }
    const CLoopbackFormat& f = run.format;
    const CSampleFormat format(f.sampleRate, static_cast<std::uint16_t>(f.channels),
                               static_cast<std::uint16_t>(f.bits / 8));
    LoopbackSequence seq;
    if (!BuildSequence(format, f.validBits, SequenceTiming{}, LoopbackSelection(options.loopback, f.channels), seq)) {
        std::fprintf(streams.err, "tallowmere: loopback: the test sequence cannot be built for this format\n");
        return ExitDeviceFailed;
    }
    run.selection = seq.selection;
    const std::uint64_t captureFrames = CaptureFrames(seq, options);
    run.sequenceSeconds = static_cast<double>(seq.frames) / f.sampleRate;
    run.captureSeconds = static_cast<double>(captureFrames) / f.sampleRate;

    std::vector<std::uint8_t> capture;
    PlayAndRecord(*api, seq, captureFrames, options, streams, interrupts, run, capture);
    run.inputHost = api->HostDetail(WaveDirection::Input, run.input.id);
    run.outputHost = api->HostDetail(WaveDirection::Output, run.output.id);
    if (run.outcome == LoopbackOutcome::Measured)
        Measure(seq, capture, options, run);
    PrintDiagnostics(run, streams.err);

    const int status = LoopbackExitStatus(run);
    const std::string text = options.json ? LoopbackJson(run, status)
                                          : LoopbackTable(run, options.crlf ? "\r\n" : "\n");
    std::fwrite(text.data(), 1, text.size(), streams.out);
    std::fflush(streams.out);
    return status;
}

int LoopbackExitStatus(const CLoopbackRun& run)
{
    switch (run.outcome) {
    case LoopbackOutcome::Measured:
        return run.failedChecks.empty() && run.plotError.empty() ? ExitCompleted : ExitSignalCheckFailed;
    case LoopbackOutcome::Cancelled:
    case LoopbackOutcome::TimedOut:
        return ExitCancelled;
    case LoopbackOutcome::NotMeasured:
    case LoopbackOutcome::DeviceFailed:
        break;
    }
    return ExitDeviceFailed;
}
