// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/soak/SoakOptions.h"

#include <cmath>

#include "cli/CommandLine.h"
#include "cli/FlagValue.h"
#include "cli/NumberText.h"

namespace {

constexpr double LongestSoakSeconds = 1e7;

bool IsSoakFlag(const std::string& flag)
{
    for (const char* name : {"--soak", "--soak-mode", "--log", "--max-xruns", "--max-glitches", "--max-drift-ppm",
                             "--max-latency-wander"})
        if (flag == name)
            return true;
    return false;
}

int Refuse(std::string& error, const std::string& text)
{
    error = text;
    return -1;
}

} // namespace

std::optional<double> ParseSoakDuration(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    const std::string units = "smh";
    const std::size_t unitAt = units.find(text.back());
    const double unit = unitAt == 0 ? 1 : unitAt == 1 ? 60 : unitAt == 2 ? 3600 : 1;
    const std::string number = unitAt == std::string::npos ? text : text.substr(0, text.size() - 1);
    if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos)
        return std::nullopt;
    const std::optional<double> value = ParseReal(number);
    if (!value || *value * unit > LongestSoakSeconds)
        return std::nullopt;
    return *value * unit;
}

int ParseSoakFlag(const std::string& flag, const std::optional<std::string>& inlineValue,
                  const std::vector<std::string>& arguments, std::size_t& i, CSoakOptions& o, std::string& error)
{
    if (!IsSoakFlag(flag))
        return 0;
    if (flag != "--soak" && o.firstFlag.empty())
        o.firstFlag = flag;
    std::string value;
    if (std::string missing; !TakeFlagValue(flag, inlineValue, arguments, i, value, missing))
        return Refuse(error, missing);
    const std::string quoted = "'" + value + "'";
    if (flag == "--soak") {
        const std::optional<double> seconds = ParseSoakDuration(value);
        if (!seconds)
            return Refuse(error, "--soak: " + quoted + " is not a duration (seconds, or 90s, 10m, 8h; 0 until Esc)");
        o.wanted = true;
        o.durationSeconds = *seconds;
    } else if (flag == "--soak-mode") {
        if (value == "full-duplex")
            o.mode = SoakMode::FullDuplex;
        else if (value == "record")
            o.mode = SoakMode::RecordOnly;
        else if (value == "play")
            o.mode = SoakMode::PlayOnly;
        else
            return Refuse(error, "--soak-mode: " + quoted + " must be full-duplex, record or play");
    } else if (flag == "--log") {
        if (value.empty())
            return Refuse(error, "--log needs a file name");
        o.logPath = value;
    } else if (flag == "--max-xruns" || flag == "--max-glitches") {
        const std::optional<long long> count = ParseCount(value);
        if (!count)
            return Refuse(error, flag + ": " + quoted + " is not a count");
        (flag == "--max-xruns" ? o.limits.maxXruns : o.limits.maxGlitches) = static_cast<std::uint64_t>(*count);
    } else {
        const std::optional<double> x = ParseReal(value);
        if (!x || *x < 0)
            return Refuse(error, flag + ": " + quoted + " is not a number of at least 0");
        (flag == "--max-drift-ppm" ? o.limits.maxDriftPpm : o.limits.maxLatencyWanderMs) = *x;
    }
    return 1;
}

bool ResolveSoakFormat(const CCliOptions& options, SoakFormat& f, std::string& error)
{
    // The parser took these as whole numbers that fit 31 bits.
    auto number = [](const std::optional<std::string>& text, int fallback) {
        return text ? static_cast<int>(std::stoll(*text)) : fallback;
    };
    f.channels = number(options.channels, 1);
    f.sampleRate = number(options.sampleRate, 44100);
    f.bits = number(options.precisionBits, 16);
    f.validBits = number(options.validBits, f.bits);
    f.extended = options.apiMode.value_or(0) == 1;
    auto refuse = [&error](const char* flag, int value, const char* why) {
        error = std::string(flag) + ": '" + std::to_string(value) + "' " + why + " for --soak";
        return false;
    };
    if (f.channels != 1 && f.channels != 2)
        return refuse("--channels", f.channels, "must be 1 or 2");
    if (f.bits != 8 && f.bits != 16 && f.bits != 24 && f.bits != 32)
        return refuse("--bits", f.bits, "must be 8, 16, 24 or 32");
    if (f.validBits < 1 || f.validBits > f.bits)
        return refuse("--valid-bits", f.validBits, "must be from 1 to the --bits value");
    if (f.sampleRate < 8000 || f.sampleRate > 384000)
        return refuse("--rate", f.sampleRate, "must be from 8000 to 384000 Hz");
    return true;
}

bool CheckSoakCommandLine(const CCliOptions& options, std::string& error)
{
    const CSoakOptions& so = options.soak;
    if (!so.wanted) {
        if (so.firstFlag.empty())
            return true;
        error = so.firstFlag + " needs --soak";
        return false;
    }
    if (options.action != CliAction::Run)
        return true;
    const CAnalysisOptions& a = options.analysis;
    const std::pair<bool, const char*> notForSoak[] = {
        {options.duration.has_value(), "--duration"},
        {options.timeoutMilliseconds.has_value(), "--timeout"},
        {options.tone.has_value(), "--tone"},
        {options.savePath.has_value(), "--save"},
        {options.loopback.wanted, "--loopback"},
        {options.formats.wanted, "--formats"},
        {a.analyze || a.file.has_value() || a.expect.Any(), "the analysis (--analyze, --analyze-file and their checks)"},
    };
    for (const auto& [given, flag] : notForSoak) {
        if (given) {
            error = std::string(flag) + " does not apply to --soak";
            return false;
        }
    }
    const bool fullDuplex = so.mode == SoakMode::FullDuplex;
    if (!fullDuplex && (so.limits.maxDriftPpm || so.limits.maxLatencyWanderMs)) {
        error = std::string(so.limits.maxDriftPpm ? "--max-drift-ppm" : "--max-latency-wander") +
                " needs the full-duplex soak (the output wired back to the input)";
        return false;
    }
    SoakFormat format;
    return ResolveSoakFormat(options, format, error);
}

std::string SoakUsageText()
{
    return R"(Soak (hours of streaming, every xrun and glitch logged in time):
  --soak DURATION         stream for DURATION (seconds, or 90s, 10m, 8h; 0 until
                          Esc or Ctrl-C) in the test's format (--channels,
                          --rate, --bits, --valid-bits, --api) on --input and
                          --output, three buffer slots each refilled as they
                          come back; then the summary (--json: the result)
  --soak-mode MODE        full-duplex (default: the output wired back to the
                          input plays a 101 Hz tone whose every block is
                          predicted: glitches, latency, drift), record (the
                          input alone) or play (the output alone)
  --log FILE              one JSON object a line per event as it happens
  --max-xruns N           checks: xruns in both directions,
  --max-glitches N          glitches no xrun explains,
  --max-drift-ppm X         |drift| of the input's clock against the output's,
  --max-latency-wander MS   the latency's maximum less its minimum
  --plot FILE.png         draw the timeline: events, latency and drift
                          (FILE.svg: as SVG)
  A soak exits with 0 when it ran its time and every check passed, 3 when a
  check failed, 130 when Esc or Ctrl-C ended it early, 1 when a device failed
  or was lost.
)";
}
