// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliProgram.h"

#include <memory>

#include "audio/WaveApi.h"
#include "audio/backends/CompositeWaveApi.h"
#include "cli/CliDiagnostics.h"
#include "cli/CliJsonResult.h"
#include "cli/DeviceList.h"
#include "cli/Keyboard.h"
#include "cli/StatusLine.h"
#include "cli/ReportCommand.h"
#include "cli/TerminalServices.h"
#include "cli/TerminalToolkit.h"
#include "cli/formats/FormatsCommand.h"
#include "cli/loopback/LoopbackCommand.h"
#include "cli/soak/SoakCommand.h"
#include "measure/JsonWriter.h"
#include "ui/TesterApp.h"
#include "ui/TesterDlg.h"
#include "ui/Templates.h"
#include "wavefile/WaveFileFailure.h"

#ifndef TALLOWMERE_VERSION
#define TALLOWMERE_VERSION "unknown"
#endif

namespace {

// The main dialog's driver: the flags typed into the controls as a user
// would, then "Run Test...", then the dialog is closed.
class CMainDialogDriver {
public:
    CMainDialogDriver(const CCliOptions& options, CTerminalServices& services, CStatusLine& statusLine,
                      CCliOutcome& outcome)
        : options(options), services(services), statusLine(statusLine), outcome(outcome)
    {
    }

    void operator()(CDialog& dialog, CTerminalWindow& window)
    {
        // A device the lists do not have is a usage error, shown alone.
        auto* tester = dynamic_cast<CTesterDlg*>(&dialog);
        if (!Fill(window, tester))
            return;
        statusLine.Release();
        if (tester) {
            auto direction = [tester] {
                return tester->PlaybackResults().tested ? WaveDirection::Output : WaveDirection::Input;
            };
            services.SetStepDirection(direction);
            // A device gone for good would hold the step until the time-out.
            services.SetLostDeviceCheck([tester, direction] { return HostDetailOf(*tester, direction()).lost; });
        }
        services.ArmTimeout(EffectiveTimeoutMilliseconds(options));
        outcome.ran = CTerminalToolkit::Press(dialog, window, IdRunTest);
        services.ArmTimeout(0);
        services.SetStepDirection(nullptr);
        services.SetLostDeviceCheck(nullptr);
        if (tester && outcome.ran)
            Collect(*tester);
    }

    std::string usageError;

private:
    bool Fill(CTerminalWindow& window, const CTesterDlg* tester)
    {
        auto type = [&window](int id, const std::optional<std::string>& text) {
            if (text)
                window.SetControlText(id, *text);
        };
        type(IdChannels, options.channels);
        type(IdSampleRate, options.sampleRate);
        type(IdPrecision, options.precisionBits);
        // A container width alone means all its bits carry signal.
        type(IdValidBits, options.validBits ? options.validBits : options.precisionBits);
        type(IdDuration, options.duration);
        if (options.apiMode)
            window.ComboSetCurSel(IdApiMode, *options.apiMode);
        if (!tester)
            return true;
        return SelectDevice(window, *tester, WaveDirection::Input, options.inputDevice) &&
               SelectDevice(window, *tester, WaveDirection::Output, options.outputDevice);
    }

    // The box's position for the device the flag names, found in the
    // dialog's own list. With nothing listed, "0" is what the box already
    // shows (no selection), so the test meets the missing sound card as it
    // would without the flag.
    bool SelectDevice(CTerminalWindow& window, const CTesterDlg& tester, WaveDirection direction,
                      const std::optional<std::string>& wanted)
    {
        if (!wanted)
            return true;
        const bool input = direction == WaveDirection::Input;
        const std::vector<ListedDevice>& devices = tester.ListedDevices(direction);
        if (devices.empty() && *wanted == "0")
            return true;
        if (int position = FindListedDevice(devices, *wanted); position >= 0) {
            window.ComboSetCurSel(input ? IdInputDevice : IdOutputDevice, position);
            return true;
        }
        usageError = ListedDeviceError(direction, devices, *wanted);
        return false;
    }

    void Collect(const CTesterDlg& tester)
    {
        outcome.parameters = tester.Parameters();
        outcome.record = tester.RecordResults();
        outcome.playback = tester.PlaybackResults();
        outcome.recordComplete = tester.RecordComplete();
        outcome.playbackComplete = tester.PlaybackComplete();
        outcome.testCancelled = tester.TestCancelled();
        outcome.report = tester.ReportText();
        outcome.hadRecordBuffer = tester.HasRecordBuffer();
        outcome.playbackRan = tester.PlaybackResults().tested;
        outcome.toneAsked = services.ToneAsked();
        outcome.tonePlayed = outcome.toneAsked && outcome.playbackRan;
        outcome.timedOut = services.TimedOut();
        outcome.deviceLost = services.DeviceLost();
        // The devices the sequence opened: the selected entries' own numbers.
        if (outcome.record.tested)
            outcome.recordHost = HostDetailOf(tester, WaveDirection::Input);
        if (outcome.playbackRan)
            outcome.playbackHost = HostDetailOf(tester, WaveDirection::Output);
        if (options.analysis.Wanted())
            outcome.analysis = AnalyseTestRun(tester, outcome.tonePlayed, options.analysis);
    }

    static WaveHostDetail HostDetailOf(const CTesterDlg& tester, WaveDirection direction)
    {
        const std::int32_t id = tester.SelectedDeviceId(direction);
        return id < 0 ? WaveHostDetail{} : WaveApi().HostDetail(direction, static_cast<std::uint32_t>(id));
    }

    const CCliOptions& options;
    CTerminalServices& services;
    CStatusLine& statusLine;
    CCliOutcome& outcome;
};

// The results dialog's driver: the report to standard output, then the save
// button with the --save path, then the dialog is closed.
class CResultsDialogDriver {
public:
    CResultsDialogDriver(const CCliOptions& options, const CCliStreams& streams, CStatusLine& statusLine,
                         CTerminalServices& services, CCliOutcome& outcome)
        : options(options), streams(streams), statusLine(statusLine), services(services), outcome(outcome)
    {
    }

    void operator()(CDialog& dialog, CTerminalWindow& window)
    {
        outcome.resultsShown = true;
        if (!options.json) {
            statusLine.Clear();
            std::string text = ReportForOutput(window.GetControlText(IdReportEdit), options.crlf);
            std::fwrite(text.data(), 1, text.size(), streams.out);
            std::fflush(streams.out);
        }
        if (options.savePath)
            Save(dialog, window, *options.savePath);
    }

private:
    void Save(CDialog& dialog, CTerminalWindow& window, const std::string& path)
    {
        int messagesBefore = services.MessageCount();
        ClearWaveFileFailure();
        services.SetSavePath(path);
        CTerminalToolkit::Press(dialog, window, IdSaveRecording);
        services.SetSavePath(std::nullopt);
        auto* tester = dynamic_cast<CTesterDlg*>(dialog.Parent());
        const bool messageShown = services.MessageCount() != messagesBefore;
        outcome.saveFailed = messageShown || !tester || !tester->LastSaveSucceeded();
        if (!outcome.saveFailed) {
            outcome.savedPath = path;
            statusLine.PrintLine("tallowmere: saved to '" + path + "'");
            return;
        }
        // The wave file's own reason where it kept one, else the best we know.
        outcome.saveError = DescribeWaveFileFailure(LastWaveFileFailure());
        if (outcome.saveError.empty()) {
            if (!tester || !tester->HasRecordBuffer())
                outcome.saveError = "there is no recording (its buffer could not be had)";
            else if (messageShown)
                outcome.saveError = services.LastMessage();
            else
                outcome.saveError = "the file could not be written";
        }
        statusLine.PrintLine(SaveFailureLine(path, outcome.saveError));
    }

    const CCliOptions& options;
    const CCliStreams& streams;
    CStatusLine& statusLine;
    CTerminalServices& services;
    CCliOutcome& outcome;
};

void PrintLines(std::FILE* stream, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        std::fprintf(stream, "%s\n", line.c_str());
}

// Messages shown outside the dialogs (by the file analysis's reading), with
// their keys explained as the dialogs' are.
class CExplainingServices final : public CDefaultServices {
public:
    explicit CExplainingServices(std::FILE* err) : err(err) {}
    void ShowMessage(const std::string& text, MessageIcon) override
    {
        std::fprintf(err, "tallowmere: %s\n", ExplainMessage(text, WaveDirection::Input).c_str());
    }

private:
    std::FILE* err;
};

// What the back end knows of each device, after its test.
void PrintHostDetail(std::FILE* stream, const CCliOutcome& o)
{
    for (const auto& [role, name] : {std::pair{"capture", &o.parameters.inputDeviceName},
                                     std::pair{"playback", &o.parameters.outputDeviceName}})
        if (const std::string note = AudioEngineNoteLine(role, *name); !note.empty())
            std::fprintf(stream, "%s\n", note.c_str());
    if (o.recordHost)
        PrintLines(stream, HostDetailLines("capture", o.parameters.inputDeviceName, *o.recordHost,
                                           o.record.tested && !o.recordComplete && !RecordCancelled(o)));
    if (o.playbackHost)
        PrintLines(stream, HostDetailLines("playback", o.parameters.outputDeviceName, *o.playbackHost,
                                           o.playbackRan && !o.playbackComplete && !PlaybackCancelled(o)));
}

// Runs the test through the dialogs; fills `outcome` and, for a device the
// lists do not have, `usageError`.
void RunDialogs(const CCliOptions& options, const CCliStreams& streams, CInterrupts& interrupts,
                CCliOutcome& outcome, std::string& usageError)
{
    CStatusLine statusLine(streams.err, streams.errIsTerminal);
    CKeyboard keyboard(streams.keyboardFd, streams.keyboardIsTerminal);
    CTerminalServices services(statusLine, keyboard, interrupts);
    CScopedServices servicesScope(services);
    const bool interactive = streams.keyboardIsTerminal && streams.errIsTerminal;
    services.SetToneAnswer(options.tone.value_or(interactive ? ToneAnswer::Ask : ToneAnswer::No));

    CTerminalToolkit toolkit(&statusLine);
    CMainDialogDriver mainDriver(options, services, statusLine, outcome);
    toolkit.SetDriver(MainDialogTemplateId, std::ref(mainDriver));
    toolkit.SetDriver(ResultsDialogTemplateId, CResultsDialogDriver(options, streams, statusLine, services, outcome));
    CScopedDialogToolkit toolkitScope(toolkit);

    // "Ready" waits until the command line has been checked against the lists.
    statusLine.Hold();
    CTesterApp app;
    app.InitInstance();
    statusLine.Clear();
    outcome.interrupted = services.Interrupted();
    usageError = mainDriver.usageError;
}

// --report of the test (and its analysis): the dialogs' report, the
// parameters, the host's words, the JSON document.
int WriteTestReport(const CCliOptions& options, const CCliOutcome& o, int status, std::FILE* err)
{
    ReportTest test;
    test.parameters = o.parameters;
    test.reportText = o.report;
    test.recordTested = o.record.tested;
    test.recordComplete = o.recordComplete;
    test.playbackTested = o.playbackRan;
    test.playbackComplete = o.playbackComplete;
    test.cancelled = o.testCancelled;
    test.recordHost = o.recordHost;
    test.playbackHost = o.playbackHost;
    ReportInput input;
    input.test = &test;
    input.analysis = o.analysis.get();
    input.json = OutcomeJson(o, status);
    std::vector<SnapshotDevice> devices;
    if (o.record.tested)
        devices.push_back(ReportDevice("capture", o.parameters.inputDeviceName, o.recordHost));
    if (o.playbackRan)
        devices.push_back(ReportDevice("playback", o.parameters.outputDeviceName, o.playbackHost));
    return WriteReportIfAsked(options, input, devices, status, err);
}

} // namespace

int ExitStatusOf(const CCliOutcome& outcome)
{
    if (outcome.deviceLost)
        return ExitDeviceFailed;
    if (outcome.testCancelled || outcome.interrupted)
        return ExitCancelled;
    if (outcome.recordComplete && outcome.playbackComplete && !outcome.saveFailed)
        return outcome.analysis && outcome.analysis->Failed() ? ExitSignalCheckFailed : ExitCompleted;
    return ExitDeviceFailed;
}

std::string ReportForOutput(const std::string& report, bool crlf)
{
    if (crlf)
        return report;
    std::string text;
    text.reserve(report.size());
    for (std::size_t i = 0; i < report.size(); ++i)
        if (!(report[i] == '\r' && i + 1 < report.size() && report[i + 1] == '\n'))
            text += report[i];
    return text;
}

int RunCli(const std::vector<std::string>& arguments, const CCliStreams& streams, CInterrupts& interrupts)
{
    CCliParseResult parsed = ParseCommandLine(arguments);
    if (!parsed.ok) {
        // --json anywhere asks for a document, even after the refused flag.
        bool json = false;
        for (const std::string& argument : arguments)
            json = json || argument == "--json";
        return UsageError(streams, json, parsed.error);
    }
    const CCliOptions& options = parsed.options;

    switch (options.action) {
    case CliAction::Help:
        std::fputs(UsageText().c_str(), streams.out);
        return ExitCompleted;
    case CliAction::Version:
        std::fprintf(streams.out, "tallowmere-cli %s\n", TALLOWMERE_VERSION);
        return ExitCompleted;
    case CliAction::List:
    case CliAction::Run:
        break;
    }
    if (options.loopback.wanted && options.action == CliAction::Run)
        return RunLoopback(options, streams, interrupts);
    if (options.formats.wanted && options.action == CliAction::Run)
        return RunFormats(options, streams, interrupts);
    if (options.soak.wanted && options.action == CliAction::Run)
        return RunSoak(options, streams, interrupts);
    if (options.analysis.file && options.action == CliAction::Run) {
        std::optional<int> validBits;
        if (options.validBits)
            validBits = std::stoi(*options.validBits); // a count the parser checked
        CExplainingServices services(streams.err);
        CScopedServices servicesScope(services);
        auto report = [&](const CAnalysisOutcome& outcome, const std::string& json, int status) {
            ReportInput input;
            input.analysis = &outcome;
            input.json = json;
            return WriteReportIfAsked(options, input, {}, status, streams.err);
        };
        return RunAnalyzeFile(options.analysis, validBits, options.json, options.crlf, streams.out, streams.err,
                              report);
    }

    std::unique_ptr<CWaveApi> waveApi = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi waveApiScope(*waveApi);
    if (options.action == CliAction::List) {
        std::fputs(FormatDeviceList(*waveApi).c_str(), streams.out);
        return ExitCompleted;
    }

    // The dialog repairs a duration out of range without a word; a script
    // is told.
    if (options.duration) {
        std::string repaired = DurationRepairLine(*options.duration, EffectiveDurationSeconds(options.duration));
        if (!repaired.empty())
            std::fprintf(streams.err, "%s\n", repaired.c_str());
    }
    // A PCM name the lists leave out ("plughw:1,0") is listed before the
    // dialog reads them.
    if (options.inputDevice)
        ListHostDeviceNamed(*waveApi, WaveDirection::Input, *options.inputDevice);
    if (options.outputDevice)
        ListHostDeviceNamed(*waveApi, WaveDirection::Output, *options.outputDevice);
    CCliOutcome outcome;
    std::string usageError;
    RunDialogs(options, streams, interrupts, outcome, usageError);
    if (!usageError.empty())
        return UsageError(streams, options.json, usageError);
    if (!outcome.ran) {
        std::fprintf(streams.err, "tallowmere: the test could not be started\n");
        return ExitDeviceFailed;
    }
    if (!outcome.hadRecordBuffer)
        std::fprintf(streams.err, "%s\n", NoRecordBufferLine(outcome.parameters).c_str());
    PrintHostDetail(streams.err, outcome);
    if (options.savePath && !outcome.resultsShown)
        std::fprintf(streams.err, "tallowmere: no results were shown, so nothing was saved to %s\n",
                     options.savePath->c_str());
    int status = ExitStatusOf(outcome);
    if (options.reportPath)
        status = WriteTestReport(options, outcome, status, streams.err);
    if (options.json) {
        std::string text = OutcomeJson(outcome, status);
        std::fwrite(text.data(), 1, text.size(), streams.out);
    } else if (!outcome.resultsShown) {
        // Declining the tone ends the run without results; a terminal has no
        // other place to show why the recording failed.
        std::string text = ReportForOutput(outcome.report, options.crlf);
        std::fwrite(text.data(), 1, text.size(), streams.out);
    }
    if (!options.json && outcome.analysis) {
        // A section of its own after the report, whose bytes stay as they are.
        const std::string lineEnd = options.crlf ? "\r\n" : "\n";
        std::string text = lineEnd + AnalysisSection(*outcome.analysis, lineEnd);
        std::fwrite(text.data(), 1, text.size(), streams.out);
    }
    std::fflush(streams.out);
    return status;
}

int UsageError(const CCliStreams& streams, bool json, const std::string& error)
{
    std::fprintf(streams.err, "tallowmere: %s\n", error.c_str());
    if (json) {
        CJsonWriter writer;
        writer.BeginObject();
        writer.Member("program", "tallowmere-cli");
        writer.Member("version", TALLOWMERE_VERSION);
        writer.Member("error", error);
        writer.Member("exitStatus", ExitUsage);
        writer.EndObject();
        std::string text = writer.Text();
        std::fwrite(text.data(), 1, text.size(), streams.out);
        std::fflush(streams.out);
    }
    return ExitUsage;
}
