// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/formats/FormatMatrixText.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <vector>

#include "sequence/Report.h"

namespace {

constexpr const char* Legend =
    "Marks: + opens in exactly that format   . refused by the device   - refused before the device\n"
    "       (a plain PCM description has no valid bits apart from its container)   ! failed (another code)\n"
    "       D delivered: heard, every valid bit, no gap, no xrun, on time;  else s silent, b valid bits\n"
    "       missing, g gap or xrun, t not on time\n"
    "Loop:  T bit-transparent; else G level changed, R resampled, Q truncated (low bits lost),\n"
    "       N noise added (dithered or mixed), S channels swapped; ~ not bit for bit, and none of these\n"
    "       says why; ? the sequence was not found in what came back (nothing, or a band cut to a\n"
    "       fraction of the rate's), ! run failed\n";

std::string Width(const FormatWidth& w)
{
    return std::to_string(w.validBits) + "/" + std::to_string(w.bits);
}

std::string Pad(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The distinct values of one field, in the order first seen.
template <typename Value, typename Field>
std::vector<Value> Distinct(const std::vector<FormatKey>& keys, Field field)
{
    std::vector<Value> out;
    for (const FormatKey& key : keys)
        if (std::find(out.begin(), out.end(), field(key)) == out.end())
            out.push_back(field(key));
    return out;
}

// Tables over `keys`, a mark per key from `mark` (empty: not tried).
template <typename Mark>
std::string Tables(const std::vector<FormatKey>& keys, Mark mark)
{
    auto modes = Distinct<bool>(keys, [](const FormatKey& k) { return k.extended; });
    auto counts = Distinct<std::uint16_t>(keys, [](const FormatKey& k) { return k.channels; });
    auto widths = Distinct<FormatWidth>(keys, [](const FormatKey& k) { return k.width; });
    auto rates = Distinct<std::uint32_t>(keys, [](const FormatKey& k) { return k.sampleRate; });
    std::sort(rates.begin(), rates.end());
    std::string text;
    for (bool extended : modes)
        for (std::uint16_t channels : counts) {
            text += std::string("  ") + (extended ? "Extended" : "Standard") + " description, " +
                    std::to_string(channels) + (channels == 1 ? " channel\n" : " channels\n");
            text += "      Rate";
            for (const FormatWidth& w : widths)
                text += Pad(Width(w), 7);
            text += "\n";
            for (std::uint32_t rate : rates) {
                text += Pad(std::to_string(rate), 10);
                for (const FormatWidth& w : widths)
                    text += Pad(mark(FormatKey{rate, channels, w, extended}), 7);
                text += "\n";
            }
        }
    return text;
}

std::string Refusals(const FormatDeviceMatrix& m)
{
    // By code, then the host's call and words.
    std::map<std::tuple<WaveResult, std::string, std::string>, std::size_t> counts;
    std::size_t byRules = 0;
    for (const FormatCell& cell : m.cells) {
        if (!cell.accept.tried || cell.accept.Accepted())
            continue;
        if (cell.accept.byRules) {
            ++byRules;
            continue;
        }
        counts[{cell.accept.code, cell.accept.host.call, cell.accept.host.text}]++;
    }
    std::string text;
    for (const auto& [what, count] : counts) {
        const auto& [code, call, words] = what;
        text += "  Refused " + std::to_string(count) + "x: " + std::to_string(code) + " " + ResultCodeText(code);
        if (!call.empty())
            text += " (" + call + ": " + words + ")";
        text += "\n";
    }
    if (byRules > 0)
        text += "  Refused " + std::to_string(byRules) +
                "x before the device: a plain PCM description states no valid bits apart from its container\n";
    return text;
}

std::vector<FormatKey> KeysOf(const FormatDeviceMatrix& m)
{
    std::vector<FormatKey> keys;
    for (const FormatCell& cell : m.cells)
        keys.push_back(cell.key);
    return keys;
}

// A combination the loop did not run: refused before the device by either
// end ("-"), refused by either device ("."), failed ("!"), or not tried.
std::string UnloopedMark(const FormatMatrixResult& result, const FormatKey& key)
{
    bool byRules = false;
    bool refused = false;
    bool failed = false;
    for (const FormatDeviceMatrix& m : result.devices)
        for (const FormatCell& cell : m.cells)
            if (cell.key == key && cell.accept.tried) {
                byRules = byRules || cell.accept.byRules;
                refused = refused || cell.accept.Refused();
                failed = failed || cell.accept.Failed();
            }
    return byRules ? "-" : refused ? "." : failed ? "!" : "";
}

} // namespace

std::string FormatCellMark(const FormatCell& cell, WaveDirection direction, FormatLevel level)
{
    const FormatAcceptance& a = cell.accept;
    if (!a.tried)
        return "";
    if (a.byRules)
        return "-";
    if (a.Refused())
        return ".";
    if (a.Failed())
        return "!";
    if (level != FormatLevel::Delivers || !cell.delivery.run)
        return "+";
    const FormatDelivery& d = cell.delivery;
    if (d.stepCode != WaveNoError)
        return "!";
    if (d.Delivered(direction, cell.key.width.validBits))
        return "D";
    std::string mark;
    if (direction == WaveDirection::Input && d.silent)
        mark += "s";
    else if (direction == WaveDirection::Input && d.bitsCarried < cell.key.width.validBits)
        mark += "b";
    if ((direction == WaveDirection::Input && d.gaps > 0) || d.xruns > 0)
        mark += "g";
    if (!d.OnTime())
        mark += "t";
    return mark;
}

std::string FormatLoopMark(const FormatLoopVerdict& v)
{
    if (v.runFailed)
        return "!";
    if (!v.heard)
        return "?";
    if (v.transparent)
        return "T";
    std::string mark;
    if (v.gain)
        mark += "G";
    if (v.resampled)
        mark += "R";
    if (v.truncated)
        mark += "Q";
    if (v.noise)
        mark += "N";
    if (v.swapped)
        mark += "S";
    return mark.empty() ? "~" : mark;
}

std::string FormatMatrixText(const FormatMatrixResult& result, bool elapsedLine)
{
    std::string text;
    for (const FormatDeviceMatrix& m : result.devices) {
        text += std::string(m.direction == WaveDirection::Input ? "Input " : "Output ") + std::to_string(m.device) +
                ": " + m.name;
        if (!m.hostName.empty())
            text += " (" + m.hostName + ")";
        text += std::string(", ") + FormatLevelName(result.level) + "\n";
        text += Tables(KeysOf(m), [&](const FormatKey& key) {
            for (const FormatCell& cell : m.cells)
                if (cell.key == key)
                    return FormatCellMark(cell, m.direction, result.level);
            return std::string();
        });
        text += Refusals(m);
    }
    if (result.level == FormatLevel::Transparent && result.devices.size() == 2) {
        text += "Loop: output " + std::to_string(result.devices[1].device) + " into input " +
                std::to_string(result.devices[0].device) + "\n";
        text += Tables(KeysOf(result.devices[0]), [&](const FormatKey& key) {
            for (const FormatLoopCell& cell : result.loop)
                if (cell.key == key)
                    return FormatLoopMark(cell.verdict);
            return UnloopedMark(result, key);
        });
    }
    text += Legend;
    if (result.cancelled)
        text += "Cancelled: the cells not shown were not tried.\n";
    if (elapsedLine) {
        char line[64];
        std::snprintf(line, sizeof line, "Taken in %.1f s\n", result.elapsedMs / 1000.0);
        text += line;
    }
    return text;
}
