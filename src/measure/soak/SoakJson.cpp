// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/soak/SoakJson.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "measure/JsonWriter.h"
#include "measure/soak/SoakSession.h"

namespace {

const char* Direction(WaveDirection d)
{
    return d == WaveDirection::Input ? "input" : "output";
}

const char* OutcomeName(SoakOutcome outcome)
{
    switch (outcome) {
    case SoakOutcome::Completed: return "completed";
    case SoakOutcome::Cancelled: return "cancelled";
    case SoakOutcome::DeviceFailed: return "device failed";
    case SoakOutcome::Refused: return "refused";
    }
    return "ended";
}

std::string IsoTime(std::int64_t wallMs)
{
    const std::time_t seconds = static_cast<std::time_t>(wallMs / 1000);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>((wallMs % 1000 + 1000) % 1000));
    return text;
}

// A number for a one-line object: up to `decimals` decimals, null when not finite.
std::string Number(double value, int decimals = 6)
{
    if (!std::isfinite(value))
        return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.')
            s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

std::string Member(const char* name, const std::string& value)
{
    return std::string(", \"") + name + "\": " + value;
}

void Estimate(CJsonWriter& json, const char* key, const SoakEstimate& e, const char* unit)
{
    json.Key(key);
    if (!e.valid) {
        json.Null();
        return;
    }
    json.BeginObject();
    json.Key(unit);
    json.Real(e.value, 4);
    json.Key("uncertainty");
    json.Real(e.uncertainty, 4);
    json.EndObject();
}

void Clock(CJsonWriter& json, const char* key, const SoakDeviceClock& c, int nominal)
{
    json.Key(key);
    json.BeginObject();
    json.Member("frames", static_cast<long long>(c.frames));
    json.Member("xruns", static_cast<long long>(c.xruns));
    json.Member("framesLost", static_cast<long long>(c.framesLost));
    Estimate(json, "rate", c.rateHz, "hz");
    json.Key("ratePpm");
    if (c.rateHz.valid)
        json.Real(c.RatePpm(nominal), 3);
    else
        json.Null();
    json.EndObject();
}

void Series(CJsonWriter& json, const char* key, const CSoakSeries& series)
{
    json.Key(key);
    json.BeginArray(); // [seconds, min, max] per bucket
    for (const CSoakSeries::Point& p : series.Points()) {
        json.BeginArray();
        json.Real(p.seconds, 3);
        json.Real(p.min, 6);
        json.Real(p.max, 6);
        json.EndArray();
    }
    json.EndArray();
}

void Event(CJsonWriter& json, const SoakEvent& e)
{
    json.BeginObject();
    json.Key("t");
    json.Real(e.seconds, 6);
    json.Member("event", SoakEventKindName(e.kind));
    json.Member("direction", Direction(e.direction));
    json.Member("frame", static_cast<long long>(e.frame));
    json.Member("frames", static_cast<long long>(e.frames));
    if (e.kind == SoakEventKind::Jump || e.kind == SoakEventKind::Gap) {
        json.Key("shift");
        json.Real(e.shift, 3);
        json.Member("shiftExact", e.shiftExact);
    }
    if (e.kind == SoakEventKind::LevelStep) {
        json.Key("levelDb");
        json.Real(e.levelDb, 3);
    }
    if (e.explained)
        json.Member("explainedByXrun", true);
    if (e.kind == SoakEventKind::DeviceFailed)
        json.Member("code", static_cast<int>(e.code));
    if (!e.detail.empty())
        json.Member("detail", e.detail);
    json.EndObject();
}

} // namespace

std::string SoakEventJsonLine(const SoakEvent& e)
{
    std::string line = "{\"t\": " + Number(e.seconds) + Member("wall", JsonQuote(IsoTime(e.wallMs))) +
                       Member("event", JsonQuote(SoakEventKindName(e.kind))) +
                       Member("direction", JsonQuote(Direction(e.direction))) +
                       Member("frame", std::to_string(e.frame)) + Member("frames", std::to_string(e.frames));
    if (e.kind == SoakEventKind::Jump || e.kind == SoakEventKind::Gap)
        line += Member("shift", Number(e.shift, 3)) + Member("shiftExact", e.shiftExact ? "true" : "false");
    if (e.kind == SoakEventKind::LevelStep)
        line += Member("levelDb", Number(e.levelDb, 3));
    if (e.explained)
        line += Member("explainedByXrun", "true");
    if (e.kind == SoakEventKind::DeviceFailed)
        line += Member("code", std::to_string(e.code));
    if (!e.detail.empty())
        line += Member("detail", JsonQuote(e.detail));
    return line + "}";
}

std::string SoakStartJsonLine(const SoakRun& run)
{
    const SoakFormat& f = run.format;
    std::string line = "{\"t\": 0" + Member("wall", JsonQuote(IsoTime(run.startWallMs))) +
                       Member("event", "\"start\"") + Member("mode", JsonQuote(SoakModeName(run.mode)));
    if (run.mode != SoakMode::PlayOnly)
        line += Member("input", JsonQuote(run.input.name));
    if (run.mode != SoakMode::RecordOnly)
        line += Member("output", JsonQuote(run.output.name));
    line += Member("sampleRate", std::to_string(f.sampleRate)) + Member("channels", std::to_string(f.channels)) +
            Member("bits", std::to_string(f.bits)) + Member("validBits", std::to_string(f.validBits)) +
            Member("api", f.extended ? "\"extended\"" : "\"standard\"") +
            Member("durationSeconds", Number(run.durationSeconds, 3));
    return line + "}";
}

std::string SoakEndJsonLine(const SoakRun& run)
{
    const std::int64_t wall = run.startWallMs + static_cast<std::int64_t>(std::llround(run.elapsedSeconds * 1000));
    std::string line = "{\"t\": " + Number(run.elapsedSeconds, 3) + Member("wall", JsonQuote(IsoTime(wall))) +
                       Member("event", "\"end\"") + Member("outcome", JsonQuote(OutcomeName(run.outcome))) +
                       Member("events", std::to_string(run.eventCount)) + Member("xruns", std::to_string(run.xruns)) +
                       Member("glitches", std::to_string(run.glitches));
    line += Member("driftPpm", run.driftPpm.valid ? Number(run.driftPpm.value, 4) : "null");
    line += Member("latencyWanderMs", run.stimulusHeard ? Number(run.LatencyWanderMs(), 4) : "null");
    return line + "}";
}

std::string SoakJson(const SoakRun& run, int exitStatus)
{
    const SoakFormat& f = run.format;
    CJsonWriter json;
    json.BeginObject();
    json.Member("program", "tallowmere-cli");
    json.Key("soak");
    json.BeginObject();
    json.Member("mode", SoakModeName(run.mode));
    for (const auto& [used, key, device] : {std::tuple{run.mode != SoakMode::PlayOnly, "input", &run.input},
                                            std::tuple{run.mode != SoakMode::RecordOnly, "output", &run.output}}) {
        if (!used)
            continue;
        json.Key(key);
        json.BeginObject();
        json.Member("name", device->name);
        json.EndObject();
    }
    json.Key("format");
    json.BeginObject();
    json.Member("sampleRate", f.sampleRate);
    json.Member("channels", f.channels);
    json.Member("bits", f.bits);
    json.Member("validBits", f.validBits);
    json.Member("api", f.extended ? "extended" : "standard");
    json.EndObject();
    json.Key("durationSeconds");
    json.Real(run.durationSeconds, 3);
    json.Key("elapsedSeconds");
    json.Real(run.elapsedSeconds, 3);
    json.Member("startWall", IsoTime(run.startWallMs));
    json.Member("blockFrames", static_cast<long long>(run.blockFrames));
    json.Member("outcome", OutcomeName(run.outcome));
    json.Key("error");
    if (run.error.empty())
        json.Null();
    else
        json.String(run.error);
    json.Member("events", static_cast<long long>(run.eventCount));
    json.Member("xruns", static_cast<long long>(run.xruns));
    json.Member("glitches", static_cast<long long>(run.glitches));
    if (run.mode == SoakMode::FullDuplex) {
        json.Member("stimulusHeard", run.stimulusHeard);
        json.Key("latencyMs");
        if (run.stimulusHeard) {
            const double ms = 1000.0 / f.sampleRate;
            json.BeginObject();
            json.Key("now");
            json.Real(run.latencyFrames * ms, 4);
            json.Key("min");
            json.Real(run.latencyMinFrames * ms, 4);
            json.Key("max");
            json.Real(run.latencyMaxFrames * ms, 4);
            json.Key("wander");
            json.Real(run.LatencyWanderMs(), 4);
            json.EndObject();
        } else {
            json.Null();
        }
        Estimate(json, "drift", run.driftPpm, "ppm");
    }
    if (run.mode != SoakMode::PlayOnly)
        Clock(json, "inputClock", run.inputClock, f.sampleRate);
    if (run.mode != SoakMode::RecordOnly)
        Clock(json, "outputClock", run.outputClock, f.sampleRate);
    if (run.mode == SoakMode::RecordOnly) {
        json.Key("levelDbfs");
        if (run.levelSeen) {
            json.BeginObject();
            json.Key("min");
            json.Real(run.levelMinDbfs, 2);
            json.Key("max");
            json.Real(run.levelMaxDbfs, 2);
            json.EndObject();
        } else {
            json.Null();
        }
    }
    json.Key("eventList");
    json.BeginArray();
    for (const SoakEvent& e : run.events)
        Event(json, e);
    json.EndArray();
    json.Key("series");
    json.BeginObject();
    Series(json, "latencyMs", run.latencyMs);
    Series(json, "driftPpm", run.drift);
    Series(json, "levelDbfs", run.levelDbfs);
    json.EndObject();
    json.Key("checks");
    json.BeginObject();
    json.Member("passed", run.failedChecks.empty());
    json.Key("failed");
    json.BeginArray();
    for (const std::string& failed : run.failedChecks)
        json.String(failed);
    json.EndArray();
    json.EndObject();
    json.Key("plot");
    if (run.plotPath.empty())
        json.Null();
    else
        json.String(run.plotPath);
    if (!run.plotError.empty())
        json.Member("plotError", run.plotError);
    json.EndObject();
    json.Member("exitStatus", exitStatus);
    json.EndObject();
    return json.Text();
}
