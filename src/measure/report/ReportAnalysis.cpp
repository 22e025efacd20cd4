// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis's section: the figures per channel, each verdict with the
// threshold it was judged by, the program's own text, and the pictures.
#include <algorithm>
#include <cmath>
#include <functional>

#include "analysis/AnalysisText.h"
#include "measure/AnalysisOutcome.h"
#include "measure/report/HtmlReport.h"
#include "measure/report/ReportSections.h"
#include "measure/svg/Markup.h"
#include "measure/svg/MeasureSvg.h"

namespace {

constexpr std::size_t DropoutRows = 20;

std::string Figure(double value, int decimals, const char* unit)
{
    return std::isfinite(value) ? MarkupNumber(value, decimals) + unit : "-";
}

// One value per channel, as a row of cells after its label.
std::vector<HtmlCell> ChannelRow(const std::string& label, const SignalAnalysis& a,
                                 const std::function<std::string(const ChannelAnalysis&)>& value)
{
    std::vector<HtmlCell> row = {Cell(label)};
    for (const ChannelAnalysis& c : a.channel)
        row.push_back(Cell(value(c)));
    return row;
}

std::string PerChannel(const SignalAnalysis& a, const std::function<std::string(const ChannelAnalysis&)>& value)
{
    std::string text;
    for (std::size_t c = 0; c < a.channel.size(); ++c)
        text += (c > 0 ? "; " : "") + std::string("ch ") + std::to_string(c + 1) + " " + value(a.channel[c]);
    return text;
}

void FiguresTable(CHtml& html, const SignalAnalysis& a)
{
    std::vector<std::string> headers = {"Figure"};
    for (std::size_t c = 0; c < a.channel.size(); ++c)
        headers.push_back("ch " + std::to_string(c + 1));
    html.BeginTable("Figures per channel", headers);
    html.Row(ChannelRow("Peak (dBFS)", a, [](const ChannelAnalysis& c) { return Figure(c.peakDbfs, 2, ""); }));
    html.Row(ChannelRow("RMS (dBFS)", a, [](const ChannelAnalysis& c) { return Figure(c.rmsDbfs, 2, ""); }));
    html.Row(ChannelRow("DC offset (steps)", a, [](const ChannelAnalysis& c) { return Figure(c.dcOffset, 2, ""); }));
    html.Row(ChannelRow("Crest factor (dB)", a, [](const ChannelAnalysis& c) { return Figure(c.crestFactorDb, 2, ""); }));
    html.Row(ChannelRow("Clipped samples", a, [](const ChannelAnalysis& c) { return std::to_string(c.clippedSamples); }));
    html.Row(ChannelRow("Digital silence", a, [](const ChannelAnalysis& c) {
        return c.silent ? std::string("yes") : c.ditherLevel ? std::string("dither level") : std::string("no");
    }));
    html.Row(ChannelRow("Valid bits carried", a, [](const ChannelAnalysis& c) { return std::to_string(c.validBitsCarried); }));
    html.Row(ChannelRow("Tone (Hz)", a, [](const ChannelAnalysis& c) {
        return c.tone.isTone ? Figure(c.tone.frequencyHz, 2, "") : std::string("no tone");
    }));
    html.Row(ChannelRow("Tone level (dBFS)", a, [](const ChannelAnalysis& c) { return Figure(c.tone.levelDbfs, 2, ""); }));
    html.Row(ChannelRow("THD+N (dB)", a, [](const ChannelAnalysis& c) { return Figure(c.tone.thdnDb, 2, ""); }));
    html.Row(ChannelRow("SNR (dB)", a, [](const ChannelAnalysis& c) { return Figure(c.tone.snrDb, 2, ""); }));
    html.Row(ChannelRow("Noise floor (dBFS)", a, [](const ChannelAnalysis& c) { return Figure(c.tone.noiseFloorDbfs, 2, ""); }));
    html.Row(ChannelRow("Dropouts", a, [](const ChannelAnalysis& c) { return std::to_string(c.dropoutCount); }));
    html.EndTable();
}

// One verdict: judged by its own threshold alone when one was set (the
// checks' own code and words), else a warning for what is plainly amiss,
// else passed; figures that imply no limit of their own are only noted.
struct VerdictRow {
    const char* name;
    std::string found;
    std::string threshold;     // empty: none set
    AnalysisExpectations only; // this check's threshold alone
    bool amiss = false;        // worth a warning without a threshold
    bool noteOnly = false;     // nothing implied without a threshold
};

void VerdictTable(CHtml& html, const CAnalysisOutcome& o)
{
    const SignalAnalysis& a = o.analysis;
    const AnalysisExpectations& e = o.expect;
    std::uint64_t clipped = 0;
    bool silent = false;
    for (const ChannelAnalysis& c : a.channel) {
        clipped += c.clippedSamples;
        silent = silent || c.silent;
    }
    std::vector<VerdictRow> rows;
    auto add = [&rows](VerdictRow row, const std::function<void(AnalysisExpectations&)>& set, bool isSet) {
        if (isSet)
            set(row.only);
        else
            row.threshold.clear();
        rows.push_back(std::move(row));
    };
    add({"Silence", PerChannel(a, [](const ChannelAnalysis& c) { return c.silent ? "silent" : "signal"; }),
         "no channel digital silence (--no-silence)", {}, silent},
        [](AnalysisExpectations& x) { x.noSilence = true; }, e.noSilence);
    add({"Clipping", std::to_string(clipped) + " clipped sample(s)",
         e.maxClipped ? "at most " + std::to_string(*e.maxClipped) + " (--max-clipped)" : "", {}, clipped > 0},
        [&e](AnalysisExpectations& x) { x.maxClipped = e.maxClipped; }, e.maxClipped.has_value());
    add({"Valid bits carried", std::to_string(a.validBitsCarried) + " of " + std::to_string(a.requestedValidBits) + " asked",
         e.validBits ? "exactly " + std::to_string(*e.validBits) + " (--expect-valid-bits)" : "", {},
         a.validBitsMismatch},
        [&e](AnalysisExpectations& x) { x.validBits = e.validBits; }, e.validBits.has_value());
    add({"Dropouts", std::to_string(a.dropoutCount) + " dropout(s)",
         e.maxDropouts ? "at most " + std::to_string(*e.maxDropouts) + " (--max-dropouts)" : "", {},
         a.dropoutCount > 0},
        [&e](AnalysisExpectations& x) { x.maxDropouts = e.maxDropouts; }, e.maxDropouts.has_value());
    add({"Tone", PerChannel(a, [](const ChannelAnalysis& c) { return c.tone.isTone ? Figure(c.tone.frequencyHz, 2, " Hz") : std::string("no tone"); }),
         e.frequencyHz ? MarkupNumber(*e.frequencyHz, 2) + " Hz within " + MarkupNumber(e.frequencyToleranceHz, 2) +
                             " Hz (--expect-frequency)" : "", {}, false, true},
        [&e](AnalysisExpectations& x) { x.frequencyHz = e.frequencyHz; x.frequencyToleranceHz = e.frequencyToleranceHz; },
        e.frequencyHz.has_value());
    add({"THD+N", PerChannel(a, [](const ChannelAnalysis& c) { return Figure(c.tone.thdnDb, 2, " dB"); }),
         e.maxThdnDb ? "at most " + MarkupNumber(*e.maxThdnDb, 2) + " dB (--max-thdn)" : "", {}, false, true},
        [&e](AnalysisExpectations& x) { x.maxThdnDb = e.maxThdnDb; }, e.maxThdnDb.has_value());
    add({"SNR", PerChannel(a, [](const ChannelAnalysis& c) { return Figure(c.tone.snrDb, 2, " dB"); }),
         e.minSnrDb ? "at least " + MarkupNumber(*e.minSnrDb, 2) + " dB (--min-snr)" : "", {}, false, true},
        [&e](AnalysisExpectations& x) { x.minSnrDb = e.minSnrDb; }, e.minSnrDb.has_value());
    add({"Level", PerChannel(a, [](const ChannelAnalysis& c) { return Figure(c.rmsDbfs, 2, " dBFS RMS"); }),
         e.minLevelDbfs ? "at least " + MarkupNumber(*e.minLevelDbfs, 2) + " dBFS (--min-level)" : "", {}, false, true},
        [&e](AnalysisExpectations& x) { x.minLevelDbfs = e.minLevelDbfs; }, e.minLevelDbfs.has_value());

    html.BeginTable("Verdicts, each with the threshold it was judged by", {"Check", "Verdict", "Found", "Threshold"});
    for (const VerdictRow& row : rows) {
        Verdict verdict = Verdict::Pass;
        if (!row.threshold.empty())
            verdict = CheckAnalysis(a, row.only).empty() ? Verdict::Pass : Verdict::Fail;
        else if (row.amiss)
            verdict = Verdict::Warn;
        else if (row.noteOnly)
            verdict = Verdict::Info;
        html.Row({Cell(row.name), Badge(verdict), Cell(row.found),
                  Cell(row.threshold.empty() ? (row.amiss ? "none set (shown as a warning)" : "none set")
                                             : row.threshold)});
    }
    html.EndTable();
}

void DropoutTable(CHtml& html, const SignalAnalysis& a)
{
    if (a.dropoutCount == 0)
        return;
    html.BeginTable("Dropouts (the first " + std::to_string(std::min<std::size_t>(DropoutRows, a.dropouts.size())) +
                        " of " + std::to_string(a.dropoutCount) + ")",
                    {"Channel", "Position (ms)", "Frame", "Frames", "Kind"});
    for (std::size_t i = 0; i < a.dropouts.size() && i < DropoutRows; ++i) {
        const Dropout& d = a.dropouts[i];
        html.Row({Cell("ch " + std::to_string(d.channel + 1)), Cell(Figure(d.positionMs, 2, "")),
                  Cell(std::to_string(d.frame)), Cell(std::to_string(d.frames)), Cell(DropoutKindName(d.kind))});
    }
    html.EndTable();
    if (a.dropoutCount > DropoutRows)
        html.Paragraph(std::to_string(a.dropoutCount - DropoutRows) + " more dropout(s) are counted, not listed.");
}

} // namespace

void WriteAnalysisSection(CHtml& html, const CAnalysisOutcome& o)
{
    const SignalAnalysis& a = o.analysis;
    html.BeginSection("analysis", "The analysis of " + o.title);
    html.BeginFacts();
    html.Fact("What was analysed", o.subject + ": " + o.title);
    if (a.ok) {
        html.Fact("Format", std::to_string(a.sampleRate) + " Hz, " + std::to_string(a.channels) + " channel(s), " +
                                std::to_string(a.containerBits) + "-bit, " + std::to_string(a.requestedValidBits) +
                                " valid bits asked");
        html.Fact("Length", std::to_string(a.frames) + " frames, " + Figure(a.durationSeconds, 3, " s"));
        html.Fact("Channels compared", ChannelRelationName(a.relation));
    }
    html.EndFacts();
    if (o.file)
        for (const std::string& line : WaveFileLines(*o.file))
            html.VerdictLine(line.rfind("Warning", 0) == 0 ? Verdict::Warn : Verdict::Info, line);
    if (!a.ok) {
        html.VerdictLine(Verdict::Fail, "Not analysed: " + a.error);
    } else {
        if (o.checksSet)
            html.VerdictLine(o.failedChecks.empty() ? Verdict::Pass : Verdict::Fail,
                             o.failedChecks.empty() ? "Every check set was met." : "A check set was not met.");
        for (const std::string& line : o.failedChecks)
            html.VerdictLine(Verdict::Fail, line);
        FiguresTable(html, a);
        VerdictTable(html, o);
        DropoutTable(html, a);
        html.Figure(AnalysisSvg(a, o.title, "analysis-picture"),
                    "The waveform of each channel and the averaged spectrum of " + o.title + ".");
    }
    if (!o.plotError.empty())
        html.VerdictLine(Verdict::Fail, "The picture asked for was not written: " + o.plotError);
    html.Heading3("The analysis as the command line prints it");
    html.Preformatted(AnalysisSection(o, "\n"), "The analysis section in text");
    html.EndSection();
}
