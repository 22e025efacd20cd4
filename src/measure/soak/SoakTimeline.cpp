// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/soak/SoakTimeline.h"

#include "measure/soak/SoakSession.h"

namespace {

SoakPlotMark::Kind MarkKind(SoakEventKind kind)
{
    switch (kind) {
    case SoakEventKind::Xrun: return SoakPlotMark::Kind::Xrun;
    case SoakEventKind::Starved:
    case SoakEventKind::DeviceLost:
    case SoakEventKind::DeviceFailed: return SoakPlotMark::Kind::Other;
    default: break;
    }
    return SoakPlotMark::Kind::Glitch;
}

std::vector<SoakPlotPoint> Points(const CSoakSeries& series)
{
    std::vector<SoakPlotPoint> out;
    out.reserve(series.Points().size());
    for (const CSoakSeries::Point& p : series.Points())
        out.push_back({p.seconds, p.min, p.max});
    return out;
}

} // namespace

SoakPlotInput SoakTimeline::Input() const
{
    SoakPlotInput input;
    input.title = title.c_str();
    input.seconds = seconds;
    input.marks = &marks;
    input.latencyMs = &latencyMs;
    input.driftPpm = &driftPpm;
    return input;
}

SoakTimeline MakeSoakTimeline(const SoakRun& run)
{
    SoakTimeline timeline;
    const SoakFormat& f = run.format;
    timeline.title = SoakModeName(run.mode);
    if (run.mode != SoakMode::PlayOnly)
        timeline.title += ", " + run.input.name;
    if (run.mode != SoakMode::RecordOnly)
        timeline.title += (run.mode == SoakMode::FullDuplex ? " from " : ", ") + run.output.name;
    timeline.title += ", " + std::to_string(f.sampleRate) + " Hz, " + std::to_string(f.channels) + " channel(s), " +
                      std::to_string(f.bits) + "-bit";
    timeline.seconds = run.elapsedSeconds;
    timeline.marks.reserve(run.events.size());
    for (const SoakEvent& e : run.events)
        timeline.marks.push_back({MarkKind(e.kind), e.direction == WaveDirection::Input, e.seconds});
    timeline.latencyMs = Points(run.latencyMs);
    timeline.driftPpm = Points(run.drift);
    return timeline;
}
