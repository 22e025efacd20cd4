// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/SoakVerdicts.h"

#include <cstdio>

namespace {

std::string Figure(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

Verdict RunVerdict(const SoakRun& run)
{
    const std::string ran = SoakClock(run.elapsedSeconds);
    switch (run.outcome) {
    case SoakOutcome::Completed:
        return {"Run", VerdictState::Good,
                run.durationSeconds > 0 ? "Ran for the whole " + SoakClock(run.durationSeconds)
                                        : "Ran for " + ran + " until stopped"};
    case SoakOutcome::Cancelled:
        return {"Run", VerdictState::Warning, "Stopped after " + ran + " of " + SoakClock(run.durationSeconds)};
    case SoakOutcome::DeviceFailed:
        return {"Run", VerdictState::Bad, "Ended after " + ran + ": " + run.error};
    case SoakOutcome::Refused: break;
    }
    return {"Run", VerdictState::Bad, "Not run: " + run.error};
}

Verdict XrunVerdict(const SoakRun& run)
{
    if (run.xruns == 0)
        return {"Xruns", VerdictState::Good, "None: the back end mended no over- or underrun"};
    const std::uint64_t lost = run.inputClock.framesLost + run.outputClock.framesLost;
    return {"Xruns", VerdictState::Bad,
            std::to_string(run.xruns) + " mended by the back end, " + std::to_string(lost) + " frames lost"};
}

Verdict GlitchVerdict(const SoakRun& run)
{
    if (run.glitches == 0)
        return {"Glitches", VerdictState::Good, "None that an xrun does not explain"};
    return {"Glitches", VerdictState::Bad,
            std::to_string(run.glitches) + " that no xrun explains (the events say where)"};
}

void AddFullDuplexVerdicts(const SoakRun& run, std::vector<Verdict>& verdicts)
{
    if (!run.stimulusHeard) {
        verdicts.push_back({"Stimulus", VerdictState::Bad,
                            "Not heard: is the output wired back to the input?"});
        return;
    }
    const double ms = 1000.0 / run.format.sampleRate;
    verdicts.push_back({"Latency", VerdictState::Neutral,
                        Figure("%.3f ms", run.latencyFrames * ms) + ", wander " +
                            Figure("%.3f ms", run.LatencyWanderMs())});
    if (run.driftPpm.valid)
        verdicts.push_back({"Drift", VerdictState::Neutral,
                            Figure("%+.3f ppm", run.driftPpm.value) + Figure(" ± %.3f", run.driftPpm.uncertainty) +
                                ": the input's clock against the output's"});
    else
        verdicts.push_back({"Drift", VerdictState::Neutral, "Not measured: the run was too short"});
}

} // namespace

std::string SoakClock(double seconds)
{
    const auto whole = static_cast<long long>(seconds < 0 ? 0 : seconds);
    char text[48];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::vector<Verdict> JudgeSoak(const SoakRun& run, bool limitsSet)
{
    std::vector<Verdict> verdicts{RunVerdict(run)};
    if (run.outcome == SoakOutcome::Refused)
        return verdicts;
    verdicts.push_back(XrunVerdict(run));
    if (run.mode != SoakMode::PlayOnly)
        verdicts.push_back(GlitchVerdict(run));
    if (run.mode == SoakMode::FullDuplex)
        AddFullDuplexVerdicts(run, verdicts);
    if (run.mode == SoakMode::RecordOnly && run.levelSeen)
        verdicts.push_back({"Level", VerdictState::Neutral,
                            Figure("%.1f", run.levelMinDbfs) + " to " + Figure("%.1f dBFS", run.levelMaxDbfs)});
    else if (run.mode == SoakMode::RecordOnly)
        verdicts.push_back({"Level", VerdictState::Warning, "Digital silence throughout: nothing reached the input"});
    if (!limitsSet)
        verdicts.push_back({"Limits", VerdictState::Neutral, "No limit set"});
    else if (run.failedChecks.empty())
        verdicts.push_back({"Limits", VerdictState::Good, "Every limit set is held"});
    for (const std::string& failed : run.failedChecks)
        verdicts.push_back({"Limit", VerdictState::Bad, failed});
    return verdicts;
}
