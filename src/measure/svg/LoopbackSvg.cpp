// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/svg/MeasureSvg.h"

#include <algorithm>
#include <cmath>

#include "analysis/Picture.h"
#include "analysis/loopback/Stimulus.h"
#include "measure/loopback/LoopbackResult.h"
#include "measure/svg/SpectrumPanel.h"

namespace {

const SvgBox ResponseBox{ChartLeft, 56, ChartWidth - ChartLeft - ChartRight, 300};
const SvgBox ToneBox{ChartLeft, 420, ChartWidth - ChartLeft - ChartRight, 340};
const char* const ResponseCaption = "Frequency response (dB re 1 kHz)";

void DrawResponse(CSvgDocument& svg, const LoopbackPicture& in)
{
    const SvgBox& box = ResponseBox;
    if (in.response == nullptr || in.response->empty() || !(in.bandLowHz > 0) || !(in.bandHighHz > in.bandLowHz)) {
        DrawPanelFrame(svg, box, ResponseCaption);
        DrawPanelNote(svg, box, "response not measured");
        return;
    }
    svg.Text(box.x, box.y - 8, ResponseCaption);
    double stepDb = 1;
    const double spanDb = ResponseSpanDb(*in.response, stepDb);
    const LogFrequencyAxis x{in.bandLowHz, in.bandHighHz};
    const DbAxis y{spanDb, -spanDb, stepDb};
    // The -3 dB line the corner frequencies are read at.
    DrawFrequencyGrid(svg, box, x, y, -3);
    svg.BeginClip(box.x, box.y, box.width, box.height);
    for (std::size_t c = 0; c < in.response->size(); ++c) {
        std::vector<SvgPoint> points;
        for (const ResponsePoint& p : (*in.response)[c].points)
            if (p.hz >= in.bandLowHz && p.hz <= in.bandHighHz && std::isfinite(p.db))
                points.push_back({x.XOf(box, p.hz), y.YOf(box, p.db)});
        svg.Polyline(points, ChannelStroke(c, 1.6));
    }
    svg.EndClip();
    DrawChannelLegend(svg, box, in.response->size());
}

} // namespace

std::string LoopbackSvg(const LoopbackPicture& in, const std::string& idPrefix)
{
    const std::string heading = "Tallowmere loopback: " + in.title;
    const std::string description =
        "Upper panel: the frequency response of each channel in dB relative to 1 kHz over a logarithmic "
        "frequency axis, with the -3 dB line dashed. Lower panel: the averaged spectrum of the captured 1 kHz "
        "tone in dBFS, one curve per channel.";
    CSvgDocument svg(ChartWidth, ChartHeight, idPrefix, heading, description);
    svg.Text(ChartLeft, 22, heading);
    DrawResponse(svg, in);
    static const SignalAnalysis none;
    DrawSpectrumPanel(svg, in.tone != nullptr ? *in.tone : none, ToneBox,
                      "Spectrum of the captured 1 kHz tone (dBFS per bin, averaged)");
    return svg.Finish();
}

std::string LoopbackRunSvg(const CLoopbackRun& run, const std::string& idPrefix)
{
    LoopbackPicture picture;
    picture.title = LoopbackRunTitle(run);
    picture.response = &run.measures.response;
    picture.tone = &run.measures.tone;
    picture.bandLowHz = SweepStartHz;
    picture.bandHighHz = SweepTopShare * run.format.sampleRate;
    return LoopbackSvg(picture, idPrefix);
}
