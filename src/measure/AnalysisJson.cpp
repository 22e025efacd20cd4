// SPDX-License-Identifier: GPL-3.0-or-later
// The "analysis" member of a JSON document: every figure of the
// analysis, null where a figure does not exist; and a file's "file" member.
#include "measure/AnalysisOutcome.h"

#include <cmath>
#include <string>
#include <utility>

#include "measure/JsonWriter.h"

namespace {

void Count(CJsonWriter& json, const char* key, std::uint64_t value)
{
    json.Member(key, static_cast<long long>(value));
}

void WriteTone(CJsonWriter& json, const ToneFigures& t)
{
    json.Key("tone");
    json.BeginObject();
    json.Member("isTone", t.isTone);
    json.Key("frequencyHz");
    json.Real(t.frequencyHz, 3);
    json.Key("levelDbfs");
    json.Real(t.levelDbfs, 3);
    json.Key("thdnDb");
    json.Real(t.thdnDb, 2);
    json.Key("snrDb");
    json.Real(t.snrDb, 2);
    json.Key("noiseFloorDbfs");
    json.Real(t.noiseFloorDbfs, 2);
    json.EndObject();
}

void WriteChannel(CJsonWriter& json, const ChannelAnalysis& c)
{
    json.BeginObject();
    json.Member("minSample", c.minSample);
    json.Member("maxSample", c.maxSample);
    json.Member("peakSample", c.peakSample);
    // Levels of digital silence at the centre do not exist: null, and why.
    for (auto [key, value] : {std::pair{"peakDbfs", c.peakDbfs}, std::pair{"rmsDbfs", c.rmsDbfs}}) {
        json.Key(key);
        json.Real(value, 3);
        if (std::isnan(value))
            json.Member(std::string(key) + "Reason", "digital silence: every sample at the centre");
    }
    json.Key("dcOffset");
    json.Real(c.dcOffset, 6);
    json.Key("dcOffsetFraction");
    json.Real(c.dcOffsetFraction, 9);
    json.Key("crestFactorDb");
    json.Real(c.crestFactorDb, 3);
    Count(json, "clippedSamples", c.clippedSamples);
    Count(json, "clipRuns", c.clipRuns);
    Count(json, "longestClipRun", c.longestClipRun);
    json.Member("silent", c.silent);
    // How quiet the signal is, when it is silence.
    json.Key("silence");
    if (c.silent)
        json.String("digital silence");
    else if (c.ditherLevel)
        json.String("silence at dither level");
    else
        json.Null();
    Count(json, "leadingSilenceFrames", c.leadingSilenceFrames);
    Count(json, "trailingSilenceFrames", c.trailingSilenceFrames);
    json.Member("validBitsCarried", c.validBitsCarried);
    WriteTone(json, c.tone);
    Count(json, "dropouts", c.dropoutCount);
    json.EndObject();
}

void WriteDropouts(CJsonWriter& json, const SignalAnalysis& a)
{
    json.Key("dropouts");
    json.BeginArray();
    for (const Dropout& d : a.dropouts) {
        json.BeginObject();
        json.Member("channel", static_cast<int>(d.channel) + 1);
        json.Member("kind", DropoutKindName(d.kind));
        Count(json, "frame", d.frame);
        Count(json, "frames", d.frames);
        json.Key("positionMs");
        json.Real(d.positionMs, 3);
        json.EndObject();
    }
    json.EndArray();
}

} // namespace

void WriteAnalysisJson(CJsonWriter& json, const CAnalysisOutcome& o)
{
    const SignalAnalysis& a = o.analysis;
    json.Key("analysis");
    json.BeginObject();
    json.Member("of", o.subject);
    json.Member("ok", a.ok);
    json.Key("error");
    if (a.ok)
        json.Null();
    else
        json.String(a.error);
    if (a.ok) {
        Count(json, "frames", a.frames);
        json.Key("durationSeconds");
        json.Real(a.durationSeconds, 6);
        json.Member("sampleRate", a.sampleRate);
        json.Member("channels", a.channels);
        json.Member("containerBits", a.containerBits);
        json.Member("requestedValidBits", a.requestedValidBits);
        json.Member("validBitsCarried", a.validBitsCarried);
        json.Member("validBitsMismatch", a.validBitsMismatch);
        json.Member("channelRelation", ChannelRelationName(a.relation));
        json.Key("channel");
        json.BeginArray();
        for (const ChannelAnalysis& c : a.channel)
            WriteChannel(json, c);
        json.EndArray();
        Count(json, "dropoutCount", a.dropoutCount);
        WriteDropouts(json, a);
    }
    json.Key("checks");
    json.BeginObject();
    json.Member("set", o.checksSet);
    json.Member("passed", o.failedChecks.empty());
    json.Key("failed");
    json.BeginArray();
    for (const std::string& f : o.failedChecks)
        json.String(f);
    json.EndArray();
    json.EndObject();
    json.Key("plot");
    if (o.plotPath)
        json.String(*o.plotPath);
    else
        json.Null();
    if (!o.plotError.empty())
        json.Member("plotError", o.plotError);
    json.EndObject();
}

void WriteFileJson(CJsonWriter& json, const CAnalysisOutcome& o)
{
    json.Key("file");
    if (!o.file) {
        json.Null();
        return;
    }
    const WaveSampleLayout& l = o.file->layout;
    json.BeginObject();
    json.Member("sampleType", l.type == WaveSampleType::Float ? "float" : "integer");
    json.Member("sampleBits", l.ContainerBits());
    json.Member("validBits", static_cast<int>(l.validBits));
    json.Member("extensible", l.extensible);
    json.Member("channels", static_cast<int>(l.channels));
    json.Member("sampleRate", static_cast<long long>(l.sampleRate));
    Count(json, "statedFrames", o.file->statedFrames);
    Count(json, "framesMissing", o.file->framesMissing);
    json.Key("warnings");
    json.BeginArray();
    for (const std::string& w : o.file->warnings)
        json.String(w);
    json.EndArray();
    json.EndObject();
}
