// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/loopback/LoopbackJson.h"

#include <cmath>

#include "measure/HostJson.h"
#include "measure/JsonWriter.h"
#include "sequence/Report.h"

namespace {

constexpr const char* NotChosen = "not measured (--measure)";

// A figure, and when it does not exist, null with its reason beside it.
void Figure(CJsonWriter& json, const std::string& key, double value, int decimals, const char* reason)
{
    json.Key(key);
    json.Real(value, decimals);
    if (!std::isfinite(value))
        json.Member(key + "Reason", reason);
}

// A measure left out: null, and why.
void Absent(CJsonWriter& json, const std::string& key, const std::string& reason)
{
    json.Key(key);
    json.Null();
    json.Member(key + "Reason", reason);
}

void Device(CJsonWriter& json, const char* key, const CLoopbackDevice& d, const std::optional<WaveHostDetail>& host)
{
    json.Key(key);
    json.BeginObject();
    json.Member("position", d.position);
    json.Member("name", d.name);
    WriteAudioEngineNote(json, d.name);
    WriteHostJson(json, host);
    json.EndObject();
}

void Header(CJsonWriter& json, const CLoopbackRun& run)
{
    const CLoopbackFormat& f = run.format;
    Device(json, "input", run.input, run.inputHost);
    Device(json, "output", run.output, run.outputHost);
    json.Key("format");
    json.BeginObject();
    json.Member("sampleRate", f.sampleRate);
    json.Member("channels", f.channels);
    json.Member("bits", f.bits);
    json.Member("validBits", f.validBits);
    json.Member("api", f.extended ? "extended" : "standard");
    json.EndObject();
    json.Key("measures");
    json.BeginArray();
    json.String("latency");
    const MeasureSelection& s = run.selection;
    for (const auto& [chosen, name] : {std::pair{s.response, "response"}, std::pair{s.thd, "thd"},
                                       std::pair{s.noise, "noise"}, std::pair{s.crosstalk, "crosstalk"}})
        if (chosen)
            json.String(name);
    json.EndArray();
    json.Key("sequenceSeconds");
    json.Real(run.sequenceSeconds, 3);
    json.Key("captureSeconds");
    json.Real(run.captureSeconds, 3);
}

void Outcome(CJsonWriter& json, const CLoopbackRun& run)
{
    json.Member("outcome", LoopbackOutcomeName(run.outcome));
    json.Key("error");
    if (run.error.empty())
        json.Null();
    else
        json.String(run.error);
    json.Key("deviceFailure");
    if (run.outcome != LoopbackOutcome::DeviceFailed) {
        json.Null();
    } else {
        json.BeginObject();
        json.Member("direction", run.failedDirection == WaveDirection::Input ? "input" : "output");
        json.Member("step", run.failedStep);
        json.Member("code", static_cast<long long>(run.code));
        json.Member("text", ResultCodeText(run.code));
        json.EndObject();
    }
    json.Member("playbackUnfinished", run.playbackUnfinished);
}

void Response(CJsonWriter& json, const std::vector<FrequencyResponse>& response)
{
    json.Key("response");
    json.BeginArray();
    for (const FrequencyResponse& r : response) {
        json.BeginObject();
        Figure(json, "minDb", r.minDb, 3, "no response");
        Figure(json, "maxDb", r.maxDb, 3, "no response");
        Figure(json, "lowerMinus3Hz", r.lowerMinus3Hz, 1, "within 3 dB of 1 kHz down to the band's lower end");
        Figure(json, "upperMinus3Hz", r.upperMinus3Hz, 1, "within 3 dB of 1 kHz up to the band's upper end");
        json.Key("points");
        json.BeginArray();
        for (const ResponsePoint& p : r.points) {
            json.BeginArray();
            json.Real(p.hz, 2);
            json.Real(p.db, 3);
            json.EndArray();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
}

double At(const std::vector<double>& v, std::size_t i)
{
    return i < v.size() ? v[i] : NoFigure;
}

void Channels(CJsonWriter& json, const LoopbackMeasures& m, int channels)
{
    json.Key("channel");
    json.BeginArray();
    for (std::size_t c = 0; c < static_cast<std::size_t>(channels); ++c) {
        json.BeginObject();
        if (m.measured.thd) {
            const double thdn = At(m.thdnDb, c);
            const ToneFigures* tone = c < m.tone.channel.size() ? &m.tone.channel[c].tone : nullptr;
            Figure(json, "gainDb", At(m.gainDb, c), 3, "no 1 kHz tone came back");
            Figure(json, "thdnDb", thdn, 3, "no tone came back");
            Figure(json, "thdnPercent", 100 * std::pow(10, thdn / 20), 5, "no tone came back");
            Figure(json, "toneFrequencyHz", tone && tone->isTone ? tone->frequencyHz : NoFigure, 3,
                   "no tone came back");
        }
        if (m.measured.noise) {
            Figure(json, "dynamicRangeDb", At(m.dynamicRangeDb, c), 2, "the -60 dBFS tone is lost in the noise");
            Figure(json, "noiseFloorDbfs", At(m.noiseFloorDbfs, c), 2, "digital silence");
        }
        json.EndObject();
    }
    json.EndArray();
}

void Crosstalk(CJsonWriter& json, const CrosstalkResult& x)
{
    json.Key("crosstalk");
    json.BeginObject();
    json.Key("levelDb"); // [driven][heard], re the driven channel; null: no trace of the tone
    json.BeginArray();
    for (const auto& row : x.levelDb) {
        json.BeginArray();
        for (double db : row)
            json.Real(db, 2);
        json.EndArray();
    }
    json.EndArray();
    json.Key("cameBackIn");
    json.BeginArray();
    for (std::uint16_t c : x.mapping)
        json.Number(c + 1);
    json.EndArray();
    json.Member("swapped", x.swapped);
    json.EndObject();
}

// The first of them listed; dropoutCount counts them all.
void Dropouts(CJsonWriter& json, const std::vector<Dropout>& dropouts, std::uint64_t count)
{
    json.Member("dropoutCount", static_cast<long long>(count));
    json.Key("dropouts");
    json.BeginArray();
    for (const Dropout& d : dropouts) {
        json.BeginObject();
        json.Member("channel", static_cast<int>(d.channel) + 1);
        json.Member("kind", DropoutKindName(d.kind));
        json.Member("frame", static_cast<long long>(d.frame));
        json.Member("frames", static_cast<long long>(d.frames));
        json.Key("positionMs");
        json.Real(d.positionMs, 3);
        json.EndObject();
    }
    json.EndArray();
}

void Measures(CJsonWriter& json, const CLoopbackRun& run)
{
    const LoopbackMeasures& m = run.measures;
    if (run.outcome != LoopbackOutcome::Measured) {
        const std::string why = "not measured: " + (run.error.empty() ? LoopbackOutcomeName(run.outcome) : run.error);
        for (const char* key : {"latency", "response", "channel", "crosstalk", "dropouts"})
            Absent(json, key, why);
        return;
    }
    json.Key("latency");
    json.BeginObject();
    json.Member("frames", static_cast<long long>(m.latency.frames));
    json.Key("ms");
    json.Real(m.latency.ms, 4);
    json.Key("correlation");
    json.Real(m.latency.correlation, 4);
    json.Member("inverted", m.latency.inverted);
    json.EndObject();
    if (m.measured.response)
        Response(json, m.response);
    else
        Absent(json, "response", NotChosen);
    Channels(json, m, run.format.channels);
    if (m.measured.crosstalk)
        Crosstalk(json, m.crosstalk);
    else
        Absent(json, "crosstalk", run.format.channels < 2 ? "one channel" : NotChosen);
    if (m.dropoutsChecked)
        Dropouts(json, m.dropouts, m.dropoutCount);
    else
        Absent(json, "dropouts", "neither the sweep nor the tone was played (--measure)");
}

void Checks(CJsonWriter& json, const CLoopbackRun& run)
{
    json.Key("checks");
    json.BeginObject();
    json.Member("set", run.checksSet);
    json.Member("passed", run.failedChecks.empty());
    json.Key("failed");
    json.BeginArray();
    for (const std::string& f : run.failedChecks)
        json.String(f);
    json.EndArray();
    json.EndObject();
    json.Key("plot");
    if (run.plotPath)
        json.String(*run.plotPath);
    else
        json.Null();
    if (!run.plotError.empty())
        json.Member("plotError", run.plotError);
}

} // namespace

std::string LoopbackJson(const CLoopbackRun& run, int exitStatus)
{
    CJsonWriter json;
    json.BeginObject();
    json.Member("program", "tallowmere-cli");
    json.Key("loopback");
    json.BeginObject();
    Header(json, run);
    Outcome(json, run);
    Measures(json, run);
    Checks(json, run);
    json.EndObject();
    json.Member("exitStatus", exitStatus);
    json.EndObject();
    return json.Text();
}
