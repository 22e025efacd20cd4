// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/soak/SoakResult.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

const char* SoakEventKindName(SoakEventKind kind)
{
    switch (kind) {
    case SoakEventKind::Xrun: return "xrun";
    case SoakEventKind::Starved: return "starved";
    case SoakEventKind::Dropout: return "dropout";
    case SoakEventKind::Gap: return "gap";
    case SoakEventKind::Jump: return "jump";
    case SoakEventKind::Discontinuity: return "discontinuity";
    case SoakEventKind::LevelStep: return "level step";
    case SoakEventKind::Silence: return "silence";
    case SoakEventKind::DeviceLost: return "device lost";
    case SoakEventKind::DeviceFailed: return "device failed";
    }
    return "event";
}

void CSoakSeries::Add(double seconds, double value)
{
    if (!points.empty() && bucket > 0 && seconds < points.back().seconds + bucket) {
        Point& p = points.back();
        p.min = std::min(p.min, value);
        p.max = std::max(p.max, value);
        p.last = value;
        return;
    }
    if (points.size() == SoakSeriesPoints) {
        // Full: pairs merge and every bucket spans twice the time, so the
        // series keeps its shape in constant memory however long the run.
        bucket = bucket > 0 ? 2 * bucket : 2 * (points.back().seconds - points.front().seconds) / SoakSeriesPoints;
        std::vector<Point> merged;
        merged.reserve(SoakSeriesPoints);
        for (const Point& p : points) {
            if (!merged.empty() && p.seconds < merged.back().seconds + bucket) {
                merged.back().min = std::min(merged.back().min, p.min);
                merged.back().max = std::max(merged.back().max, p.max);
                merged.back().last = p.last;
            } else {
                merged.push_back(p);
            }
        }
        points = std::move(merged);
        Add(seconds, value);
        return;
    }
    points.push_back({seconds, value, value, value});
}

namespace {

std::string Words(const char* format, double a, double b)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

} // namespace

std::vector<std::string> CheckSoak(const SoakRun& run, const SoakLimits& limits)
{
    std::vector<std::string> failed;
    if (limits.maxXruns && run.xruns > *limits.maxXruns)
        failed.push_back(Words("xruns %.0f > %.0f", static_cast<double>(run.xruns),
                               static_cast<double>(*limits.maxXruns)));
    if (limits.maxGlitches && run.glitches > *limits.maxGlitches)
        failed.push_back(Words("glitches %.0f > %.0f", static_cast<double>(run.glitches),
                               static_cast<double>(*limits.maxGlitches)));
    if (limits.maxDriftPpm) {
        if (!run.driftPpm.valid)
            failed.push_back("drift not measured");
        else if (std::abs(run.driftPpm.value) > *limits.maxDriftPpm)
            failed.push_back(Words("drift %.3f ppm > %g ppm", std::abs(run.driftPpm.value), *limits.maxDriftPpm));
    }
    if (limits.maxLatencyWanderMs) {
        if (!run.stimulusHeard)
            failed.push_back("latency not found");
        else if (run.LatencyWanderMs() > *limits.maxLatencyWanderMs)
            failed.push_back(Words("latency wander %.3f ms > %g ms", run.LatencyWanderMs(), *limits.maxLatencyWanderMs));
    }
    return failed;
}
