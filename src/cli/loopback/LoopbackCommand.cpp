// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/loopback/LoopbackCommand.h"

#include <memory>

#include "audio/ListedDevices.h"
#include "audio/backends/CompositeWaveApi.h"
#include "cli/AnalysisCommand.h"
#include "cli/CliDiagnostics.h"
#include "cli/CliOutcome.h"
#include "cli/DeviceList.h"
#include "cli/Keyboard.h"
#include "cli/ReportCommand.h"
#include "cli/StatusLine.h"
#include "cli/TerminalServices.h"
#include "measure/loopback/LoopbackJson.h"
#include "measure/loopback/LoopbackSession.h"
#include "measure/loopback/LoopbackText.h"

namespace {

bool ChooseDevice(CWaveApi& api, WaveDirection direction, const std::optional<std::string>& wanted,
                  CLoopbackDevice& device, std::string& error)
{
    const std::string name = wanted.value_or("0");
    ListHostDeviceNamed(api, direction, name);
    const std::vector<ListedDevice> list = ListWaveDevices(api, direction);
    const int position = FindListedDevice(list, name);
    if (position < 0) {
        error = ListedDeviceError(direction, list, name);
        return false;
    }
    device.position = position;
    device.id = list[static_cast<std::size_t>(position)].id;
    device.name = list[static_cast<std::size_t>(position)].name;
    return true;
}

void PrintDiagnostics(const CLoopbackRun& run, std::FILE* err)
{
    const bool failed = run.outcome == LoopbackOutcome::DeviceFailed;
    for (const auto& [role, name] : {std::pair{"capture", &run.input.name}, std::pair{"playback", &run.output.name}})
        if (const std::string note = AudioEngineNoteLine(role, *name); !note.empty())
            std::fprintf(err, "%s\n", note.c_str());
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
    CLoopbackRequest request;
    std::string error;
    if (!ResolveLoopbackFormat(options, request.format, error)) {
        return UsageError(streams, options.json, error);
    }
    std::unique_ptr<CWaveApi> api = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi apiScope(*api);
    if (!ChooseDevice(*api, WaveDirection::Input, options.inputDevice, request.input, error) ||
        !ChooseDevice(*api, WaveDirection::Output, options.outputDevice, request.output, error)) {
        return UsageError(streams, options.json, error);
    }
    request.selection = LoopbackSelection(options.loopback, request.format.channels);
    request.limits = options.loopback.limits;
    request.toneChecks = options.analysis.expect;
    request.plotPath = options.analysis.plotPath;

    // The keyboard, Ctrl-C, the time-out and the status line while it runs.
    CStatusLine statusLine(streams.err, streams.errIsTerminal);
    CKeyboard keyboard(streams.keyboardFd, streams.keyboardIsTerminal);
    CTerminalServices services(statusLine, keyboard, interrupts);
    CScopedServices servicesScope(services);
    LoopbackHooks hooks;
    hooks.onStart = [&](const CLoopbackRun& run) {
        statusLine.SetStatus("Measuring the loopback... (Esc cancels)");
        statusLine.SetProgress(0);
        services.ArmTimeout(LoopbackTimeoutMilliseconds(options, run.captureSeconds));
    };
    hooks.onProgress = [&statusLine](int percent) { statusLine.SetProgress(percent); };
    hooks.onCaptured = [&] {
        services.ArmTimeout(0);
        statusLine.Clear();
    };
    CLoopbackRun run;
    if (!RunLoopbackSession(*api, request, hooks, run)) {
        std::fprintf(streams.err, "tallowmere: loopback: %s\n", run.error.c_str());
        return ExitDeviceFailed;
    }
    if (run.outcome == LoopbackOutcome::Cancelled && services.TimedOut()) {
        run.outcome = LoopbackOutcome::TimedOut;
        run.error = "the time-out cancelled the run";
    }
    PrintDiagnostics(run, streams.err);

    int status = LoopbackExitStatus(run);
    if (options.reportPath) {
        ReportInput input;
        input.loopback = &run;
        input.json = LoopbackJson(run, status);
        status = WriteReportIfAsked(options, input,
                                    {ReportDevice("capture", run.input.name, run.inputHost),
                                     ReportDevice("playback", run.output.name, run.outputHost)},
                                    status, streams.err);
    }
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
