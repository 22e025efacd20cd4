// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/HostJson.h"

#include "audio/backends/CompositeWaveApi.h"
#include "measure/JsonWriter.h"

void WriteAudioEngineNote(CJsonWriter& json, const std::string& deviceName)
{
    if (const std::string note = AudioEngineAnswerNote(deviceName); !note.empty())
        json.Member("answers", note);
}

void WriteHostJson(CJsonWriter& json, const std::optional<WaveHostDetail>& host)
{
    json.Key("host");
    if (!host) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Member("device", host->deviceName);
    json.Member("call", host->call);
    json.Member("error", host->error);
    json.Member("text", host->text);
    json.Member("lost", host->lost);
    json.Member("xruns", static_cast<long long>(host->xruns));
    json.Member("framesLost", static_cast<long long>(host->framesLost));
    json.EndObject();
}
