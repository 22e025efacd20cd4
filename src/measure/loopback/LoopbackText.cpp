// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/loopback/LoopbackText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/AnalysisText.h"

namespace {

constexpr std::size_t LabelColumns = 30;
constexpr std::size_t ValueColumns = 20;

class CTable {
public:
    explicit CTable(const std::string& lineEnd) : lineEnd(lineEnd) {}

    void Line(const std::string& text) { out += text + lineEnd; }
    // A label and one value per channel, each in its column.
    void Row(const std::string& label, const std::vector<std::string>& values)
    {
        std::string line = Pad(label, LabelColumns);
        for (std::size_t i = 0; i < values.size(); ++i)
            line += i + 1 < values.size() ? Pad(values[i], ValueColumns) : values[i];
        Line(line);
    }
    const std::string& Text() const { return out; }

private:
    static std::string Pad(const std::string& text, std::size_t width)
    {
        return text.size() + 1 >= width ? text + " " : text + std::string(width - text.size(), ' ');
    }
    std::string lineEnd;
    std::string out;
};

// A figure with its sign and decimals, or the words for its absence.
std::string Fig(double value, int decimals, const char* absent = "-", bool sign = false)
{
    if (!std::isfinite(value))
        return absent;
    // What rounds to zero prints as zero, never "-0.00".
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0;
    char text[64];
    std::snprintf(text, sizeof text, sign ? "%+.*f" : "%.*f", decimals, value);
    return text;
}

std::vector<std::string> PerChannel(const std::vector<double>& figures, int decimals, const char* absent)
{
    std::vector<std::string> values;
    for (double x : figures)
        values.push_back(Fig(x, decimals, absent));
    return values;
}

std::string Hz(double hz)
{
    return std::isfinite(hz) ? Fig(hz, hz < 100 && hz != std::floor(hz) ? 1 : 0) + " Hz" : "none";
}

// The frequency at which the response reaches `db` (its lowest or highest).
double FrequencyAt(const FrequencyResponse& r, double db)
{
    for (const ResponsePoint& p : r.points)
        if (p.db == db)
            return p.hz;
    return NoFigure;
}

void ResponseBlock(CTable& t, const CLoopbackRun& run)
{
    const auto& response = run.measures.response;
    t.Line("Frequency response, dB re 1 kHz, " + Hz(SweepStartHz) + " to " +
           Hz(SweepTopShare * run.format.sampleRate));
    std::vector<std::string> lowest, highest, below, above;
    for (const FrequencyResponse& r : response) {
        lowest.push_back(Fig(r.minDb, 2, "-", true) + " at " + Hz(FrequencyAt(r, r.minDb)));
        highest.push_back(Fig(r.maxDb, 2, "-", true) + " at " + Hz(FrequencyAt(r, r.maxDb)));
        below.push_back(Hz(r.lowerMinus3Hz));
        above.push_back(Hz(r.upperMinus3Hz));
    }
    t.Row("  lowest", lowest);
    t.Row("  highest", highest);
    t.Row("  -3 dB below 1 kHz", below);
    t.Row("  -3 dB above 1 kHz", above);
}

void ToneBlock(CTable& t, const LoopbackMeasures& m)
{
    t.Row("Gain at 1 kHz, dB", PerChannel(m.gainDb, 2, "no tone"));
    t.Row("THD+N, dB", PerChannel(m.thdnDb, 2, "no tone"));
    std::vector<std::string> percent, frequency;
    for (double db : m.thdnDb)
        percent.push_back(Fig(100 * std::pow(10, db / 20), db > -60 ? 3 : 5, "no tone"));
    for (const ChannelAnalysis& c : m.tone.channel)
        frequency.push_back(c.tone.isTone ? Fig(c.tone.frequencyHz, 2) : "no tone");
    t.Row("THD+N, %", percent);
    t.Row("Tone frequency, Hz", frequency);
}

void CrosstalkBlock(CTable& t, const CrosstalkResult& x)
{
    t.Line("Crosstalk, dB re the driven channel");
    for (std::size_t d = 0; d < x.levelDb.size(); ++d) {
        std::vector<std::string> values;
        for (std::size_t c = 0; c < x.levelDb[d].size(); ++c)
            values.push_back(c == d ? "(driven)" : Fig(x.levelDb[d][c], 1, "none"));
        t.Row("  channel " + std::to_string(d + 1) + " driven", values);
    }
    std::vector<std::string> back;
    for (std::uint16_t c : x.mapping)
        back.push_back("channel " + std::to_string(c + 1));
    t.Row("  came back loudest in", back);
    t.Row("  channels", {x.swapped ? "SWAPPED" : "in place"});
}

void DropoutBlock(CTable& t, const LoopbackMeasures& m)
{
    t.Row("Dropouts", {std::to_string(m.dropoutCount)});
    for (std::size_t i = 0; i < m.dropouts.size() && i < LoopbackTableDropoutLines; ++i) {
        const Dropout& d = m.dropouts[i];
        t.Line("  channel " + std::to_string(d.channel + 1) + " at " + Fig(d.positionMs, 3) + " ms, " +
               std::to_string(d.frames) + " frames (" + DropoutKindName(d.kind) + ")");
    }
    const std::uint64_t listed = std::min<std::uint64_t>(m.dropouts.size(), LoopbackTableDropoutLines);
    if (m.dropoutCount > listed)
        t.Line("  ... " + std::to_string(m.dropoutCount - listed) + " more");
}

void Header(CTable& t, const CLoopbackRun& run)
{
    const CLoopbackFormat& f = run.format;
    t.Line("Loopback measurement");
    t.Line("  Input:    " + std::to_string(run.input.position) + ": " + run.input.name);
    t.Line("  Output:   " + std::to_string(run.output.position) + ": " + run.output.name);
    t.Line("  Format:   " + std::to_string(f.sampleRate) + " Hz, " + std::to_string(f.channels) + " channel" +
           (f.channels == 1 ? "" : "s") + ", " + std::to_string(f.bits) + "-bit, " + std::to_string(f.validBits) +
           " valid bits, " + (f.extended ? "extended" : "standard") + " API wave format");
    t.Line("  Sequence: " + Fig(run.sequenceSeconds, 2) + " s played, " + Fig(run.captureSeconds, 2) + " s recorded");
}


void ChecksBlock(CTable& t, const CLoopbackRun& run)
{
    if (!run.checksSet)
        return;
    t.Line(run.failedChecks.empty() ? "Checks: all passed"
                                    : "Checks: " + std::to_string(run.failedChecks.size()) + " FAILED");
    for (const std::string& f : run.failedChecks)
        t.Line("  " + f);
}

} // namespace

std::string NotMeasuredList(const MeasureSelection& s, std::uint16_t channels)
{
    std::string list;
    auto add = [&list](bool measured, const char* name) {
        if (!measured)
            list += (list.empty() ? "" : ", ") + std::string(name);
    };
    add(s.response, "response");
    add(s.thd, "thd");
    add(s.noise, "noise");
    if (channels > 1)
        add(s.crosstalk, "crosstalk");
    return list;
}

std::string LoopbackTable(const CLoopbackRun& run, const std::string& lineEnd)
{
    CTable t(lineEnd);
    Header(t, run);
    t.Line("");
    if (run.outcome != LoopbackOutcome::Measured) {
        t.Line(run.outcome == LoopbackOutcome::NotMeasured
                   ? "Not measured: " + run.error
                   : std::string("Not measured (") + LoopbackOutcomeName(run.outcome) + "): " + run.error);
        ChecksBlock(t, run);
        return t.Text();
    }
    const LoopbackMeasures& m = run.measures;
    std::vector<std::string> columns;
    for (int c = 0; c < run.format.channels; ++c)
        columns.push_back("Channel " + std::to_string(c + 1));
    t.Row("", columns);
    t.Row("Latency", {std::to_string(m.latency.frames) + " frames, " + Fig(m.latency.ms, 3) + " ms" +
                          (m.latency.inverted ? ", polarity INVERTED" : "")});
    if (m.measured.response)
        ResponseBlock(t, run);
    if (m.measured.thd)
        ToneBlock(t, m);
    if (m.measured.noise) {
        t.Row("Dynamic range, dB", PerChannel(m.dynamicRangeDb, 1, "lost in noise"));
        t.Row("Noise floor, dBFS", PerChannel(m.noiseFloorDbfs, 1, "digital silence"));
    }
    if (m.measured.crosstalk)
        CrosstalkBlock(t, m.crosstalk);
    if (m.dropoutsChecked)
        DropoutBlock(t, m);
    if (std::string left = NotMeasuredList(m.measured, static_cast<std::uint16_t>(run.format.channels));
        !left.empty())
        t.Line("Not measured: " + left + " (--measure)");
    if (run.playbackUnfinished)
        t.Line("Note: the capture filled before the output reported its playback done");
    ChecksBlock(t, run);
    if (run.plotPath)
        t.Line("Plot: " + *run.plotPath);
    if (!run.plotError.empty())
        t.Line("Plot not written: " + run.plotError);
    return t.Text();
}
