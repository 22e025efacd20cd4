// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliJsonResult.h"

#include "cli/AnalysisCommand.h"
#include "measure/HostJson.h"
#include "measure/JsonWriter.h"

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

void WriteCode(CJsonWriter& json, const char* key, std::uint16_t code, const std::string& text)
{
    json.Key(key);
    json.BeginObject();
    json.Member("code", code);
    json.Member("text", text);
    json.EndObject();
}


struct DeviceView {
    const char* key;
    std::int32_t index;
    const std::string& name;
    const DeviceTestResults& results;
    bool tested;
    bool complete;
    bool cancelled;
    const char* cancelledText;
    const std::optional<WaveHostDetail>& host;
};

void WriteDevice(CJsonWriter& json, const DeviceView& device)
{
    json.Key(device.key);
    json.BeginObject();
    json.Member("index", device.index);
    json.Member("name", device.name);
    WriteAudioEngineNote(json, device.name);
    json.Member("tested", device.tested);
    WriteCode(json, "open", device.results.openResult, ResultCodeText(device.results.openResult));
    std::uint16_t transfer = TransferCode(device.results);
    WriteCode(json, "transfer", transfer, device.cancelled ? device.cancelledText : ResultCodeText(transfer));
    json.Member("complete", device.complete);
    json.Member("cancelled", device.cancelled);
    WriteHostJson(json, device.host);
    json.EndObject();
}

void WriteParameters(CJsonWriter& json, const TestParameters& p)
{
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
}

void OptionalString(CJsonWriter& json, const char* key, const std::optional<std::string>& value)
{
    json.Key(key);
    if (value)
        json.String(*value);
    else
        json.Null();
}

} // namespace

std::string OutcomeJson(const CCliOutcome& o, int exitStatus)
{
    const TestParameters& p = o.parameters;
    CJsonWriter json;
    json.BeginObject();
    json.Member("program", "tallowmere-cli");
    json.Member("version", TALLOWMERE_VERSION);
    WriteParameters(json, p);
    WriteDevice(json, {"input", p.inputDeviceIndex, p.inputDeviceName, o.record, o.record.tested, o.recordComplete,
                       RecordCancelled(o), "Recording cancelled", o.recordHost});
    WriteDevice(json, {"output", p.outputDeviceIndex, p.outputDeviceName, o.playback, o.playbackRan,
                       o.playbackComplete, PlaybackCancelled(o), "Playback cancelled", o.playbackHost});
    json.Member("toneAsked", o.toneAsked);
    json.Member("tonePlayed", o.tonePlayed);
    json.Member("timedOut", o.timedOut);
    json.Member("interrupted", o.interrupted);
    json.Member("resultsShown", o.resultsShown);
    OptionalString(json, "savedTo", o.savedPath);
    OptionalString(json, "saveError", o.saveFailed ? std::optional<std::string>(o.saveError) : std::nullopt);
    json.Member("report", o.report);
    if (o.analysis)
        WriteAnalysisJson(json, *o.analysis);
    json.Member("exitStatus", exitStatus);
    json.EndObject();
    return json.Text();
}
