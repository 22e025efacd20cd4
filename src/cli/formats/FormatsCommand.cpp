// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/formats/FormatsCommand.h"

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "audio/ListedDevices.h"
#include "audio/backends/CompositeWaveApi.h"
#include "cli/CliDiagnostics.h"
#include "cli/DeviceList.h"
#include "cli/Keyboard.h"
#include "cli/StatusLine.h"
#include "cli/ReportCommand.h"
#include "cli/TerminalServices.h"
#include "cli/formats/FormatsOptions.h"
#include "measure/JsonWriter.h"
#include "measure/formats/FormatMatrixJson.h"
#include "measure/formats/FormatMatrixText.h"

namespace {

constexpr std::uint32_t EscKey = 27;

bool Choose(CWaveApi& api, WaveDirection direction, const std::optional<std::string>& wanted, std::int32_t& id,
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
    id = ListedDeviceId(list, position);
    return true;
}

// One request per session: the chosen pair, or every listed device alone.
bool Requests(CWaveApi& api, const CCliOptions& options, std::vector<FormatMatrixRequest>& requests,
              std::string& error)
{
    FormatMatrixRequest base;
    base.level = options.formats.level;
    base.rates = FormatsRates(options);
    base.widths = FormatsWidths(options.formats);
    if (options.formats.allDevices) {
        for (const ListedDevice& device : ListWaveDevices(api, WaveDirection::Input)) {
            requests.push_back(base);
            requests.back().input = static_cast<std::int32_t>(device.id);
        }
        for (const ListedDevice& device : ListWaveDevices(api, WaveDirection::Output)) {
            requests.push_back(base);
            requests.back().output = static_cast<std::int32_t>(device.id);
        }
        return true;
    }
    requests.push_back(base);
    return Choose(api, WaveDirection::Input, options.inputDevice, requests.back().input, error) &&
           Choose(api, WaveDirection::Output, options.outputDevice, requests.back().output, error);
}

// Every session, with the terminal's keyboard, Ctrl-C and status line; stops
// after the first that was cancelled.
std::vector<FormatMatrixResult> TakeMatrices(CWaveApi& api, std::vector<FormatMatrixRequest>& requests,
                                             const CCliStreams& streams, CInterrupts& interrupts)
{
    CStatusLine statusLine(streams.err, streams.errIsTerminal);
    CKeyboard keyboard(streams.keyboardFd, streams.keyboardIsTerminal);
    CTerminalServices services(statusLine, keyboard, interrupts);
    CScopedServices servicesScope(services);
    std::vector<FormatMatrixResult> results;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const std::string prefix =
            "Format matrix" + (requests.size() > 1 ? " " + std::to_string(i + 1) + "/" + std::to_string(requests.size())
                                                   : std::string()) + "... (Esc cancels)";
        statusLine.SetStatus(prefix);
        requests[i].onProgress = [&](const FormatMatrixProgress& p) {
            auto key = services.PeekKey(nullptr);
            if (key && *key == EscKey)
                return false;
            statusLine.SetProgress(p.total == 0 ? 0 : static_cast<int>(100 * p.done / p.total));
            return true;
        };
        results.emplace_back();
        RunFormatMatrix(api, requests[i], results.back());
        if (results.back().cancelled)
            break;
    }
    statusLine.Clear();
    return results;
}

std::string Json(const std::vector<FormatMatrixResult>& results, const std::vector<std::string>& unmet, int status)
{
    CJsonWriter json;
    json.BeginObject();
    json.Member("status", status);
    json.Key("matrices");
    json.BeginArray();
    for (const FormatMatrixResult& result : results) {
        json.BeginObject();
        WriteFormatMatrixJson(json, result);
        json.EndObject();
    }
    json.EndArray();
    json.Key("unmetFormats");
    json.BeginArray();
    for (const std::string& text : unmet)
        json.String(text);
    json.EndArray();
    json.EndObject();
    return json.Text();
}

// Each device's note once, for those whose answers are not the card's.
void PrintAudioEngineNotes(const std::vector<FormatMatrixResult>& results, std::FILE* err)
{
    std::set<std::string> printed;
    for (const FormatMatrixResult& result : results)
        for (const FormatDeviceMatrix& m : result.devices) {
            const std::string note =
                AudioEngineNoteLine(m.direction == WaveDirection::Input ? "capture" : "playback", m.name);
            if (!note.empty() && printed.insert(note).second)
                std::fprintf(err, "%s\n", note.c_str());
        }
}

} // namespace

int RunFormats(const CCliOptions& options, const CCliStreams& streams, CInterrupts& interrupts)
{
    std::unique_ptr<CWaveApi> api = CreateWaveApi(AudioBackEndFromEnvironment());
    CScopedWaveApi apiScope(*api);
    std::vector<FormatMatrixRequest> requests;
    std::string error;
    if (!Requests(*api, options, requests, error))
        return UsageError(streams, options.json, error);
    std::vector<FormatMatrixResult> results = TakeMatrices(*api, requests, streams, interrupts);

    bool cancelled = false, failed = false;
    for (const FormatMatrixResult& result : results) {
        cancelled = cancelled || result.cancelled;
        failed = failed || result.DeviceFailed();
    }
    std::vector<std::string> unmet;
    for (const ExpectedFormat& e : options.formats.expected)
        for (const FormatMatrixResult& result : results)
            if (!MeetsExpectedFormat(result, e)) {
                unmet.push_back(e.text);
                break;
            }
    int status = cancelled ? ExitCancelled : failed ? ExitDeviceFailed : !unmet.empty() ? ExitFormatsUnmet
                                                                                                : ExitCompleted;
    PrintAudioEngineNotes(results, streams.err);
    for (const std::string& text : unmet)
        std::fprintf(streams.err, "tallowmere: formats: %s is not met at the %s level\n", text.c_str(),
                     FormatLevelName(options.formats.level));
    if (options.reportPath) {
        ReportInput input;
        input.formats = &results;
        input.unmetFormats = unmet;
        input.json = Json(results, unmet, status);
        std::vector<SnapshotDevice> devices;
        for (const FormatMatrixResult& result : results)
            for (const FormatDeviceMatrix& m : result.devices)
                devices.push_back({m.direction == WaveDirection::Input ? "capture" : "playback", m.name, m.hostName});
        status = WriteReportIfAsked(options, input, devices, status, streams.err);
    }
    std::string text;
    if (options.json) {
        text = Json(results, unmet, status);
    } else {
        for (std::size_t i = 0; i < results.size(); ++i)
            text += (i > 0 ? "\n" : "") + FormatMatrixText(results[i]);
    }
    std::fwrite(text.data(), 1, text.size(), streams.out);
    std::fflush(streams.out);
    return status;
}
