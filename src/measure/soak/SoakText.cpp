// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/soak/SoakText.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "measure/soak/SoakSession.h"

namespace {

std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Clock(double seconds)
{
    const auto whole = static_cast<long long>(seconds);
    if (whole >= 3600)
        return Format("%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return Format("%lld:%02lld", whole / 60, whole % 60);
}

const char* Direction(WaveDirection d)
{
    return d == WaveDirection::Input ? "input" : "output";
}

const char* OutcomeWords(SoakOutcome outcome)
{
    switch (outcome) {
    case SoakOutcome::Completed: return "completed";
    case SoakOutcome::Cancelled: return "cancelled";
    case SoakOutcome::DeviceFailed: return "device failed";
    case SoakOutcome::Refused: return "refused";
    }
    return "ended";
}

std::string Rate(const SoakDeviceClock& clock, int nominal)
{
    if (!clock.rateHz.valid)
        return "not measured";
    return Format("%.3f Hz (%+.2f ppm +- %.2f) against the system clock, %llu frames", clock.rateHz.value,
                  clock.RatePpm(nominal), clock.rateHz.uncertainty / nominal * 1e6,
                  static_cast<unsigned long long>(clock.frames));
}

std::string Counts(const SoakRun& run)
{
    return Format("%llu event%s (%llu xrun%s, %llu glitch%s)", static_cast<unsigned long long>(run.eventCount),
                  run.eventCount == 1 ? "" : "s", static_cast<unsigned long long>(run.xruns),
                  run.xruns == 1 ? "" : "s", static_cast<unsigned long long>(run.glitches),
                  run.glitches == 1 ? "" : "es");
}

} // namespace

std::string SoakEventLine(const SoakEvent& e)
{
    std::string line = Format("%12.6f s  %-13s  %-6s  ", e.seconds, SoakEventKindName(e.kind), Direction(e.direction));
    switch (e.kind) {
    case SoakEventKind::Xrun:
        line += Format("%llu frames lost", static_cast<unsigned long long>(e.frames));
        break;
    case SoakEventKind::Starved:
        line += "every slot was back before one was queued again";
        break;
    case SoakEventKind::Jump:
    case SoakEventKind::Gap:
        line += Format("at frame %llu, %llu frames, latency %+.2f frames%s", static_cast<unsigned long long>(e.frame),
                       static_cast<unsigned long long>(e.frames), e.shift, e.shiftExact ? "" : " (modulo the tone's period)");
        break;
    case SoakEventKind::LevelStep:
        line += Format("at frame %llu, %+.2f dB", static_cast<unsigned long long>(e.frame), e.levelDb);
        break;
    case SoakEventKind::DeviceLost:
    case SoakEventKind::DeviceFailed:
        line += e.detail.empty() ? std::string("-") : e.detail;
        if (e.kind == SoakEventKind::DeviceFailed)
            line += Format(", code %u", static_cast<unsigned>(e.code));
        break;
    default:
        line += Format("at frame %llu, %llu frames", static_cast<unsigned long long>(e.frame),
                       static_cast<unsigned long long>(e.frames));
        break;
    }
    if (e.explained)
        line += " (the xrun's)";
    if (!e.detail.empty() && e.kind == SoakEventKind::Xrun)
        line += " (" + e.detail + ")";
    return line;
}

std::string SoakStatus(const SoakRun& run)
{
    std::string text = Clock(run.elapsedSeconds) + " elapsed, " + Counts(run);
    if (run.mode == SoakMode::FullDuplex)
        text += run.driftPpm.valid ? Format(", drift %+.2f ppm", run.driftPpm.value)
                                   : std::string(run.stimulusHeard ? ", drift not yet known" : ", stimulus not heard");
    else if (run.mode == SoakMode::RecordOnly && run.levelSeen)
        text += Format(", level %.1f to %.1f dBFS", run.levelMinDbfs, run.levelMaxDbfs);
    return text + " (Esc ends)";
}

std::string SoakSummary(const SoakRun& run, const char* nl)
{
    const SoakFormat& f = run.format;
    std::string out = Format("Soak:        %s, %.1f s", SoakModeName(run.mode), run.elapsedSeconds);
    out += run.durationSeconds > 0 ? Format(" of %g s", run.durationSeconds) : std::string(" (until ended)");
    out += Format(" (%s)%s", OutcomeWords(run.outcome), nl);
    if (run.mode != SoakMode::PlayOnly)
        out += "Input:       " + run.input.name + nl;
    if (run.mode != SoakMode::RecordOnly)
        out += "Output:      " + run.output.name + nl;
    out += Format("Format:      %d channel%s, %d Hz, %d bits (%d valid), %s%s", f.channels, f.channels == 1 ? "" : "s",
                  f.sampleRate, f.bits, f.validBits, f.extended ? "extended" : "standard", nl);
    out += "Events:      " + Counts(run) + nl;
    if (run.mode == SoakMode::FullDuplex) {
        const double ms = 1000.0 / f.sampleRate;
        if (run.stimulusHeard)
            out += Format("Latency:     %.3f ms now, %.3f to %.3f ms (wander %.3f ms)%s", run.latencyFrames * ms,
                          run.latencyMinFrames * ms, run.latencyMaxFrames * ms, run.LatencyWanderMs(), nl);
        else
            out += std::string("Latency:     not found: the stimulus was not heard (is the output wired back to the input?)") + nl;
        out += run.driftPpm.valid ? Format("Drift:       %+.3f ppm +- %.3f (the input's clock against the output's)%s",
                                           run.driftPpm.value, run.driftPpm.uncertainty, nl)
                                  : std::string("Drift:       not measured") + nl;
    }
    if (run.mode != SoakMode::PlayOnly)
        out += "Input rate:  " + Rate(run.inputClock, f.sampleRate) + nl;
    if (run.mode != SoakMode::RecordOnly)
        out += "Output rate: " + Rate(run.outputClock, f.sampleRate) + nl;
    if (run.mode == SoakMode::RecordOnly)
        out += run.levelSeen ? Format("Level:       %.1f to %.1f dBFS%s", run.levelMinDbfs, run.levelMaxDbfs, nl)
                             : std::string("Level:       digital silence") + nl;
    if (!run.error.empty() && run.outcome != SoakOutcome::Completed)
        out += "Ended:       " + run.error + nl;
    std::string checks = run.failedChecks.empty() ? "all passed" : "failed:";
    for (const std::string& failed : run.failedChecks)
        checks += " " + failed + ";";
    if (!run.failedChecks.empty())
        checks.pop_back();
    out += "Checks:      " + checks + nl;
    if (!run.plotPath.empty())
        out += "Plot:        " + run.plotPath + nl;
    if (!run.plotError.empty())
        out += "Plot:        not written: " + run.plotError + nl;
    if (!run.events.empty()) {
        out += nl;
        for (const SoakEvent& e : run.events)
            out += SoakEventLine(e) + nl;
        if (run.eventCount > run.events.size())
            out += Format("... and %llu more (the log has every one)%s",
                          static_cast<unsigned long long>(run.eventCount - run.events.size()), nl);
    }
    return out;
}
