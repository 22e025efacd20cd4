// SPDX-License-Identifier: GPL-3.0-or-later
// The format matrix's section: per device, and for the loop, one table per
// description and channel count (rows the rates, columns the widths as
// valid/container bits) with each cell's mark, the device's refusals in
// the host's words, then the legend, all as tables (the command line's
// marks and words).
#include <algorithm>
#include <map>
#include <tuple>

#include "measure/formats/FormatMatrixText.h"
#include "measure/report/ReportSections.h"
#include "measure/svg/Markup.h"
#include "sequence/Report.h"

namespace {

struct GridKeys {
    std::vector<bool> descriptions;
    std::vector<std::uint16_t> channelCounts;
    std::vector<FormatWidth> widths;
    std::vector<std::uint32_t> rates;
};

template <typename Value>
void AddOnce(std::vector<Value>& values, const Value& value)
{
    if (std::find(values.begin(), values.end(), value) == values.end())
        values.push_back(value);
}

GridKeys KeysOf(const std::vector<FormatKey>& keys)
{
    GridKeys g;
    for (const FormatKey& k : keys) {
        AddOnce(g.descriptions, k.extended);
        AddOnce(g.channelCounts, k.channels);
        AddOnce(g.widths, k.width);
        AddOnce(g.rates, k.sampleRate);
    }
    std::sort(g.rates.begin(), g.rates.end());
    return g;
}

// The mark in a cell of its class: taken, refused, failed or partly.
HtmlCell MarkCell(const std::string& mark)
{
    if (mark.empty())
        return {"<span class=\"info\">not tried</span>"};
    const char* kind = mark == "+" || mark == "D" || mark == "T" ? "pass"
                       : mark == "." || mark == "-"               ? "info"
                       : mark == "!"                              ? "fail"
                                                                  : "warn";
    return {"<span class=\"mark " + std::string(kind) + "\">" + Cell(mark).html + "</span>"};
}

template <typename Mark>
void Grids(CHtml& html, const std::string& subject, const std::vector<FormatKey>& keys, Mark mark)
{
    const GridKeys g = KeysOf(keys);
    std::vector<std::string> headers = {"Rate (Hz)"};
    for (const FormatWidth& w : g.widths)
        headers.push_back(std::to_string(w.validBits) + "/" + std::to_string(w.bits) + " bits");
    for (bool extended : g.descriptions)
        for (std::uint16_t channels : g.channelCounts) {
            html.BeginTable(subject + ": " + (extended ? "extended" : "standard") + " description, " +
                                std::to_string(channels) + (channels == 1 ? " channel" : " channels"),
                            headers);
            for (std::uint32_t rate : g.rates) {
                std::vector<HtmlCell> row = {Cell(std::to_string(rate))};
                for (const FormatWidth& w : g.widths)
                    row.push_back(MarkCell(mark(FormatKey{rate, channels, w, extended})));
                html.Row(row);
            }
            html.EndTable();
        }
}

// The marks as the command line's legend words them.
constexpr const char* Legend[][2] = {
    {"+", "opens in exactly that format"},
    {".", "refused by the device"},
    {"-", "refused before the device (a plain PCM description has no valid bits apart from its container)"},
    {"!", "failed (another code)"},
    {"D", "delivered: heard, every valid bit, no gap, no xrun, on time"},
    {"s", "not delivered: silent"},
    {"b", "not delivered: valid bits missing"},
    {"g", "not delivered: a gap or an xrun"},
    {"t", "not delivered: not on time"},
};
constexpr const char* LoopLegend[][2] = {
    {"T", "bit-transparent"},
    {"G", "level changed"},
    {"R", "resampled"},
    {"Q", "truncated (low bits lost)"},
    {"N", "noise added (dithered or mixed)"},
    {"S", "channels swapped"},
    {"~", "not bit for bit, and none of the marks above says why"},
    {"?", "the sequence was not found in what came back (nothing, or a band cut to a fraction of the rate's)"},
    {"!", "run failed"},
};

void LegendTable(CHtml& html, bool loop)
{
    html.BeginTable("What the marks mean (a mark of several letters has each meaning)", {"Mark", "Meaning"});
    for (const auto& [mark, meaning] : Legend)
        html.Row({MarkCell(mark), Cell(meaning)});
    if (loop)
        for (const auto& [mark, meaning] : LoopLegend)
            html.Row({MarkCell(mark), Cell("the loop: " + std::string(meaning))});
    html.EndTable();
}

// The device's refusals, counted by code and the host's call and words.
void RefusalTable(CHtml& html, const std::string& subject, const FormatDeviceMatrix& m)
{
    std::map<std::tuple<WaveResult, std::string, std::string>, std::size_t> counts;
    std::size_t byRules = 0;
    for (const FormatCell& cell : m.cells) {
        if (!cell.accept.tried || cell.accept.Accepted())
            continue;
        if (cell.accept.byRules)
            ++byRules;
        else
            counts[{cell.accept.code, cell.accept.host.call, cell.accept.host.text}]++;
    }
    if (counts.empty() && byRules == 0)
        return;
    html.BeginTable(subject + ": refusals, in the host's words", {"Code", "Combinations", "Meaning", "Host's call",
                                                                  "Host's words"});
    for (const auto& [what, count] : counts) {
        const auto& [code, call, words] = what;
        html.Row({Cell(std::to_string(code)), Cell(std::to_string(count)), Cell(ResultCodeText(code)), Cell(call),
                  Cell(words)});
    }
    if (byRules > 0)
        html.Row({Cell("-"), Cell(std::to_string(byRules)), Cell("refused before the device"), Cell(""),
                  Cell("a plain PCM description states no valid bits apart from its container")});
    html.EndTable();
}

void DeviceGrids(CHtml& html, const FormatMatrixResult& result, const FormatDeviceMatrix& m)
{
    std::vector<FormatKey> keys;
    for (const FormatCell& cell : m.cells)
        keys.push_back(cell.key);
    const std::string subject = std::string(m.direction == WaveDirection::Input ? "Input" : "Output") + " '" +
                                m.name + "'" + (m.hostName.empty() ? "" : " (" + m.hostName + ")");
    Grids(html, subject, keys, [&](const FormatKey& key) {
        for (const FormatCell& cell : m.cells)
            if (cell.key == key)
                return FormatCellMark(cell, m.direction, result.level);
        return std::string();
    });
    RefusalTable(html, subject, m);
}

void LoopGrids(CHtml& html, const FormatMatrixResult& result)
{
    if (result.loop.empty())
        return;
    std::vector<FormatKey> keys;
    for (const FormatLoopCell& cell : result.loop)
        keys.push_back(cell.key);
    Grids(html, "The loop (output wired back to input)", keys, [&](const FormatKey& key) {
        for (const FormatLoopCell& cell : result.loop)
            if (cell.key == key)
                return FormatLoopMark(cell.verdict);
        return std::string();
    });
}

} // namespace

void WriteFormatsSection(CHtml& html, const std::vector<FormatMatrixResult>& results,
                         const std::vector<std::string>& unmet)
{
    html.BeginSection("formats", "The format matrix");
    for (const std::string& text : unmet)
        html.VerdictLine(Verdict::Fail, "Expected and not met: " + text);
    for (std::size_t i = 0; i < results.size(); ++i) {
        const FormatMatrixResult& result = results[i];
        html.Heading3("Session " + std::to_string(i + 1) + " of " + std::to_string(results.size()) + ", level " +
                      FormatLevelName(result.level));
        if (result.cancelled)
            html.VerdictLine(Verdict::Warn, "Cancelled: what was taken before is shown.");
        if (result.DeviceFailed())
            html.VerdictLine(Verdict::Fail, "A device failed other than by refusing a format (marked !).");
        for (const FormatDeviceMatrix& m : result.devices)
            DeviceGrids(html, result, m);
        LoopGrids(html, result);
        html.Paragraph("Taken in " + MarkupNumber(result.elapsedMs / 1000.0, 2) + " s.");
    }
    bool loop = false;
    for (const FormatMatrixResult& result : results)
        loop = loop || !result.loop.empty();
    if (!results.empty())
        LegendTable(html, loop);
    html.EndSection();
}
