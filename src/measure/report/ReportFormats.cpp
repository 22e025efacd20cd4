// SPDX-License-Identifier: GPL-3.0-or-later
// The format matrix's section: per device, and for the loop, one table per
// description and channel count (rows the rates, columns the widths as
// valid/container bits) with each cell's mark, then the program's own text
// with its legend and the refusals in the host's words.
#include <algorithm>

#include "measure/formats/FormatMatrixText.h"
#include "measure/report/ReportSections.h"

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
        html.Preformatted(FormatMatrixText(result), "The matrix as the command line prints it, with its legend "
                                                    "and the refusals in the host's words");
    }
    html.EndSection();
}
