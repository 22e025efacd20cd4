#include "cli/CliProgram.h"

#include <memory>

#include "audio/WaveApi.h"
#include "audio/backends/CompositeWaveApi.h"
#include "cli/DeviceList.h"
#include "cli/JsonWriter.h"
#include "cli/Keyboard.h"
#include "cli/StatusLine.h"
#include "cli/TerminalServices.h"
#include "cli/TerminalToolkit.h"
#include "ui/TesterApp.h"
#include "ui/TesterDlg.h"
#include "ui/Templates.h"

#ifndef TALLOWMERE_VERSION
#define TALLOWMERE_VERSION "unknown"
#endif

namespace {

// The transfer code as the report words it: a failed start words its own code.
std::uint16_t TransferCode(const DeviceTestResults& results)
{
    if (!results.startFailed)
        return results.queueResult;
    return results.startResult == ResultNotTested || results.startResult == 0 ? ResultUnspecifiedError
                                                                              : results.startResult;
}

void WriteDevice(CJsonWriter& json, const char* key, std::int32_t index, const std::string& name,
                 const DeviceTestResults& results, bool tested, bool complete, bool cancelled)
{
    json.Key(key);
    json.BeginObject();
    json.Member("index", index);
    json.Member("name", name);
    json.Member("tested", tested);
    json.Key("open");
    json.BeginObject();
    json.Member("code", results.openResult);
    json.Member("text", ResultCodeText(results.openResult));
    json.EndObject();
    std::uint16_t transfer = TransferCode(results);
    json.Key("transfer");
    json.BeginObject();
    json.Member("code", transfer);
    json.Member("text", cancelled ? (std::string(key) == "input" ? "Recording cancelled" : "Playback cancelled")
                                  : ResultCodeText(transfer));
    json.EndObject();
    json.Member("complete", complete);
    json.Member("cancelled", cancelled);
    json.EndObject();
}

// Which device test a run's last cancel belongs to.
bool RecordCancelled(const CCliOutcome& o)
{
    return o.testCancelled && !o.playbackRan;
}

// The main dialog's driver: the flags typed into the controls as a user
// would, then "Run Test...", then the dialog is closed.
class CMainDialogDriver {
public:
    CMainDialogDriver(const CCliOptions& options, CTerminalServices& services, CCliOutcome& outcome)
        : options(options), services(services), outcome(outcome)
    {
    }

    void operator()(CDialog& dialog, CTerminalWindow& window)
    {
        if (!Fill(window))
            return;
        services.ArmTimeout(EffectiveTimeoutMilliseconds(options));
        outcome.ran = CTerminalToolkit::Press(dialog, window, IdRunTest);
        services.ArmTimeout(0);
        if (auto* tester = dynamic_cast<CTesterDlg*>(&dialog); tester && outcome.ran)
            Collect(*tester);
    }

    std::string usageError;

private:
    bool Fill(CTerminalWindow& window)
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
        return SelectDevice(window, IdInputDevice, "--input", options.inputDevice) &&
               SelectDevice(window, IdOutputDevice, "--output", options.outputDevice);
    }

    // A list position, or a name: exact first, then ignoring case.
    bool SelectDevice(CTerminalWindow& window, int id, const char* flag, const std::optional<std::string>& wanted)
    {
        if (!wanted)
            return true;
        const std::vector<std::string>& items = window.ComboItems(id);
        const bool digits = wanted->find_first_not_of("0123456789") == std::string::npos;
        if (digits) {
            if (wanted->size() <= 5 && std::stoi(*wanted) < static_cast<int>(items.size())) {
                window.ComboSetCurSel(id, std::stoi(*wanted));
                return true;
            }
        }
        for (int pass = 0; pass < 2; ++pass)
            for (std::size_t i = 0; i < items.size(); ++i)
                if (pass == 0 ? items[i] == *wanted : SameIgnoringCase(items[i], *wanted)) {
                    window.ComboSetCurSel(id, static_cast<int>(i));
                    return true;
                }
        const char* kind = id == IdInputDevice ? "input" : "output";
        usageError = std::string(flag) + ": no " + kind + " device " + (digits ? "at position " : "named ") + "'" +
                     *wanted + "' (" + std::to_string(items.size()) + " listed; see --list)";
        return false;
    }

    static bool SameIgnoringCase(const std::string& a, const std::string& b)
    {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
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
        outcome.playbackRan = tester.PlaybackResults().tested;
        outcome.toneAsked = services.ToneAsked();
        outcome.tonePlayed = outcome.toneAsked && outcome.playbackRan;
        outcome.timedOut = services.TimedOut();
    }

    const CCliOptions& options;
    CTerminalServices& services;
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
        if (options.savePath) {
            int messagesBefore = services.MessageCount();
            services.SetSavePath(*options.savePath);
            CTerminalToolkit::Press(dialog, window, IdSaveRecording);
            services.SetSavePath(std::nullopt);
            auto* tester = dynamic_cast<CTesterDlg*>(dialog.Parent());
            // The save shows its own failures; without a recording it writes nothing.
            outcome.saveFailed = services.MessageCount() != messagesBefore || !tester || !tester->HasRecordBuffer();
            if (!outcome.saveFailed)
                outcome.savedPath = options.savePath;
            else
                statusLine.PrintLine("tallowmere: the recording was not saved to " + *options.savePath);
        }
    }

private:
    const CCliOptions& options;
    const CCliStreams& streams;
    CStatusLine& statusLine;
    CTerminalServices& services;
    CCliOutcome& outcome;
};

int Usage(const CCliStreams& streams, const std::string& error)
{
    std::fprintf(streams.err, "tallowmere: %s\n", error.c_str());
    return ExitUsage;
}

} // namespace

int ExitStatusOf(const CCliOutcome& outcome)
{
    if (outcome.testCancelled || outcome.interrupted)
        return ExitCancelled;
    if (outcome.recordComplete && outcome.playbackComplete && !outcome.saveFailed)
        return ExitCompleted;
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

std::string OutcomeJson(const CCliOutcome& o, int exitStatus)
{
    const TestParameters& p = o.parameters;
    CJsonWriter json;
    json.BeginObject();
    json.Member("program", "tallowmere-cli");
    json.Member("version", TALLOWMERE_VERSION);
    json.Key("parameters");
    json.BeginObject();
    json.Member("channels", p.channels);
    json.Member("sampleRate", p.sampleRate);
    json.Member("precisionBits", p.precisionBits);
    json.Member("bytesPerSample", p.bytesPerSample);
    json.Member("validBits", p.validBits);
    json.Key("apiMode");
    if (p.apiMode == 0 || p.apiMode == 1)
        json.String(p.apiMode == 0 ? "standard" : "extended");
    else
        json.Null();
    json.Member("durationSeconds", p.durationSeconds);
    json.Member("frameCount", static_cast<long long>(p.frameCount));
    json.Member("bufferBytes", static_cast<long long>(p.bufferBytes));
    json.EndObject();
    WriteDevice(json, "input", p.inputDeviceIndex, p.inputDeviceName, o.record, o.record.tested, o.recordComplete,
                RecordCancelled(o));
    WriteDevice(json, "output", p.outputDeviceIndex, p.outputDeviceName, o.playback, o.playbackRan,
                o.playbackComplete, o.testCancelled && o.playbackRan);
    json.Member("toneAsked", o.toneAsked);
    json.Member("tonePlayed", o.tonePlayed);
    json.Member("timedOut", o.timedOut);
    json.Member("interrupted", o.interrupted);
    json.Member("resultsShown", o.resultsShown);
    json.Key("savedTo");
    if (o.savedPath)
        json.String(*o.savedPath);
    else
        json.Null();
    json.Member("report", o.report);
    json.Member("exitStatus", exitStatus);
    json.EndObject();
    return json.Text();
}

int RunCli(const std::vector<std::string>& arguments, const CCliStreams& streams, CInterrupts& interrupts)
{
    CCliParseResult parsed = ParseCommandLine(arguments);
    if (!parsed.ok)
        return Usage(streams, parsed.error);
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

    std::unique_ptr<CWaveApi> waveApi = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi waveApiScope(*waveApi);
    if (options.action == CliAction::List) {
        std::fputs(FormatDeviceList(*waveApi).c_str(), streams.out);
        return ExitCompleted;
    }

    CStatusLine statusLine(streams.err, streams.errIsTerminal);
    CKeyboard keyboard(streams.keyboardFd, streams.keyboardIsTerminal);
    CTerminalServices services(statusLine, keyboard, interrupts);
    CScopedServices servicesScope(services);
    const bool interactive = streams.keyboardIsTerminal && streams.errIsTerminal;
    services.SetToneAnswer(options.tone.value_or(interactive ? ToneAnswer::Ask : ToneAnswer::No));

    CCliOutcome outcome;
    CTerminalToolkit toolkit(&statusLine);
    CMainDialogDriver mainDriver(options, services, outcome);
    toolkit.SetDriver(MainDialogTemplateId, std::ref(mainDriver));
    toolkit.SetDriver(ResultsDialogTemplateId, CResultsDialogDriver(options, streams, statusLine, services, outcome));
    CScopedDialogToolkit toolkitScope(toolkit);

    CTesterApp app;
    app.InitInstance();
    statusLine.Clear();
    outcome.interrupted = services.Interrupted();

    if (!mainDriver.usageError.empty())
        return Usage(streams, mainDriver.usageError);
    if (!outcome.ran) {
        std::fprintf(streams.err, "tallowmere: the test could not be started\n");
        return ExitDeviceFailed;
    }
    if (options.savePath && !outcome.resultsShown)
        std::fprintf(streams.err, "tallowmere: no results were shown, so nothing was saved to %s\n",
                     options.savePath->c_str());
    int status = ExitStatusOf(outcome);
    if (options.json) {
        std::string text = OutcomeJson(outcome, status);
        std::fwrite(text.data(), 1, text.size(), streams.out);
    } else if (!outcome.resultsShown) {
        // Declining the tone ends the run without results; a terminal has no
        // other place to show why the recording failed.
        std::string text = ReportForOutput(outcome.report, options.crlf);
        std::fwrite(text.data(), 1, text.size(), streams.out);
    }
    std::fflush(streams.out);
    return status;
}
