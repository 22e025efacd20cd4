// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/formats/FormatsOptions.h"

#include <algorithm>
#include <charconv>

#include "cli/CommandLine.h"
#include "cli/FlagValue.h"

namespace {

bool ReadNumber(std::string_view text, std::uint32_t& value)
{
    const char* end = text.data() + text.size();
    auto [stop, failure] = std::from_chars(text.data(), end, value);
    return !text.empty() && failure == std::errc{} && stop == end;
}

// "48000/24/2" or "48000/24/2/32"; false with `error` when it does not read.
bool ReadExpected(const std::string& item, ExpectedFormat& format, std::string& error)
{
    std::vector<std::uint32_t> numbers;
    std::size_t from = 0;
    while (from <= item.size()) {
        std::size_t slash = std::min(item.find('/', from), item.size());
        std::uint32_t n = 0;
        if (!ReadNumber(std::string_view(item).substr(from, slash - from), n)) {
            error = "'" + item + "' is not RATE/VALID-BITS/CHANNELS[/CONTAINER-BITS]";
            return false;
        }
        numbers.push_back(n);
        from = slash + 1;
    }
    if (numbers.size() < 3 || numbers.size() > 4) {
        error = "'" + item + "' is not RATE/VALID-BITS/CHANNELS[/CONTAINER-BITS]";
        return false;
    }
    format = {numbers[0], static_cast<std::uint16_t>(numbers[1]), static_cast<std::uint16_t>(numbers[2]),
              static_cast<std::uint16_t>(numbers.size() == 4 ? numbers[3] : 0), item};
    const bool container = format.containerBits == 0 || format.containerBits == 8 || format.containerBits == 16 ||
                           format.containerBits == 24 || format.containerBits == 32;
    if (numbers[0] < 1000 || numbers[0] > 384000 || numbers[1] < 1 || numbers[1] > 32 ||
        (numbers[2] != 1 && numbers[2] != 2) || !container ||
        (format.containerBits != 0 && format.validBits > format.containerBits)) {
        error = "'" + item + "' is outside the matrix (1000-384000 Hz, 1 or 2 channels, valid bits within 8, 16, "
                "24 or 32)";
        return false;
    }
    return true;
}

bool ReadExpectedList(const std::string& list, std::vector<ExpectedFormat>& out, std::string& error)
{
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t comma = std::min(list.find(',', from), list.size());
        ExpectedFormat format;
        if (!ReadExpected(list.substr(from, comma - from), format, error))
            return false;
        out.push_back(format);
        from = comma + 1;
    }
    return true;
}

bool SameWidth(const FormatWidth& width, const ExpectedFormat& e)
{
    return width.validBits == e.validBits && (e.containerBits == 0 || width.bits == e.containerBits);
}

} // namespace

int ParseFormatsFlag(const std::string& flag, const std::optional<std::string>& inlineValue,
                     const std::vector<std::string>& arguments, std::size_t& i, CFormatsOptions& options,
                     std::string& error)
{
    const bool isSwitch = flag == "--formats" || flag == "--all-devices";
    if (!isSwitch && flag != "--level" && flag != "--expect-formats")
        return 0;
    if (flag != "--formats" && options.firstFlag.empty())
        options.firstFlag = flag;
    if (isSwitch) {
        if (inlineValue) {
            error = flag + " takes no value";
            return -1;
        }
        (flag == "--formats" ? options.wanted : options.allDevices) = true;
        return 1;
    }
    std::string value;
    if (std::string missing; !TakeFlagValue(flag, inlineValue, arguments, i, value, missing)) {
        error = missing;
        return -1;
    }
    if (flag == "--level") {
        if (value == "accepts")
            options.level = FormatLevel::Accepts;
        else if (value == "delivers")
            options.level = FormatLevel::Delivers;
        else if (value == "transparent")
            options.level = FormatLevel::Transparent;
        else {
            error = "--level: '" + value + "' must be accepts, delivers or transparent";
            return -1;
        }
        return 1;
    }
    if (!ReadExpectedList(value, options.expected, error)) {
        error = "--expect-formats: " + error;
        return -1;
    }
    return 1;
}

bool CheckFormatsCommandLine(const CCliOptions& options, std::string& error)
{
    const CFormatsOptions& fo = options.formats;
    if (!fo.wanted) {
        if (fo.firstFlag.empty())
            return true;
        error = fo.firstFlag + " needs --formats";
        return false;
    }
    if (options.action != CliAction::Run)
        return true;
    const std::pair<bool, const char*> notForFormats[] = {
        {options.channels.has_value(), "--channels"}, {options.precisionBits.has_value(), "--bits"},
        {options.validBits.has_value(), "--valid-bits"}, {options.duration.has_value(), "--duration"},
        {options.apiMode.has_value(), "--api"},       {options.timeoutMilliseconds.has_value(), "--timeout"},
        {options.tone.has_value(), "--tone"},         {options.savePath.has_value(), "--save"},
        {options.loopback.wanted, "--loopback"},      {options.crlf, "--crlf"},
        {options.analysis.Wanted(), "the analysis (--analyze, --analyze-file, --plot and their checks)"},
    };
    for (const auto& [given, flag] : notForFormats) {
        if (given) {
            error = std::string(flag) + " does not apply to --formats";
            return false;
        }
    }
    if (fo.allDevices && (options.inputDevice || options.outputDevice)) {
        error = "--all-devices takes every listed device: leave out --input and --output";
        return false;
    }
    if (fo.allDevices && fo.level == FormatLevel::Transparent) {
        error = "--all-devices: the transparent level needs one output wired back to one input (--input, --output)";
        return false;
    }
    if (options.sampleRate) {
        std::uint32_t rate = 0;
        if (!ReadNumber(*options.sampleRate, rate) || rate < 1000 || rate > 384000) {
            error = "--rate: '" + *options.sampleRate + "' must be 1000 to 384000 Hz with --formats";
            return false;
        }
    }
    return true;
}

std::vector<std::uint32_t> FormatsRates(const CCliOptions& options)
{
    std::vector<std::uint32_t> rates = StandardMatrixRates();
    auto add = [&rates](std::uint32_t rate) {
        if (std::find(rates.begin(), rates.end(), rate) == rates.end())
            rates.push_back(rate);
    };
    if (std::uint32_t rate = 0; options.sampleRate && ReadNumber(*options.sampleRate, rate))
        add(rate);
    for (const ExpectedFormat& e : options.formats.expected)
        add(e.sampleRate);
    return rates;
}

std::vector<FormatWidth> FormatsWidths(const CFormatsOptions& options)
{
    std::vector<FormatWidth> widths = StandardMatrixWidths();
    for (const ExpectedFormat& e : options.expected) {
        bool tried = std::any_of(widths.begin(), widths.end(), [&e](const FormatWidth& w) { return SameWidth(w, e); });
        if (!tried) {
            // The smallest container that holds the valid bits.
            std::uint16_t container = e.containerBits != 0 ? e.containerBits
                                                            : static_cast<std::uint16_t>((e.validBits + 7) / 8 * 8);
            widths.push_back({container, e.validBits});
        }
    }
    return widths;
}

bool MeetsExpectedFormat(const FormatMatrixResult& result, const ExpectedFormat& e)
{
    auto matches = [&e](const FormatKey& key) {
        return key.sampleRate == e.sampleRate && key.channels == e.channels && SameWidth(key.width, e);
    };
    if (result.level == FormatLevel::Transparent) {
        return std::any_of(result.loop.begin(), result.loop.end(), [&](const FormatLoopCell& cell) {
            return matches(cell.key) && cell.verdict.transparent;
        });
    }
    if (result.devices.empty())
        return false;
    for (const FormatDeviceMatrix& m : result.devices) {
        bool met = std::any_of(m.cells.begin(), m.cells.end(), [&](const FormatCell& cell) {
            if (!matches(cell.key) || !cell.accept.Accepted())
                return false;
            return result.level == FormatLevel::Accepts ||
                   cell.delivery.Delivered(m.direction, cell.key.width.validBits);
        });
        if (!met)
            return false;
    }
    return true;
}

std::string FormatsUsageText()
{
    return R"(Format matrix:
      --formats           try every format on the input and the output device:
                          channels 1 and 2; 8000 to 384000 Hz (and --rate's);
                          valid/container bits 8/8, 16/16, 24/24, 20/24, 32/32
                          and 24/32; standard and extended descriptions
      --level LEVEL       accepts: opens in exactly that format [default];
                          delivers: a short recording is heard with every
                          valid bit, no gap and no xrun, a short playback ends
                          on time; transparent: with the output wired back to
                          the input, a pseudo-random sequence comes back bit
                          for bit (else what the path did is named)
      --all-devices       every listed input and output device, each alone
                          (accepts and delivers)
      --expect-formats LIST
                          formats that must be met at the level, as
                          RATE/VALID-BITS/CHANNELS[/CONTAINER-BITS] separated
                          by commas, e.g. 48000/24/2; exit status 3 when not
)";
}
