// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/svg/SpectrumPanel.h"

#include <cmath>

#include "analysis/Picture.h"

namespace {

constexpr double FloorDbfs = -160;

} // namespace

void DrawSpectrumPanel(CSvgDocument& svg, const SignalAnalysis& a, const SvgBox& box, const std::string& caption)
{
    SpectrumAxis axis;
    if (!a.ok || !SpectrumAxisFor(a, axis)) {
        DrawPanelFrame(svg, box, caption);
        DrawPanelNote(svg, box, "no spectrum");
        return;
    }
    svg.Text(box.x, box.y - 8, caption);
    const LogFrequencyAxis x{axis.lowHz, axis.highHz};
    const DbAxis y{0, FloorDbfs, 20};
    DrawFrequencyGrid(svg, box, x, y, NoFigure);
    svg.BeginClip(box.x, box.y, box.width, box.height);
    for (std::size_t c = 0; c < a.spectrumDbfs.size(); ++c) {
        const std::vector<double> levels = SpectrumColumns(a.spectrumDbfs[c], a.binHz, axis, static_cast<int>(box.width));
        std::vector<SvgPoint> points;
        points.reserve(levels.size());
        for (std::size_t i = 0; i < levels.size(); ++i)
            points.push_back({box.x + static_cast<double>(i), y.YOf(box, std::isnan(levels[i]) ? FloorDbfs : levels[i])});
        svg.Polyline(points, ChannelStroke(c));
    }
    svg.EndClip();
    DrawChannelLegend(svg, box, a.spectrumDbfs.size());
}
