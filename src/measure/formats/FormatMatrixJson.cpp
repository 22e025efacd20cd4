// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/formats/FormatMatrixJson.h"

#include "measure/HostJson.h"
#include "measure/formats/FormatMatrixText.h"
#include "sequence/Report.h"

namespace {

void Key(CJsonWriter& json, const FormatKey& key)
{
    json.Member("sampleRate", static_cast<long long>(key.sampleRate));
    json.Member("channels", static_cast<int>(key.channels));
    json.Member("bits", static_cast<int>(key.width.bits));
    json.Member("validBits", static_cast<int>(key.width.validBits));
    json.Member("api", key.extended ? "extended" : "standard");
}

void Acceptance(CJsonWriter& json, const FormatAcceptance& a)
{
    json.Member("accepted", a.Accepted());
    json.Member("code", static_cast<int>(a.code));
    json.Member("codeText", ResultCodeText(a.code));
    if (a.Accepted())
        return;
    json.Key("reason");
    if (a.byRules) {
        json.String("a plain PCM description states no valid bits apart from its container");
    } else if (!a.host.call.empty()) {
        json.String(a.host.call + ": " + a.host.text);
    } else {
        json.Null();
    }
    json.Key("host");
    if (a.byRules || a.host.call.empty()) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Member("call", a.host.call);
    json.Member("errno", a.host.error);
    json.Member("text", a.host.text);
    json.EndObject();
}

void Delivery(CJsonWriter& json, const FormatDelivery& d, WaveDirection direction, std::uint16_t validBits)
{
    json.Key("delivery");
    json.BeginObject();
    json.Member("delivered", d.Delivered(direction, validBits));
    json.Member("stepCode", static_cast<int>(d.stepCode));
    json.Member("done", d.done);
    json.Member("onTime", d.OnTime());
    json.Member("expectedMs", static_cast<long long>(d.expectedMs));
    json.Member("elapsedMs", static_cast<long long>(d.elapsedMs));
    if (direction == WaveDirection::Input) {
        json.Member("silent", d.silent);
        json.Member("bitsCarried", static_cast<int>(d.bitsCarried));
        json.Member("gaps", static_cast<long long>(d.gaps));
    }
    json.Member("xruns", static_cast<long long>(d.xruns));
    json.EndObject();
}

void Loop(CJsonWriter& json, const FormatLoopVerdict& v)
{
    json.Member("mark", FormatLoopMark(v));
    json.Member("runFailed", v.runFailed);
    json.Member("stepCode", static_cast<int>(v.stepCode));
    json.Member("heard", v.heard);
    json.Member("transparent", v.transparent);
    if (!v.heard)
        return;
    json.Member("lagFrames", static_cast<long long>(v.lagFrames));
    json.Key("gainDb");
    json.Real(v.gainDb, 3);
    json.Member("levelChanged", v.gain);
    json.Member("resampled", v.resampled);
    json.Member("truncated", v.truncated);
    json.Member("bitsCarried", static_cast<int>(v.bitsCarried));
    json.Member("noiseAdded", v.noise);
    json.Member("channelsSwapped", v.swapped);
}

} // namespace

void WriteFormatMatrixJson(CJsonWriter& json, const FormatMatrixResult& result)
{
    json.Member("level", FormatLevelName(result.level));
    json.Key("devices");
    json.BeginArray();
    for (const FormatDeviceMatrix& m : result.devices) {
        json.BeginObject();
        json.Member("direction", m.direction == WaveDirection::Input ? "input" : "output");
        json.Member("position", m.device);
        json.Member("name", m.name);
        WriteAudioEngineNote(json, m.name);
        json.Member("hostName", m.hostName);
        json.Key("cells");
        json.BeginArray();
        for (const FormatCell& cell : m.cells) {
            json.BeginObject();
            Key(json, cell.key);
            json.Member("mark", FormatCellMark(cell, m.direction, result.level));
            Acceptance(json, cell.accept);
            if (cell.delivery.run)
                Delivery(json, cell.delivery, m.direction, cell.key.width.validBits);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    if (result.level == FormatLevel::Transparent) {
        json.Key("loop");
        json.BeginArray();
        for (const FormatLoopCell& cell : result.loop) {
            json.BeginObject();
            Key(json, cell.key);
            Loop(json, cell.verdict);
            json.EndObject();
        }
        json.EndArray();
    }
    json.Member("cancelled", result.cancelled);
    json.Key("seconds");
    json.Real(result.elapsedMs / 1000.0, 3);
}
