// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's section: its summary in the soak's own words, each check with
// the threshold it was judged by, the timeline, the events by kind and the
// first events. However long the run, the section stays small: the table
// lists ReportSoakEventRows events and counts the rest, and the timeline
// is bounded (SoakSvg.h).
#include <algorithm>
#include <array>
#include <cmath>

#include "measure/report/ReportSections.h"
#include "measure/soak/SoakResult.h"
#include "measure/soak/SoakText.h"
#include "measure/svg/Markup.h"
#include "measure/svg/SoakSvg.h"

namespace {

std::string Signed(double value, int decimals)
{
    const std::string text = MarkupNumber(value, decimals);
    return text[0] == '-' || text == "0" ? text : "+" + text;
}

// The summary's "Label:  value" lines, up to the blank line before the
// event lines, as name and value pairs.
void SummaryFacts(CHtml& html, const SoakRun& run)
{
    const std::string summary = SoakSummary(run);
    html.BeginFacts();
    for (std::size_t from = 0; from < summary.size();) {
        std::size_t end = summary.find('\n', from);
        if (end == std::string::npos)
            end = summary.size();
        const std::string line = summary.substr(from, end - from);
        from = end + 1;
        if (line.empty())
            break;
        const std::size_t colon = line.find(':');
        const std::size_t value = colon == std::string::npos ? 0 : line.find_first_not_of(' ', colon + 1);
        html.Fact(colon == std::string::npos ? "" : line.substr(0, colon),
                  value == std::string::npos ? "" : line.substr(value));
    }
    html.EndFacts();
}

// One check: judged by its own limit alone when it was set (the soak's
// checks and words), else a warning for what is plainly amiss, else passed;
// figures that imply no limit of their own are only noted.
struct SoakCheckRow {
    const char* name;
    std::string found;
    std::string threshold; // empty: none set
    SoakLimits only;       // this check's limit alone
    bool amiss = false;
    bool noteOnly = false;
};

Verdict RunVerdict(SoakOutcome outcome)
{
    switch (outcome) {
    case SoakOutcome::Completed: return Verdict::Pass;
    case SoakOutcome::Cancelled: return Verdict::Warn;
    case SoakOutcome::DeviceFailed:
    case SoakOutcome::Refused: break;
    }
    return Verdict::Fail;
}

std::vector<SoakCheckRow> CheckRows(const SoakRun& run, const SoakLimits& limits)
{
    std::vector<SoakCheckRow> rows;
    rows.push_back({"Xruns",
                    std::to_string(run.xruns) + " (input " + std::to_string(run.inputClock.xruns) + ", output " +
                        std::to_string(run.outputClock.xruns) + ")",
                    limits.maxXruns ? "at most " + std::to_string(*limits.maxXruns) + " (--max-xruns)" : "",
                    SoakLimits{limits.maxXruns, {}, {}, {}}, run.xruns > 0});
    rows.push_back({"Glitches no xrun explains", std::to_string(run.glitches),
                    limits.maxGlitches ? "at most " + std::to_string(*limits.maxGlitches) + " (--max-glitches)" : "",
                    SoakLimits{{}, limits.maxGlitches, {}, {}}, run.glitches > 0});
    const bool duplex = run.mode == SoakMode::FullDuplex;
    if (duplex || limits.maxDriftPpm)
        rows.push_back({"Drift (the input's clock against the output's)",
                        run.driftPpm.valid ? Signed(run.driftPpm.value, 3) + " ppm \u00b1 " +
                                                 MarkupNumber(run.driftPpm.uncertainty, 3)
                                           : "not measured",
                        limits.maxDriftPpm ? "at most " + MarkupNumber(*limits.maxDriftPpm, 3) +
                                                 " ppm either way (--max-drift-ppm)"
                                           : "",
                        SoakLimits{{}, {}, limits.maxDriftPpm, {}}, false, true});
    if (duplex || limits.maxLatencyWanderMs) {
        const double ms = 1000.0 / run.format.sampleRate;
        rows.push_back({"Latency wander",
                        run.stimulusHeard ? MarkupNumber(run.LatencyWanderMs(), 3) + " ms (" +
                                                MarkupNumber(run.latencyMinFrames * ms, 3) + " to " +
                                                MarkupNumber(run.latencyMaxFrames * ms, 3) + " ms)"
                                          : "not found: the stimulus was not heard",
                        limits.maxLatencyWanderMs ? "at most " + MarkupNumber(*limits.maxLatencyWanderMs, 3) +
                                                        " ms (--max-latency-wander)"
                                                  : "",
                        SoakLimits{{}, {}, {}, limits.maxLatencyWanderMs}, duplex && !run.stimulusHeard, true});
    }
    return rows;
}

void ChecksTable(CHtml& html, const SoakRun& run, const SoakLimits& limits)
{
    html.BeginTable("Checks, each with the threshold it was judged by", {"Check", "Verdict", "Found", "Threshold"});
    std::string ran = MarkupNumber(run.elapsedSeconds, 1) + " s, " +
                      (run.outcome == SoakOutcome::Completed   ? std::string("completed")
                       : run.outcome == SoakOutcome::Cancelled ? std::string("cancelled")
                                                               : "ended: " + run.error);
    html.Row({Cell("Ran its time"), Badge(RunVerdict(run.outcome)), Cell(ran),
              Cell(run.durationSeconds > 0 ? MarkupNumber(run.durationSeconds, 1) + " s asked" : "until ended")});
    for (const SoakCheckRow& row : CheckRows(run, limits)) {
        Verdict verdict = Verdict::Pass;
        std::string found = row.found;
        if (!row.threshold.empty()) {
            const std::vector<std::string> failed = CheckSoak(run, row.only);
            verdict = failed.empty() ? Verdict::Pass : Verdict::Fail;
            for (const std::string& words : failed)
                found += "; " + words;
        } else if (row.amiss) {
            verdict = Verdict::Warn;
        } else if (row.noteOnly) {
            verdict = Verdict::Info;
        }
        html.Row({Cell(row.name), Badge(verdict), Cell(found),
                  Cell(row.threshold.empty() ? (row.amiss ? "none set (shown as a warning)" : "none set")
                                             : row.threshold)});
    }
    html.EndTable();
}

void EventsByKind(CHtml& html, const SoakRun& run)
{
    constexpr std::array<SoakEventKind, 10> Kinds = {
        SoakEventKind::Xrun,          SoakEventKind::Starved,   SoakEventKind::Dropout,    SoakEventKind::Gap,
        SoakEventKind::Jump,          SoakEventKind::Discontinuity, SoakEventKind::LevelStep, SoakEventKind::Silence,
        SoakEventKind::DeviceLost,    SoakEventKind::DeviceFailed};
    const bool all = run.eventCount <= run.events.size();
    html.BeginTable(all ? "Events by kind" : "Events by kind, among the first " + std::to_string(run.events.size()) +
                                                 " of " + std::to_string(run.eventCount),
                    {"Event", "Input", "Output"});
    for (SoakEventKind kind : Kinds) {
        std::uint64_t input = 0, output = 0;
        for (const SoakEvent& e : run.events)
            if (e.kind == kind)
                ++(e.direction == WaveDirection::Input ? input : output);
        if (input + output > 0)
            html.Row({Cell(SoakEventKindName(kind)), Cell(std::to_string(input)), Cell(std::to_string(output))});
    }
    html.EndTable();
}

std::string Details(const SoakEvent& e)
{
    std::vector<std::string> parts;
    if (e.kind == SoakEventKind::Jump || e.kind == SoakEventKind::Gap)
        parts.push_back("latency " + Signed(e.shift, 2) + " frames" +
                        (e.shiftExact ? "" : " (modulo the tone's period)"));
    if (e.kind == SoakEventKind::LevelStep)
        parts.push_back(Signed(e.levelDb, 2) + " dB");
    if (e.kind == SoakEventKind::DeviceFailed)
        parts.push_back("code " + std::to_string(e.code));
    if (e.explained)
        parts.push_back("the xrun's");
    if (!e.detail.empty())
        parts.push_back(e.detail);
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "; ") + part;
    return text;
}

void EventTable(CHtml& html, const SoakRun& run)
{
    const std::size_t listed = std::min(run.events.size(), ReportSoakEventRows);
    html.BeginTable(listed == run.eventCount ? "Events, in the order they came"
                                             : "Events, the first " + std::to_string(listed) + " of " +
                                                   std::to_string(run.eventCount),
                    {"Time (s)", "Event", "Direction", "Frame", "Frames", "Details"});
    for (std::size_t i = 0; i < listed; ++i) {
        const SoakEvent& e = run.events[i];
        html.Row({Cell(MarkupNumber(e.seconds, 6)), Cell(SoakEventKindName(e.kind)),
                  Cell(e.direction == WaveDirection::Input ? "input" : "output"), Cell(std::to_string(e.frame)),
                  Cell(std::to_string(e.frames)), Cell(Details(e))});
    }
    html.EndTable();
    if (run.eventCount > listed)
        html.Paragraph(std::to_string(run.eventCount - listed) + " more event(s) are counted, not listed: this "
                       "file's data block holds the first " + std::to_string(run.events.size()) +
                       " the soak kept, and its --log every one.");
}

} // namespace

void WriteSoakSection(CHtml& html, const SoakRun& run, const SoakLimits& limits)
{
    html.BeginSection("soak", "The soak");
    SummaryFacts(html, run);
    if (limits.Any())
        html.VerdictLine(run.failedChecks.empty() ? Verdict::Pass : Verdict::Fail,
                         run.failedChecks.empty() ? "Every limit set was met." : "A limit set was not met.");
    else
        html.VerdictLine(Verdict::Info, "No limits were set: what is plainly amiss is shown as a warning.");
    ChecksTable(html, run, limits);
    if (!run.plotError.empty())
        html.VerdictLine(Verdict::Fail, "The picture asked for was not written: " + run.plotError);
    html.Figure(SoakSvg(run, "soak-picture"),
                "The soak's timeline: the events at their times, then " +
                    std::string(run.mode == SoakMode::FullDuplex   ? "the latency and the drift so far"
                                : run.mode == SoakMode::RecordOnly ? "the input's level"
                                                                   : "nothing else (the output alone)") +
                    ", over the time since the start.");
    if (run.events.empty()) {
        html.Paragraph("No events.");
    } else {
        EventsByKind(html, run);
        EventTable(html, run);
    }
    html.EndSection();
}
