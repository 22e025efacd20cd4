// SPDX-License-Identifier: GPL-3.0-or-later
// The SVG pictures drawn from the analysis's and the loopback's numbers, and
// the report's analysis and loopback sections: their verdicts with their
// thresholds, and the size for a long signal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <regex>
#include <vector>

#include "analysis/Picture.h"
#include "measure/AnalysisSources.h"
#include "measure/loopback/LoopbackChecks.h"
#include "measure/loopback/LoopbackResult.h"
#include "measure/report/HtmlReport.h"
#include "measure/svg/MeasureSvg.h"
#include "measure/svg/SvgChart.h"

namespace {

// A 1 kHz sine at -6 dBFS in 16-bit stereo, `seconds` long, with
// `zeroRuns` runs of 100 zero frames spread over it.
std::vector<std::uint8_t> Tone(int rate, double seconds, int zeroRuns = 0)
{
    const std::size_t frames = static_cast<std::size_t>(rate * seconds);
    std::vector<std::uint8_t> bytes(frames * 4);
    for (std::size_t n = 0; n < frames; ++n) {
        const auto v = static_cast<std::int16_t>(std::lround(16384 * std::sin(2 * std::numbers::pi * 1000.0 * n / rate)));
        for (int c = 0; c < 2; ++c) {
            bytes[n * 4 + c * 2] = static_cast<std::uint8_t>(v & 0xFF);
            bytes[n * 4 + c * 2 + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
        }
    }
    for (int k = 1; k <= zeroRuns; ++k) {
        const std::size_t at = frames * k / (zeroRuns + 1);
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at * 4),
                  bytes.begin() + static_cast<std::ptrdiff_t>((at + 100) * 4), 0);
    }
    return bytes;
}

CAnalysisOutcome Analyse(const std::vector<std::uint8_t>& bytes, int rate, const AnalysisExpectations& expect = {})
{
    TestRunBuffer run;
    run.parameters.channels = 2;
    run.parameters.sampleRate = rate;
    run.parameters.precisionBits = 16;
    run.parameters.bytesPerSample = 2;
    run.parameters.validBits = 16;
    run.parameters.bufferBytes = static_cast<std::int64_t>(bytes.size());
    run.data = bytes.data();
    run.size = bytes.size();
    run.recordComplete = true;
    return AnalyseTestBuffer(run, {expect, std::nullopt});
}

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The points of the n-th polyline.
std::vector<std::pair<double, double>> Polyline(const std::string& svg, std::size_t index)
{
    std::size_t at = 0;
    for (std::size_t i = 0; i <= index; ++i) {
        at = svg.find("<polyline", at + 1);
        if (at == std::string::npos)
            return {};
    }
    const std::size_t from = svg.find("points=\"", at) + 8;
    std::string list = svg.substr(from, svg.find('"', from) - from);
    std::vector<std::pair<double, double>> points;
    for (std::size_t p = 0; p < list.size();) {
        std::size_t end = list.find(' ', p);
        if (end == std::string::npos)
            end = list.size();
        const std::string pair = list.substr(p, end - p);
        const std::size_t comma = pair.find(',');
        points.emplace_back(std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1)));
        p = end + 1;
    }
    return points;
}

TEST(AnalysisSvg, DrawsTheNumbersOfThePictureWithATextAlternative)
{
    const CAnalysisOutcome o = Analyse(Tone(48000, 1), 48000);
    ASSERT_TRUE(o.analysis.ok);
    const std::string svg = AnalysisSvg(o.analysis, "a <b> & c", "pic");
    EXPECT_NE(svg.find("<title id=\"pic-title\">Tallowmere analysis of a &lt;b&gt; &amp; c: 48000 Hz, 2 channel(s), "
                       "16-bit</title>"),
              std::string::npos);
    EXPECT_NE(svg.find("<desc id=\"pic-desc\">"), std::string::npos);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);

    // One spectrum curve per channel, one point per pixel column; the tone's
    // column where 1 kHz falls on the axis, at its level (-6 dBFS).
    const double width = ChartWidth - ChartLeft - ChartRight;
    SpectrumAxis axis;
    ASSERT_TRUE(SpectrumAxisFor(o.analysis, axis));
    const LogFrequencyAxis x{axis.lowHz, axis.highHz};
    const SvgBox box{ChartLeft, 380, width, 380};
    for (std::size_t c = 0; c < 2; ++c) {
        const auto points = Polyline(svg, c);
        ASSERT_EQ(points.size(), static_cast<std::size_t>(width));
        auto top = std::min_element(points.begin(), points.end(),
                                    [](const auto& a, const auto& b) { return a.second < b.second; });
        EXPECT_NEAR(top->first, x.XOf(box, 1000), 1.5);
        EXPECT_NEAR(top->second, box.y + 6.0 / 160 * box.height, 1.5);
    }
    // The waveform: every pixel column of both lanes drawn once, from its highest value to its lowest.
    EXPECT_EQ(Count(svg, "M"), 2 * static_cast<std::size_t>(width));
    // Channel 2 is told apart by its dash as well as its colour.
    EXPECT_NE(svg.find("stroke-dasharray=\"7 4\""), std::string::npos);
}

TEST(AnalysisSvg, NothingToDrawIsSaid)
{
    const CAnalysisOutcome o = Analyse({}, 48000);
    const std::string svg = AnalysisSvg(o.analysis, "empty", "pic");
    EXPECT_NE(svg.find("nothing to draw"), std::string::npos);
    EXPECT_NE(svg.find("no spectrum"), std::string::npos);
    EXPECT_EQ(Count(svg, "<polyline"), 0u);
}

TEST(LoopbackSvg, AFlatResponseLiesOnTheZeroLine)
{
    std::vector<FrequencyResponse> response(2);
    for (FrequencyResponse& r : response) {
        r.ok = true;
        for (double hz = 20; hz <= 20000; hz *= std::pow(2.0, 1.0 / 12))
            r.points.push_back({hz, 0});
        r.points.push_back({100, NoFigure}); // a point that does not exist is left out
    }
    response[1].points[10].db = -2;
    LoopbackPicture picture;
    picture.title = "In from Out";
    picture.response = &response;
    picture.bandLowHz = 20;
    picture.bandHighHz = 21600;
    const std::string svg = LoopbackSvg(picture, "loop");
    const auto first = Polyline(svg, 0);
    ASSERT_EQ(first.size(), response[0].points.size() - 1);
    for (const auto& [px, py] : first)
        EXPECT_DOUBLE_EQ(py, 56 + 150); // the middle of the +-3 dB box
    EXPECT_NEAR(Polyline(svg, 1)[10].second, 56 + 150 + 2.0 / 6 * 300, 0.06);
    EXPECT_NE(svg.find("stroke-dasharray=\"5 4\""), std::string::npos); // the -3 dB line
    EXPECT_NE(svg.find("no spectrum"), std::string::npos);               // no tone given

    picture.response = nullptr;
    EXPECT_NE(LoopbackSvg(picture, "loop").find("response not measured"), std::string::npos);
}

TEST(ReportAnalysis, VerdictsCarryTheirThresholds)
{
    AnalysisExpectations expect;
    expect.minSnrDb = 200;  // cannot be met
    expect.maxDropouts = 0; // two zero runs are there
    const CAnalysisOutcome o = Analyse(Tone(48000, 2, 2), 48000, expect);
    ASSERT_FALSE(o.failedChecks.empty());
    ReportInput input;
    input.analysis = &o;
    const std::string html = HtmlReport(input);
    const std::regex snr("<th scope=\"row\">SNR</th><td><span class=\"verdict fail\">[^<]*fail</span></td>"
                         "<td>[^<]*</td><td>at least 200 dB \\(--min-snr\\)</td>");
    EXPECT_TRUE(std::regex_search(html, snr));
    EXPECT_NE(html.find("<th scope=\"row\">Dropouts</th><td><span class=\"verdict fail\">"), std::string::npos);
    // No threshold on clipping and nothing clipped: passed, and said so.
    EXPECT_NE(html.find("<th scope=\"row\">Clipping</th><td><span class=\"verdict pass\">&#10004; pass</span></td>"
                        "<td>0 clipped sample(s)</td><td>none set</td>"),
              std::string::npos);
    for (const std::string& line : o.failedChecks)
        EXPECT_NE(html.find(line.substr(0, 20)), std::string::npos) << line;
}

TEST(ReportAnalysis, AHundredSecondAnalysisStaysUnderOneMegabyte)
{
    const CAnalysisOutcome o = Analyse(Tone(48000, 100, 300), 48000);
    ASSERT_TRUE(o.analysis.ok);
    ASSERT_GT(o.analysis.dropoutCount, 20u);
    ReportInput input;
    input.analysis = &o;
    const std::string html = HtmlReport(input);
    EXPECT_LT(html.size(), 1000000u);
    EXPECT_NE(html.find("more dropout(s) are counted, not listed"), std::string::npos);
}

TEST(ReportLoopback, EachCheckIsJudgedByItsOwnLimitInATable)
{
    CLoopbackRun run;
    run.format.channels = 2;
    run.outcome = LoopbackOutcome::Measured;
    run.measures.ok = true;
    run.measures.measured = {true, false, false, false};
    run.measures.latency = {LatencyStatus::Found, 480, 10.0, 0.99, false};
    for (double low : {-1.25, -0.2}) {
        FrequencyResponse r;
        r.ok = true;
        r.minDb = low;
        r.maxDb = 0.1;
        run.measures.response.push_back(r);
    }
    run.limits.maxLatencyMs = 20;
    run.limits.maxResponseDeviationDb = 0.5;
    run.checksSet = true;
    run.failedChecks = CheckLoopback(run.measures, run.limits, run.toneChecks);
    ASSERT_EQ(run.failedChecks.size(), 1u);
    ReportInput input;
    input.loopback = &run;
    const std::string html = HtmlReport(input);
    EXPECT_NE(html.find("<th scope=\"row\">Latency</th><td><span class=\"verdict pass\">&#10004; pass</span></td>"
                        "<td>10 ms</td><td>at most 20 ms (--max-latency)</td>"),
              std::string::npos);
    const std::regex response("<th scope=\"row\">Frequency response</th><td><span class=\"verdict fail\">[^<]*</span>"
                              "</td><td>ch 1 -1.25 to \\+0.1 dB; ch 2 -0.2 to \\+0.1 dB; --max-response-deviation: "
                              "[^<]*</td><td>within \u00b10.5 dB of 1 kHz");
    EXPECT_TRUE(std::regex_search(html, response));
    // Measures not taken and limits not set have no row; nothing is preformatted.
    EXPECT_EQ(html.find("<th scope=\"row\">THD+N</th>"), std::string::npos);
    EXPECT_EQ(html.find("<pre", html.find("<section id=\"loopback\">")), std::string::npos);
    EXPECT_NE(html.find("Not measured: thd, noise, crosstalk (--measure)."), std::string::npos);
}

} // namespace
