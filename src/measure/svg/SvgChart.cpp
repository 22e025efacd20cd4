// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/svg/SvgChart.h"

#include <algorithm>
#include <cmath>

#include "measure/svg/Markup.h"

namespace {

const char* const ChannelColours[] = {"#1f5fbf", "#d05020"};
const char* const ChannelDashes[] = {"", "7 4", "2 3", "10 3 2 3"};
const SvgStroke GridStroke{"#dcdcdc", 1, ""};

std::string FrequencyLabel(double hz)
{
    return hz >= 1000 ? MarkupNumber(hz / 1000, 0) + "k" : MarkupNumber(hz, 0);
}

} // namespace

double LogFrequencyAxis::XOf(const SvgBox& box, double hz) const
{
    return box.x + std::log10(hz / lowHz) / std::log10(highHz / lowHz) * box.width;
}

double DbAxis::YOf(const SvgBox& box, double db) const
{
    const double clamped = std::clamp(db, bottomDb, topDb);
    return box.y + (topDb - clamped) / (topDb - bottomDb) * box.height;
}

SvgStroke ChannelStroke(std::size_t channel, double width)
{
    return {ChannelColours[channel % 2], width, ChannelDashes[channel % 4]};
}

void DrawPanelFrame(CSvgDocument& svg, const SvgBox& box, const std::string& caption)
{
    svg.Text(box.x, box.y - 8, caption);
    svg.Rect(box.x, box.y, box.width, box.height, SvgStroke{});
}

void DrawFrequencyGrid(CSvgDocument& svg, const SvgBox& box, const LogFrequencyAxis& x, const DbAxis& y,
                       double markDb)
{
    for (double decade = 1; decade <= x.highHz; decade *= 10)
        for (int m = 1; m <= 9; ++m)
            if (const double hz = decade * m; hz >= x.lowHz && hz <= x.highHz)
                svg.Line({x.XOf(box, hz), box.y}, {x.XOf(box, hz), box.Bottom()}, GridStroke);
    for (double hz : {20.0, 100.0, 1000.0, 10000.0, 100000.0})
        if (hz >= x.lowHz && hz <= x.highHz)
            svg.Text(x.XOf(box, hz), box.Bottom() + 16, FrequencyLabel(hz), SvgAnchor::Middle);
    svg.Text(box.Right(), box.Bottom() + 32, "frequency (Hz)", SvgAnchor::End);
    for (double db = y.topDb; db >= y.bottomDb - 1e-9; db -= y.stepDb) {
        const double at = y.YOf(box, db);
        svg.Line({box.x, at}, {box.Right(), at}, db == 0 ? SvgStroke{"#969696", 1, ""} : GridStroke);
        svg.Text(box.x - 8, at + 5, MarkupNumber(db, 0), SvgAnchor::End);
    }
    if (std::isfinite(markDb) && markDb <= y.topDb && markDb >= y.bottomDb)
        svg.Line({box.x, y.YOf(box, markDb)}, {box.Right(), y.YOf(box, markDb)}, SvgStroke{"#a0a0a0", 1, "5 4"});
    svg.Rect(box.x, box.y, box.width, box.height, SvgStroke{});
}

void DrawChannelLegend(CSvgDocument& svg, const SvgBox& box, std::size_t channels)
{
    const double right = box.Right() - 12;
    for (std::size_t c = 0; c < channels; ++c) {
        const double y = box.y + 18 + 18 * static_cast<double>(c);
        svg.Rect(right - 96, y - 13, 96, 18, SvgStroke{"#fff", 1, ""}, "#fff");
        svg.Line({right - 90, y - 4}, {right - 50, y - 4}, ChannelStroke(c, 2));
        svg.Text(right - 44, y, "ch " + std::to_string(c + 1));
    }
}

void DrawPanelNote(CSvgDocument& svg, const SvgBox& box, const std::string& note)
{
    svg.Text(box.x + box.width / 2, box.y + box.height / 2, note, SvgAnchor::Middle);
}
