// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/svg/SoakSvg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "measure/soak/SoakSession.h"
#include "measure/svg/Markup.h"
#include "measure/svg/SvgChart.h"

namespace {

constexpr double EventsTop = 56;
constexpr double EventsHeight = 120;
constexpr double PanelGap = 50; // a panel's caption above it, the time labels below the last
constexpr double PanelHeight = 240;
const double PlotWidth = ChartWidth - ChartLeft - ChartRight;

enum MarkKind { XrunMark, GlitchMark, OtherMark, MarkKinds };

struct MarkStyle {
    const char* colour;
    const char* name;
};
constexpr std::array<MarkStyle, MarkKinds> MarkStyles = {{
    {"#c02020", "xrun"},
    {"#d07000", "glitch"},
    {"#6e6e6e", "other (starved, device lost or failed)"},
}};

MarkKind KindOf(SoakEventKind kind)
{
    switch (kind) {
    case SoakEventKind::Xrun: return XrunMark;
    case SoakEventKind::Starved:
    case SoakEventKind::DeviceLost:
    case SoakEventKind::DeviceFailed: return OtherMark;
    default: break;
    }
    return GlitchMark;
}

// The marker's outline, its top at `top`: a triangle pointing down, a
// diamond or a square, 10 pixels across.
std::string Marker(MarkKind kind, double x, double top)
{
    const std::string at = "M" + MarkupNumber(x - 5) + " " + MarkupNumber(top);
    switch (kind) {
    case XrunMark: return at + "h10l-5 9z";
    case GlitchMark: return "M" + MarkupNumber(x) + " " + MarkupNumber(top) + "l5 5l-5 5l-5 -5z";
    default: break;
    }
    return at + "h9v9h-9z";
}

std::string TimeLabel(double seconds, double length)
{
    if (length < 120)
        return MarkupNumber(seconds, length < 10 ? 2 : 1) + " s";
    const auto whole = static_cast<long long>(std::llround(seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

struct TimeAxis {
    double length = 1; // seconds across the plot
    double XOf(double seconds) const { return ChartLeft + std::clamp(seconds / length, 0.0, 1.0) * PlotWidth; }
};

void DrawEventLegend(CSvgDocument& svg, double y)
{
    double x = ChartLeft + 330;
    for (int k = 0; k < MarkKinds; ++k) {
        const MarkStyle& style = MarkStyles[static_cast<std::size_t>(k)];
        svg.Path(Marker(static_cast<MarkKind>(k), x + 5, y - 10), SvgStroke{style.colour, 1, ""}, style.colour);
        svg.Text(x + 14, y, style.name);
        x += k == XrunMark ? 70 : 90;
    }
}

// One mark per kind, lane and MarkSpacing pixels (marks are 10 pixels
// across, so nothing that shows is lost): its line across the lane and its
// marker at the kind's own height, so marks that share a place all show.
constexpr double MarkSpacing = 4;

void DrawEvents(CSvgDocument& svg, const SoakRun& run, const TimeAxis& time)
{
    const SvgBox box{ChartLeft, EventsTop, PlotWidth, EventsHeight};
    DrawPanelFrame(svg, box, "Events (input above, output below):");
    DrawEventLegend(svg, box.y - 8);
    const double lane = box.height / 2;
    svg.Line({box.x, box.y + lane}, {box.Right(), box.y + lane}, SvgStroke{"#c8c8c8", 1, ""});
    svg.Text(box.x - 8, box.y + lane / 2 + 5, "input", SvgAnchor::End);
    svg.Text(box.x - 8, box.y + lane + lane / 2 + 5, "output", SvgAnchor::End);
    const auto places = static_cast<std::size_t>(PlotWidth / MarkSpacing) + 1;
    std::array<std::array<std::vector<bool>, MarkKinds>, 2> seen;
    for (auto& lanes : seen)
        for (auto& kind : lanes)
            kind.assign(places, false);
    std::array<std::string, MarkKinds> lines, markers;
    for (const SoakEvent& e : run.events) {
        const MarkKind kind = KindOf(e.kind);
        const std::size_t laneIndex = e.direction == WaveDirection::Input ? 0 : 1;
        const auto place = static_cast<std::size_t>(std::round((time.XOf(e.seconds) - ChartLeft) / MarkSpacing));
        if (place >= places || seen[laneIndex][kind][place])
            continue;
        seen[laneIndex][kind][place] = true;
        const double x = ChartLeft + static_cast<double>(place) * MarkSpacing;
        const double top = box.y + static_cast<double>(laneIndex) * lane;
        lines[kind] += "M" + MarkupNumber(x) + " " + MarkupNumber(top + 2) + "v" + MarkupNumber(lane - 4);
        markers[kind] += Marker(kind, x, top + 3 + static_cast<double>(kind) * (lane - 16) / 2);
    }
    for (int k = 0; k < MarkKinds; ++k) {
        const char* colour = MarkStyles[static_cast<std::size_t>(k)].colour;
        svg.Path(lines[static_cast<std::size_t>(k)], SvgStroke{colour, 1.5, ""});
        svg.Path(markers[static_cast<std::size_t>(k)], SvgStroke{colour, 1, ""}, colour);
    }
    if (run.events.empty())
        DrawPanelNote(svg, box, "no events");
}

// Labels with as many decimals as the span needs to tell them apart.
std::string ValueLabel(double value, double span)
{
    const int decimals = span > 0 ? std::clamp(2 - static_cast<int>(std::floor(std::log10(span))), 0, 6) : 3;
    return MarkupNumber(value, decimals);
}

struct SeriesStyle {
    const char* caption;
    const char* unit;
    std::size_t channelStroke;
    const char* band;
};

// Each bucket's extremes as a light band, and a line through their middles.
void DrawSeries(CSvgDocument& svg, const CSoakSeries& series, const SeriesStyle& style, const SvgBox& box,
                const TimeAxis& time)
{
    DrawPanelFrame(svg, box, style.caption);
    const std::vector<CSoakSeries::Point>& points = series.Points();
    if (points.empty()) {
        DrawPanelNote(svg, box, "not measured");
        return;
    }
    double low = points.front().min, high = points.front().max;
    for (const CSoakSeries::Point& p : points) {
        low = std::min(low, p.min);
        high = std::max(high, p.max);
    }
    const double margin = std::max((high - low) * 0.1, std::max(std::abs(high), 1.0) * 1e-6);
    low -= margin;
    high += margin;
    auto yOf = [&](double v) { return box.Bottom() - (v - low) / (high - low) * box.height; };
    for (double v : {high, (high + low) / 2, low}) {
        svg.Line({box.x, yOf(v)}, {box.Right(), yOf(v)}, SvgStroke{"#dcdcdc", 1, ""});
        svg.Text(box.x - 8, yOf(v) + 5, ValueLabel(v, high - low), SvgAnchor::End);
    }
    svg.Text(box.x - 8, box.y - 8, style.unit, SvgAnchor::End);
    std::string band;
    std::vector<SvgPoint> middle;
    for (const CSoakSeries::Point& p : points) {
        const double x = time.XOf(p.seconds);
        band += "M" + MarkupNumber(x) + " " + MarkupNumber(yOf(p.max)) + "V" + MarkupNumber(yOf(p.min) + 0.5);
        middle.push_back({x, yOf((p.min + p.max) / 2)});
    }
    svg.Path(band, SvgStroke{style.band, 1.5, ""});
    if (middle.size() == 1)
        middle.push_back({middle.front().x + 3, middle.front().y});
    svg.Polyline(middle, ChannelStroke(style.channelStroke, 1.6));
}

std::string Description(const SoakRun& run, bool latencyAndDrift, bool level)
{
    std::array<std::uint64_t, MarkKinds> counts{};
    for (const SoakEvent& e : run.events)
        ++counts[KindOf(e.kind)];
    std::string text = "Over the " + MarkupNumber(run.elapsedSeconds, 1) + " s since the start. Upper panel: " +
                       std::to_string(run.eventCount) + " event(s) at their times, the input's in the upper lane " +
                       "and the output's in the lower: " + std::to_string(counts[XrunMark]) +
                       " xrun(s) as red triangles, " + std::to_string(counts[GlitchMark]) +
                       " glitch(es) as orange diamonds, " + std::to_string(counts[OtherMark]) +
                       " other event(s) as grey squares";
    if (run.eventCount > run.events.size())
        text += " (the first " + std::to_string(run.events.size()) + " drawn)";
    text += ".";
    if (latencyAndDrift)
        text += " Then the latency in ms and the drift so far in ppm (the input's clock against the output's), "
                "each as the band of its extremes with a line through their middles.";
    if (level)
        text += " Then the input's level in dBFS, as the band of its extremes with a line through their middles.";
    return text;
}

} // namespace

std::string SoakRunTitle(const SoakRun& run)
{
    const SoakFormat& f = run.format;
    std::string title = SoakModeName(run.mode);
    if (run.mode != SoakMode::PlayOnly)
        title += ", " + run.input.name;
    if (run.mode != SoakMode::RecordOnly)
        title += (run.mode == SoakMode::FullDuplex ? " from " : ", ") + run.output.name;
    return title + ", " + std::to_string(f.sampleRate) + " Hz, " + std::to_string(f.channels) + " channel(s), " +
           std::to_string(f.bits) + "-bit";
}

std::string SoakSvg(const SoakRun& run, const std::string& idPrefix)
{
    const bool latencyAndDrift = run.mode == SoakMode::FullDuplex;
    const bool level = run.mode == SoakMode::RecordOnly;
    const int panels = latencyAndDrift ? 2 : level ? 1 : 0;
    const double height = EventsTop + EventsHeight + panels * (PanelGap + PanelHeight) + 44;
    const std::string heading = "Tallowmere soak: " + SoakRunTitle(run);
    CSvgDocument svg(ChartWidth, static_cast<int>(height), idPrefix, heading, Description(run, latencyAndDrift, level));
    svg.Text(ChartLeft, 22, heading);

    TimeAxis time;
    time.length = run.elapsedSeconds;
    for (const SoakEvent& e : run.events)
        time.length = std::max(time.length, e.seconds);
    if (!(time.length > 0))
        time.length = 1;
    DrawEvents(svg, run, time);
    auto panel = [](int i) {
        return SvgBox{ChartLeft, EventsTop + EventsHeight + PanelGap + i * (PanelGap + PanelHeight), PlotWidth,
                      PanelHeight};
    };
    if (latencyAndDrift) {
        DrawSeries(svg, run.latencyMs, {"Latency", "ms", 0, "#a9c1e6"}, panel(0), time);
        DrawSeries(svg, run.drift, {"Drift so far (the input's clock against the output's)", "ppm", 1, "#eab39e"},
                   panel(1), time);
    } else if (level) {
        DrawSeries(svg, run.levelDbfs, {"The input's level", "dBFS", 0, "#a9c1e6"}, panel(0), time);
    }
    const double bottom = panels > 0 ? panel(panels - 1).Bottom() : EventsTop + EventsHeight;
    for (int i = 0; i <= 4; ++i) {
        const double t = time.length * i / 4;
        svg.Text(time.XOf(t), bottom + 16, TimeLabel(t, time.length),
                 i == 0 ? SvgAnchor::Start : i == 4 ? SvgAnchor::End : SvgAnchor::Middle);
    }
    svg.Text(ChartLeft + PlotWidth, bottom + 34, "time since the start", SvgAnchor::End);
    return svg.Finish();
}
