// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/soak/SoakCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audio/ListedDevices.h"
#include "audio/backends/CompositeWaveApi.h"
#include "cli/AnalysisCommand.h"
#include "cli/CliOutcome.h"
#include "cli/DeviceList.h"
#include "cli/Keyboard.h"
#include "cli/ReportCommand.h"
#include "cli/StatusLine.h"
#include "cli/TerminalServices.h"
#include "measure/soak/SoakJson.h"
#include "measure/soak/SoakSession.h"
#include "measure/soak/SoakText.h"

namespace {

// The device the user named, by the rule of every mode (MatchListedDevice):
// a position, a name or PCM name, a part one device alone has, or a PCM
// name alsa-lib can open; a part several have names them in the error.
bool Choose(CWaveApi& api, WaveDirection direction, const std::optional<std::string>& wanted, SoakDevice& device,
            std::string& error)
{
    const std::string name = wanted.value_or("0");
    ListHostDeviceNamed(api, direction, name);
    const std::vector<ListedDevice> list = ListWaveDevices(api, direction);
    const int position = FindListedDevice(list, name);
    if (position < 0) {
        error = ListedDeviceError(direction, list, name);
        return false;
    }
    device.id = ListedDeviceId(list, position);
    device.name = list[static_cast<std::size_t>(position)].name;
    return true;
}

// The event log: one JSON object a line, flushed as each is written, so a
// run that is killed leaves every line it wrote whole.
class CSoakLog {
public:
    explicit CSoakLog(const std::optional<std::string>& path)
    {
        if (path)
            file = std::fopen(path->c_str(), "w");
    }
    ~CSoakLog()
    {
        if (file != nullptr)
            std::fclose(file);
    }
    CSoakLog(const CSoakLog&) = delete;
    CSoakLog& operator=(const CSoakLog&) = delete;

    bool Opened() const { return file != nullptr; }
    // False once a line could not be written whole.
    bool Write(const std::string& line)
    {
        if (file == nullptr)
            return true;
        ok = ok && std::fputs(line.c_str(), file) >= 0 && std::fputc('\n', file) != EOF && std::fflush(file) == 0;
        return ok;
    }
    bool Ok() const { return ok; }

private:
    std::FILE* file = nullptr;
    bool ok = true;
};

} // namespace

int SoakExitStatus(const SoakRun& run)
{
    switch (run.outcome) {
    case SoakOutcome::Completed:
        return run.failedChecks.empty() && run.plotError.empty() ? ExitCompleted : ExitSignalCheckFailed;
    case SoakOutcome::Cancelled:
        return ExitCancelled;
    case SoakOutcome::DeviceFailed:
    case SoakOutcome::Refused:
        break;
    }
    return ExitDeviceFailed;
}

int RunSoak(const CCliOptions& options, const CCliStreams& streams, CInterrupts& interrupts)
{
    SoakRequest request;
    std::string error;
    if (!ResolveSoakFormat(options, request.format, error))
        return UsageError(streams, options.json, error);
    request.mode = options.soak.mode;
    request.durationSeconds = options.soak.durationSeconds;
    request.limits = options.soak.limits;
    request.plotPath = options.analysis.plotPath;
    std::unique_ptr<CWaveApi> api = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi apiScope(*api);
    if ((request.mode != SoakMode::PlayOnly &&
         !Choose(*api, WaveDirection::Input, options.inputDevice, request.input, error)) ||
        (request.mode != SoakMode::RecordOnly &&
         !Choose(*api, WaveDirection::Output, options.outputDevice, request.output, error)))
        return UsageError(streams, options.json, error);
    CSoakLog log(options.soak.logPath);
    if (options.soak.logPath && !log.Opened())
        return UsageError(streams, options.json,
                          "--log: '" + *options.soak.logPath + "' cannot be written: " + std::strerror(errno));

    CStatusLine statusLine(streams.err, streams.errIsTerminal);
    CKeyboard keyboard(streams.keyboardFd, streams.keyboardIsTerminal);
    CTerminalServices services(statusLine, keyboard, interrupts);
    CScopedServices servicesScope(services);
    SoakHooks hooks;
    hooks.onStart = [&](const SoakRun& run) {
        statusLine.SetStatus("Soaking... (Esc ends)");
        log.Write(SoakStartJsonLine(run));
    };
    hooks.onEvent = [&](const SoakEvent& event, const SoakRun&) {
        log.Write(SoakEventJsonLine(event));
        // Said at once: a lost device, or an event a script waits for.
        statusLine.PrintLine("tallowmere: soak: " + SoakEventLine(event));
    };
    hooks.onStatus = [&](const SoakRun& run) { statusLine.SetStatus(SoakStatus(run)); };
    SoakRun run;
    if (!RunSoakSession(*api, request, hooks, run)) {
        statusLine.Clear();
        std::fprintf(streams.err, "tallowmere: soak: %s\n", run.error.c_str());
        return ExitDeviceFailed;
    }
    log.Write(SoakEndJsonLine(run));
    statusLine.Clear();
    if (run.outcome == SoakOutcome::DeviceFailed)
        std::fprintf(streams.err, "tallowmere: soak: %s\n", run.error.c_str());
    int status = SoakExitStatus(run);
    if (!log.Ok()) {
        std::fprintf(streams.err, "tallowmere: soak: the log '%s' could not be written whole\n",
                     options.soak.logPath->c_str());
        status = ExitDeviceFailed;
    }
    if (options.reportPath) {
        // The system, the soak's section and its whole result (the --json document).
        ReportInput input;
        input.soak = &run;
        input.soakLimits = request.limits;
        input.json = SoakJson(run, status);
        std::vector<SnapshotDevice> devices;
        if (request.mode != SoakMode::PlayOnly)
            devices.push_back(ReportDevice("capture", run.input.name,
                                           api->HostDetail(WaveDirection::Input, run.input.id)));
        if (request.mode != SoakMode::RecordOnly)
            devices.push_back(ReportDevice("playback", run.output.name,
                                           api->HostDetail(WaveDirection::Output, run.output.id)));
        status = WriteReportIfAsked(options, input, devices, status, streams.err);
    }
    const std::string text = options.json ? SoakJson(run, status) : SoakSummary(run, options.crlf ? "\r\n" : "\n");
    std::fwrite(text.data(), 1, text.size(), streams.out);
    std::fflush(streams.out);
    return status;
}
