// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/FormatGrid.h"

#include <algorithm>

#include "measure/formats/FormatMatrixText.h"
#include "sequence/Report.h"

namespace {

std::string RowName(const FormatKey& k)
{
    return std::to_string(k.sampleRate) + " Hz, " + std::to_string(k.channels) + " ch, " +
           (k.extended ? "Extended" : "Standard");
}

std::string ColumnName(const FormatWidth& w)
{
    return std::to_string(w.validBits) + "/" + std::to_string(w.bits);
}

std::string KeyLine(const FormatKey& k)
{
    return RowName(k) + ", " + std::to_string(k.width.validBits) + " valid bits in " +
           std::to_string(k.width.bits) + "\n";
}

template <typename Cell, typename Key>
FormatGridModel Arrange(const std::vector<Cell>& cells, Key keyOf)
{
    FormatGridModel grid;
    std::vector<FormatKey> rows;
    std::vector<FormatWidth> columns;
    for (const Cell& cell : cells) {
        FormatKey row = keyOf(cell);
        row.width = {};
        if (std::find(rows.begin(), rows.end(), row) == rows.end())
            rows.push_back(row);
        if (std::find(columns.begin(), columns.end(), keyOf(cell).width) == columns.end())
            columns.push_back(keyOf(cell).width);
    }
    for (const FormatKey& row : rows)
        grid.rowNames.push_back(RowName(row));
    for (const FormatWidth& column : columns)
        grid.columnNames.push_back(ColumnName(column));
    grid.cells.assign(rows.size(), std::vector<GridCell>(columns.size()));
    return grid;
}

GridCell& Place(FormatGridModel& grid, const FormatKey& row)
{
    // Rows and columns were made from these keys, so the names find them.
    const std::size_t r = static_cast<std::size_t>(
        std::find(grid.rowNames.begin(), grid.rowNames.end(), RowName(row)) - grid.rowNames.begin());
    const std::size_t c = static_cast<std::size_t>(
        std::find(grid.columnNames.begin(), grid.columnNames.end(), ColumnName(row.width)) - grid.columnNames.begin());
    return grid.cells[r][c];
}

CellClass ClassOf(const std::string& mark)
{
    if (mark.empty())
        return CellClass::Empty;
    if (mark == "+" || mark == "D" || mark == "T")
        return CellClass::Good;
    if (mark == "." || mark == "-")
        return CellClass::Refused;
    if (mark == "!")
        return CellClass::Failed;
    return CellClass::Partial;
}

std::string DeviceDetails(const FormatCell& cell, WaveDirection direction)
{
    const FormatAcceptance& a = cell.accept;
    std::string text = KeyLine(cell.key);
    if (!a.tried)
        return text + "Not tried.\n";
    if (a.byRules)
        return text + "Refused before the device was asked: a plain PCM description cannot state fewer valid bits "
                      "than its container.\n";
    text += "Open: code " + std::to_string(a.code) + " (" + ResultCodeText(a.code) + ")\n";
    if (!a.host.call.empty())
        text += "The host said: " + a.host.call + ": " + a.host.text + "\n";
    const FormatDelivery& d = cell.delivery;
    if (!d.run)
        return text;
    if (d.stepCode != WaveNoError)
        return text + "The short run failed with code " + std::to_string(d.stepCode) + "\n";
    text += "Short run: " + std::string(d.done ? "done" : "not done") + " after " + std::to_string(d.elapsedMs) +
            " ms of " + std::to_string(d.expectedMs) + " ms\n";
    if (direction == WaveDirection::Input)
        text += std::string(d.silent ? "Silent" : "Not silent") + ", " + std::to_string(d.bitsCarried) +
                " bits carried, " + std::to_string(d.gaps) + " gaps\n";
    text += std::to_string(d.xruns) + " xruns\n";
    return text;
}

std::string LoopDetails(const FormatLoopCell& cell)
{
    const FormatLoopVerdict& v = cell.verdict;
    std::string text = KeyLine(cell.key);
    if (v.runFailed)
        return text + "The run failed (code " + std::to_string(v.stepCode) + ").\n";
    if (!v.heard)
        return text + "The sequence was not found in what came back.\n";
    text += v.transparent ? "Bit for bit transparent.\n" : "Not transparent.\n";
    text += "Found " + std::to_string(v.lagFrames) + " frames late, " + std::to_string(v.bitsCarried) +
            " bits carried\n";
    if (v.gain)
        text += "Level changed by " + std::to_string(v.gainDb) + " dB\n";
    if (v.resampled)
        text += "Resampled: the band's top cut or smeared\n";
    if (v.truncated)
        text += "Truncated: low bits lost\n";
    if (v.noise)
        text += "Noise added (dither, or other audio mixed in)\n";
    if (v.swapped)
        text += "Channels swapped\n";
    return text;
}

} // namespace

FormatGridModel DeviceGrid(const FormatDeviceMatrix& device, FormatLevel level)
{
    auto keyOf = [](const FormatCell& c) { return c.key; };
    FormatGridModel grid = Arrange(device.cells, keyOf);
    for (const FormatCell& cell : device.cells) {
        GridCell& shown = Place(grid, cell.key);
        shown.mark = FormatCellMark(cell, device.direction, level);
        shown.kind = ClassOf(shown.mark);
        shown.details = DeviceDetails(cell, device.direction);
    }
    return grid;
}

FormatGridModel LoopGrid(const std::vector<FormatLoopCell>& loop)
{
    auto keyOf = [](const FormatLoopCell& c) { return c.key; };
    FormatGridModel grid = Arrange(loop, keyOf);
    for (auto& row : grid.cells)
        for (GridCell& cell : row)
            cell.details = "Not run over the loop: a device did not open in this format (see its grid).\n";
    for (const FormatLoopCell& cell : loop) {
        GridCell& shown = Place(grid, cell.key);
        shown.mark = FormatLoopMark(cell.verdict);
        shown.kind = shown.mark == "?" ? CellClass::Failed : ClassOf(shown.mark);
        shown.details = LoopDetails(cell);
    }
    return grid;
}

std::vector<std::string> FormatLegend(FormatLevel level)
{
    std::vector<std::string> lines = {
        "+  opens in exactly that format",
        ".  refused by the device",
        "-  refused before the device (a plain PCM description has no valid bits apart from its container)",
        "!  failed (another code)",
    };
    if (level == FormatLevel::Delivers)
        lines.insert(lines.end(), {"D  delivered: heard, every valid bit, no gap, no xrun, on time",
                                   "s silent, b valid bits missing, g gap or xrun, t not on time"});
    if (level == FormatLevel::Transparent)
        lines.insert(lines.end(),
                     {"Loop: T bit-transparent; G level changed, R resampled, Q truncated (low bits lost),",
                      "N noise added (dithered or mixed), S channels swapped; ? the sequence was not found, ! run failed"});
    return lines;
}
