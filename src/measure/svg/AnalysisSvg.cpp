// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/svg/MeasureSvg.h"

#include <algorithm>
#include <cmath>

#include "analysis/Picture.h"
#include "measure/svg/Markup.h"
#include "measure/svg/SpectrumPanel.h"
#include "measure/svg/SvgChart.h"

namespace {

const SvgBox WaveformBox{ChartLeft, 56, ChartWidth - ChartLeft - ChartRight, 260};
const SvgBox SpectrumBox{ChartLeft, 380, ChartWidth - ChartLeft - ChartRight, 380};

void DrawWaveform(CSvgDocument& svg, const SignalAnalysis& a)
{
    const SvgBox& box = WaveformBox;
    DrawPanelFrame(svg, box, "Waveform (fraction of full scale)");
    const std::size_t channels = std::min(a.overviewMin.size(), a.overviewMax.size());
    const double laneHeight = std::floor(box.height / static_cast<double>(std::max<std::size_t>(1, channels)));
    for (std::size_t c = 0; c < channels; ++c) {
        const double top = box.y + static_cast<double>(c) * laneHeight;
        const double middle = top + std::floor(laneHeight / 2);
        svg.Line({box.x, middle}, {box.Right(), middle}, SvgStroke{"#c8c8c8", 1, ""});
        svg.Text(4, top + 14, "ch " + std::to_string(c + 1));
        svg.Text(4, top + 30, "+1");
        svg.Text(4, top + laneHeight - 4, "-1");
        // One pixel column at a time, from its highest to its lowest value.
        const std::vector<OverviewColumn> columns =
            OverviewColumns(a.overviewMin[c], a.overviewMax[c], static_cast<int>(box.width));
        const double scale = std::floor(laneHeight / 2) - 2;
        std::string path;
        path.reserve(columns.size() * 18);
        for (std::size_t x = 0; x < columns.size(); ++x) {
            const double at = box.x + static_cast<double>(x) + 0.5;
            const double high = middle - columns[x].high * scale;
            double low = middle - columns[x].low * scale;
            if (low - high < 1) // a flat stretch still shows as a dot
                low = high + 1;
            path += "M" + MarkupNumber(at) + " " + MarkupNumber(high) + "V" + MarkupNumber(low);
        }
        SvgStroke stroke = ChannelStroke(c, 1);
        stroke.dash.clear(); // vertical strokes of one pixel: a dash would thin the trace
        svg.Path(path, stroke);
    }
    const std::string seconds = std::isnan(a.durationSeconds)
                                    ? std::string("length unknown")
                                    : "0 s ... " + MarkupNumber(a.durationSeconds, 3) + " s";
    svg.Text(box.x, box.Bottom() + 16, seconds);
}

} // namespace

std::string AnalysisSvg(const SignalAnalysis& a, const std::string& title, const std::string& idPrefix)
{
    const std::string heading = "Tallowmere analysis of " + title + ": " + std::to_string(a.sampleRate) + " Hz, " +
                                std::to_string(a.channels) + " channel(s), " + std::to_string(a.containerBits) +
                                "-bit";
    std::string description = "Upper panel: the waveform of each channel over the whole signal, as the lowest "
                              "and highest value of every pixel column. Lower panel: the averaged spectrum in "
                              "dBFS over a logarithmic frequency axis, one curve per channel";
    description += a.ok ? "." : "; there is nothing to draw: " + a.error + ".";
    CSvgDocument svg(ChartWidth, ChartHeight, idPrefix, heading, description);
    svg.Text(ChartLeft, 22, heading);
    if (!a.ok) {
        DrawPanelFrame(svg, WaveformBox, "Waveform (fraction of full scale)");
        DrawPanelNote(svg, WaveformBox, "nothing to draw: " + a.error);
    } else {
        DrawWaveform(svg, a);
    }
    DrawSpectrumPanel(svg, a, SpectrumBox, "Spectrum (dBFS, a tone at its peak level, averaged)");
    return svg.Finish();
}
