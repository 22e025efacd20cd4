// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback's section: the devices and format, each check with the
// limit it was judged by, the figures per channel as the command line's
// table has them (latency, response, tone, noise, crosstalk), the
// dropouts, and the picture; all as tables, so a printed page never cuts a
// line of figures.
#include <algorithm>
#include <cmath>
#include <functional>

#include "measure/loopback/LoopbackChecks.h"
#include "measure/loopback/LoopbackResult.h"
#include "measure/loopback/LoopbackText.h"
#include "measure/report/HtmlReport.h"
#include "measure/report/ReportSections.h"
#include "measure/svg/Markup.h"
#include "measure/svg/MeasureSvg.h"

namespace {

constexpr std::size_t DropoutRows = 20;

std::string Figure(double value, int decimals, const std::string& unit = "", const char* absent = "-")
{
    return std::isfinite(value) ? MarkupNumber(value, decimals) + unit : absent;
}

std::string Signed(double value, int decimals, const std::string& unit = "")
{
    const std::string text = Figure(value, decimals, unit);
    return text[0] == '-' || text == "0" + unit ? text : "+" + text;
}

std::string Hz(double hz)
{
    return std::isfinite(hz) ? MarkupNumber(hz, hz < 100 ? 1 : 0) + " Hz" : "none";
}

// The frequency at which the response reaches `db` (its lowest or highest).
double FrequencyAt(const FrequencyResponse& r, double db)
{
    for (const ResponsePoint& p : r.points)
        if (p.db == db)
            return p.hz;
    return NoFigure;
}

std::string PerChannel(std::size_t channels, const std::function<std::string(std::size_t)>& value)
{
    std::string text;
    for (std::size_t c = 0; c < channels; ++c)
        text += (c > 0 ? "; " : "") + std::string("ch ") + std::to_string(c + 1) + " " + value(c);
    return text;
}

std::string At(const std::vector<double>& figures, std::size_t c, int decimals, const std::string& unit,
               const char* absent)
{
    return c < figures.size() ? Figure(figures[c], decimals, unit, absent) : absent;
}

// One check: judged by its own limit alone when one was set (the checks'
// own code and words), else a warning for what is plainly amiss, else a
// note; shown when its measure was taken or a limit asks for it.
struct LoopbackCheckRow {
    const char* name;
    bool shown;
    std::string found;
    std::string threshold; // empty: none set
    CLoopbackLimits limits;
    AnalysisExpectations tone;
    bool amiss = false;
};

std::vector<LoopbackCheckRow> CheckRows(const CLoopbackRun& run)
{
    const LoopbackMeasures& m = run.measures;
    const CLoopbackLimits& l = run.limits;
    const AnalysisExpectations& e = run.toneChecks;
    const std::size_t channels = static_cast<std::size_t>(run.format.channels);
    auto limit = [](const auto& value, const std::string& words) { return value ? words : std::string(); };
    std::vector<LoopbackCheckRow> rows;
    rows.push_back({"Latency", true, Figure(m.latency.ms, 3, " ms") + (m.latency.inverted ? ", polarity inverted" : ""),
                    limit(l.maxLatencyMs, "at most " + Figure(l.maxLatencyMs.value_or(0), 3, " ms") + " (--max-latency)"),
                    CLoopbackLimits{l.maxLatencyMs, {}, {}, {}, {}}, {}, m.latency.inverted});
    rows.push_back({"Frequency response", m.measured.response || l.maxResponseDeviationDb.has_value(),
                    PerChannel(std::min(channels, m.response.size()),
                               [&](std::size_t c) {
                                   const FrequencyResponse& r = m.response[c];
                                   return r.ok ? Signed(r.minDb, 2) + " to " + Signed(r.maxDb, 2, " dB") : "-";
                               }),
                    limit(l.maxResponseDeviationDb, "within \u00b1" + Figure(l.maxResponseDeviationDb.value_or(0), 2) +
                                                        " dB of 1 kHz (--max-response-deviation)"),
                    CLoopbackLimits{{}, l.maxResponseDeviationDb, {}, {}, {}}, {}});
    AnalysisExpectations thdn, frequency, dropouts;
    thdn.maxThdnDb = e.maxThdnDb;
    frequency.frequencyHz = e.frequencyHz;
    frequency.frequencyToleranceHz = e.frequencyToleranceHz;
    dropouts.maxDropouts = e.maxDropouts;
    rows.push_back({"THD+N", m.measured.thd || e.maxThdnDb.has_value(),
                    PerChannel(channels, [&](std::size_t c) { return At(m.thdnDb, c, 2, " dB", "no tone"); }),
                    limit(e.maxThdnDb, "at most " + Figure(e.maxThdnDb.value_or(0), 2, " dB") + " (--max-thdn)"), {},
                    thdn});
    rows.push_back({"Tone frequency", e.frequencyHz.has_value(),
                    PerChannel(std::min(channels, m.tone.channel.size()),
                               [&](std::size_t c) {
                                   const auto& t = m.tone.channel[c].tone;
                                   return t.isTone ? Figure(t.frequencyHz, 2, " Hz") : std::string("no tone");
                               }),
                    limit(e.frequencyHz, Figure(e.frequencyHz.value_or(0), 2, " Hz") + " within " +
                                             Figure(e.frequencyToleranceHz, 2, " Hz") + " (--expect-frequency)"),
                    {}, frequency});
    rows.push_back({"Dynamic range", m.measured.noise || l.minDynamicRangeDb.has_value(),
                    PerChannel(channels, [&](std::size_t c) { return At(m.dynamicRangeDb, c, 1, " dB", "lost in noise"); }),
                    limit(l.minDynamicRangeDb, "at least " + Figure(l.minDynamicRangeDb.value_or(0), 1, " dB") +
                                                   " (--min-dynamic-range)"),
                    CLoopbackLimits{{}, {}, l.minDynamicRangeDb, {}, {}}, {}});
    rows.push_back({"Noise floor", m.measured.noise || l.maxNoiseFloorDbfs.has_value(),
                    PerChannel(channels, [&](std::size_t c) { return At(m.noiseFloorDbfs, c, 1, " dBFS", "digital silence"); }),
                    limit(l.maxNoiseFloorDbfs, "at most " + Figure(l.maxNoiseFloorDbfs.value_or(0), 1, " dBFS") +
                                                   " (--max-noise-floor)"),
                    CLoopbackLimits{{}, {}, {}, l.maxNoiseFloorDbfs, {}}, {}});
    double worst = NoFigure;
    for (std::size_t d = 0; d < m.crosstalk.levelDb.size(); ++d)
        for (std::size_t c = 0; c < m.crosstalk.levelDb[d].size(); ++c)
            if (c != d && std::isfinite(m.crosstalk.levelDb[d][c]))
                worst = std::isfinite(worst) ? std::max(worst, m.crosstalk.levelDb[d][c]) : m.crosstalk.levelDb[d][c];
    rows.push_back({"Crosstalk", !m.crosstalk.levelDb.empty() || l.maxCrosstalkDb.has_value(),
                    "worst " + Figure(worst, 1, " dB", "none found") + (m.crosstalk.swapped ? ", channels swapped" : ""),
                    limit(l.maxCrosstalkDb, "at most " + Figure(l.maxCrosstalkDb.value_or(0), 1, " dB") +
                                                " every pair (--max-crosstalk)"),
                    CLoopbackLimits{{}, {}, {}, {}, l.maxCrosstalkDb}, {}, m.crosstalk.swapped});
    rows.push_back({"Dropouts", m.dropoutsChecked || e.maxDropouts.has_value(), std::to_string(m.dropoutCount),
                    limit(e.maxDropouts, "at most " + std::to_string(e.maxDropouts.value_or(0)) + " (--max-dropouts)"),
                    {}, dropouts, m.dropoutCount > 0});
    return rows;
}

void ChecksTable(CHtml& html, const CLoopbackRun& run)
{
    html.BeginTable("Checks, each with the limit it was judged by", {"Check", "Verdict", "Found", "Limit"});
    for (const LoopbackCheckRow& row : CheckRows(run)) {
        if (!row.shown)
            continue;
        Verdict verdict = row.amiss ? Verdict::Warn : Verdict::Info;
        std::string found = row.found;
        if (!row.threshold.empty()) {
            const std::vector<std::string> failed = CheckLoopback(run.measures, row.limits, row.tone);
            verdict = failed.empty() ? Verdict::Pass : Verdict::Fail;
            for (const std::string& words : failed)
                found += "; " + words;
        }
        html.Row({Cell(row.name), Badge(verdict), Cell(found),
                  Cell(row.threshold.empty() ? (row.amiss ? "none set (shown as a warning)" : "none set")
                                             : row.threshold)});
    }
    html.EndTable();
}

// A row of one value per channel after its label.
void ChannelRow(CHtml& html, const CLoopbackRun& run, const std::string& label,
                const std::function<std::string(std::size_t)>& value)
{
    std::vector<HtmlCell> cells = {Cell(label)};
    for (int c = 0; c < run.format.channels; ++c)
        cells.push_back(Cell(value(static_cast<std::size_t>(c))));
    html.Row(cells);
}

void ResponseRows(CHtml& html, const CLoopbackRun& run)
{
    const std::vector<FrequencyResponse>& response = run.measures.response;
    auto each = [&](const std::function<std::string(const FrequencyResponse&)>& value) {
        return [&response, value](std::size_t c) {
            return c < response.size() && response[c].ok ? value(response[c]) : std::string("-");
        };
    };
    ChannelRow(html, run, "Response lowest (dB re 1 kHz)",
               each([](const FrequencyResponse& r) { return Signed(r.minDb, 2) + " at " + Hz(FrequencyAt(r, r.minDb)); }));
    ChannelRow(html, run, "Response highest (dB re 1 kHz)",
               each([](const FrequencyResponse& r) { return Signed(r.maxDb, 2) + " at " + Hz(FrequencyAt(r, r.maxDb)); }));
    ChannelRow(html, run, "-3 dB below 1 kHz", each([](const FrequencyResponse& r) { return Hz(r.lowerMinus3Hz); }));
    ChannelRow(html, run, "-3 dB above 1 kHz", each([](const FrequencyResponse& r) { return Hz(r.upperMinus3Hz); }));
}

void FiguresTable(CHtml& html, const CLoopbackRun& run)
{
    const LoopbackMeasures& m = run.measures;
    std::vector<std::string> headers = {"Figure"};
    for (int c = 0; c < run.format.channels; ++c)
        headers.push_back("ch " + std::to_string(c + 1));
    html.BeginTable("Figures per channel", headers);
    ChannelRow(html, run, "Latency", [&](std::size_t) {
        return std::to_string(m.latency.frames) + " frames, " + Figure(m.latency.ms, 3, " ms") +
               (m.latency.inverted ? ", polarity INVERTED" : "");
    });
    if (m.measured.response)
        ResponseRows(html, run);
    if (m.measured.thd) {
        ChannelRow(html, run, "Gain at 1 kHz (dB)", [&](std::size_t c) { return At(m.gainDb, c, 2, "", "no tone"); });
        ChannelRow(html, run, "THD+N (dB)", [&](std::size_t c) { return At(m.thdnDb, c, 2, "", "no tone"); });
        ChannelRow(html, run, "THD+N (%)", [&](std::size_t c) {
            const double db = c < m.thdnDb.size() ? m.thdnDb[c] : NoFigure;
            return Figure(100 * std::pow(10, db / 20), db > -60 ? 3 : 5, "", "no tone");
        });
        ChannelRow(html, run, "Tone frequency (Hz)", [&](std::size_t c) {
            return c < m.tone.channel.size() && m.tone.channel[c].tone.isTone
                       ? Figure(m.tone.channel[c].tone.frequencyHz, 2)
                       : std::string("no tone");
        });
    }
    if (m.measured.noise) {
        ChannelRow(html, run, "Dynamic range (dB)", [&](std::size_t c) { return At(m.dynamicRangeDb, c, 1, "", "lost in noise"); });
        ChannelRow(html, run, "Noise floor (dBFS)", [&](std::size_t c) { return At(m.noiseFloorDbfs, c, 1, "", "digital silence"); });
    }
    const CrosstalkResult& x = m.crosstalk;
    for (std::size_t d = 0; d < x.levelDb.size(); ++d)
        ChannelRow(html, run, "Crosstalk, ch " + std::to_string(d + 1) + " driven (dB)", [&](std::size_t c) {
            return c == d ? std::string("(driven)") : c < x.levelDb[d].size() ? Figure(x.levelDb[d][c], 1, "", "none")
                                                                              : std::string("-");
        });
    if (!x.mapping.empty())
        ChannelRow(html, run, "Came back loudest in", [&](std::size_t c) {
            return c < x.mapping.size() ? "ch " + std::to_string(x.mapping[c] + 1) : std::string("-");
        });
    html.EndTable();
}

void DropoutTable(CHtml& html, const LoopbackMeasures& m)
{
    if (!m.dropoutsChecked || m.dropoutCount == 0)
        return;
    const std::size_t listed = std::min(m.dropouts.size(), DropoutRows);
    html.BeginTable("Dropouts (the first " + std::to_string(listed) + " of " + std::to_string(m.dropoutCount) + ")",
                    {"Channel", "Position (ms)", "Frames", "Kind"});
    for (std::size_t i = 0; i < listed; ++i) {
        const Dropout& d = m.dropouts[i];
        html.Row({Cell("ch " + std::to_string(d.channel + 1)), Cell(Figure(d.positionMs, 3)),
                  Cell(std::to_string(d.frames)), Cell(DropoutKindName(d.kind))});
    }
    html.EndTable();
    if (m.dropoutCount > listed)
        html.Paragraph(std::to_string(m.dropoutCount - listed) + " more dropout(s) are counted, not listed.");
}

void Failures(CHtml& html, const CLoopbackRun& run)
{
    if (run.outcome == LoopbackOutcome::DeviceFailed)
        html.VerdictLine(Verdict::Fail, "The " + run.failedStep + " step failed on the " +
                                            (run.failedDirection == WaveDirection::Input ? "input" : "output") +
                                            " device (code " + std::to_string(run.code) + "): " + run.error);
    else if (run.outcome != LoopbackOutcome::Measured)
        html.VerdictLine(run.outcome == LoopbackOutcome::NotMeasured ? Verdict::Fail : Verdict::Warn,
                         "Not measured: " + run.error);
    std::vector<std::string> words;
    if (run.inputHost)
        words = HostWords("capture", run.input.name, *run.inputHost);
    if (run.outputHost)
        for (const std::string& line : HostWords("playback", run.output.name, *run.outputHost))
            words.push_back(line);
    for (const std::string& line : words)
        html.VerdictLine(Verdict::Info, line);
}

} // namespace

void WriteLoopbackSection(CHtml& html, const CLoopbackRun& run)
{
    html.BeginSection("loopback", "The loopback");
    html.BeginFacts();
    html.Fact("Played on", std::to_string(run.output.position) + ": " + run.output.name);
    html.Fact("Recorded from", std::to_string(run.input.position) + ": " + run.input.name);
    html.Fact("Format", std::to_string(run.format.sampleRate) + " Hz, " + std::to_string(run.format.channels) +
                            " channel(s), " + std::to_string(run.format.bits) + "-bit (" +
                            std::to_string(run.format.validBits) + " valid), " +
                            (run.format.extended ? "extended" : "standard") + " description");
    html.Fact("Sequence", Figure(run.sequenceSeconds, 2, " s") + " played, " + Figure(run.captureSeconds, 2, " s") +
                              " recorded");
    html.Fact("Outcome", LoopbackOutcomeName(run.outcome));
    html.EndFacts();
    Failures(html, run);
    if (run.outcome == LoopbackOutcome::Measured) {
        if (run.checksSet)
            html.VerdictLine(run.failedChecks.empty() ? Verdict::Pass : Verdict::Fail,
                             run.failedChecks.empty() ? "Every limit set was met." : "A limit set was not met.");
        else
            html.VerdictLine(Verdict::Info, "No limits were set, so there is no verdict.");
        ChecksTable(html, run);
        FiguresTable(html, run);
        DropoutTable(html, run.measures);
        if (const std::string left = NotMeasuredList(run.measures.measured, run.format.channels); !left.empty())
            html.Paragraph("Not measured: " + left + " (--measure).");
        if (run.playbackUnfinished)
            html.VerdictLine(Verdict::Warn, "The capture filled before the output reported its playback done.");
        html.Figure(LoopbackRunSvg(run, "loopback-picture"),
                    "The frequency response of each channel and the spectrum of the captured 1 kHz tone.");
    } else {
        for (const std::string& line : run.failedChecks)
            html.VerdictLine(Verdict::Fail, line);
    }
    if (!run.plotError.empty())
        html.VerdictLine(Verdict::Fail, "The picture asked for was not written: " + run.plotError);
    html.EndSection();
}
