// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include <cstdint>
#include <functional>
#include <map>

#include "cli/FlagValue.h"

namespace {

constexpr int DefaultDurationSeconds = 4;
constexpr long long IntLimit = INT32_MAX;

bool IsDigits(const std::string& text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A whole number from 0 to 2^31 - 1, written with digits only.
bool IsCount(const std::string& text)
{
    if (!IsDigits(text))
        return false;
    std::size_t first = text.find_first_not_of('0');
    if (first == std::string::npos)
        return true;
    return text.size() - first <= 10 && std::stoll(text.substr(first)) <= IntLimit;
}

// The longest time-out: seven digits of seconds, about 115 days.
constexpr std::size_t TimeoutDigits = 7;
constexpr const char* LongestTimeoutText = "9999999 seconds";

// Seconds with an optional fraction: "10", "2.5", "0.25". Refused with the
// reason: not a number, or longer than the longest time-out.
std::optional<long long> ParseSeconds(const std::string& text, std::string& refusal)
{
    refusal = "is not a number of seconds";
    std::size_t dot = text.find('.');
    std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    if (whole.empty() && fraction.empty())
        return std::nullopt;
    if ((!whole.empty() && !IsDigits(whole)) || (dot != std::string::npos && !fraction.empty() && !IsDigits(fraction)))
        return std::nullopt;
    std::size_t first = whole.find_first_not_of('0');
    if (first != std::string::npos && whole.size() - first > TimeoutDigits) {
        refusal = std::string("is longer than the longest time-out, ") + LongestTimeoutText;
        return std::nullopt;
    }
    long long milliseconds = first == std::string::npos ? 0 : std::stoll(whole.substr(first)) * 1000;
    long long scale = 100;
    for (std::size_t i = 0; i < fraction.size() && scale > 0; ++i, scale /= 10)
        milliseconds += (fraction[i] - '0') * scale;
    refusal.clear();
    return milliseconds;
}

std::string Quoted(const std::string& text)
{
    return "'" + text + "'";
}

// An argument as a shell would need it typed: bare when it is plain, else
// in single quotes.
std::string ShellWord(const std::string& text)
{
    if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                                "-_=./,:+@%") == std::string::npos)
        return text;
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

CCliParseResult ParseCommandLine(const std::vector<std::string>& arguments)
{
    CCliParseResult result;
    CCliOptions& options = result.options;
    options.commandLine = "tallowmere-cli";
    for (const std::string& argument : arguments)
        options.commandLine += " " + ShellWord(argument);
    auto fail = [&result](const std::string& message) {
        result.ok = false;
        result.error = message;
        return result;
    };

    auto count = [](std::optional<std::string>& field) {
        return [&field](const std::string& value) -> std::string {
            if (!IsCount(value))
                return "is not a whole number from 0 to 2147483647";
            field = value;
            return "";
        };
    };
    auto device = [](std::optional<std::string>& field) {
        return [&field](const std::string& value) -> std::string {
            if (value.empty())
                return "needs a list position or a device name";
            field = value;
            return "";
        };
    };

    // Flags that take a value; each returns why the value was refused, or "".
    std::map<std::string, std::function<std::string(const std::string&)>> valued = {
        {"--channels", count(options.channels)},
        {"--rate", count(options.sampleRate)},
        {"--bits", count(options.precisionBits)},
        {"--valid-bits", count(options.validBits)},
        {"--duration",
         [&options](const std::string& value) -> std::string {
             // Counts past 100 are taken and cut to 100, as the dialog does.
             if (!IsCount(value))
                 return "is not a whole number of seconds (the test records 1 to 100)";
             options.duration = value;
             return "";
         }},
        {"--input", device(options.inputDevice)},
        {"--output", device(options.outputDevice)},
        {"--api",
         [&options](const std::string& value) -> std::string {
             if (value == "standard")
                 options.apiMode = 0;
             else if (value == "extended")
                 options.apiMode = 1;
             else
                 return "must be standard or extended";
             return "";
         }},
        {"--timeout",
         [&options](const std::string& value) -> std::string {
             std::string refusal;
             auto milliseconds = ParseSeconds(value, refusal);
             if (!milliseconds)
                 return refusal;
             options.timeoutMilliseconds = *milliseconds;
             return "";
         }},
        {"--tone",
         [&options](const std::string& value) -> std::string {
             if (value == "yes")
                 options.tone = ToneAnswer::Yes;
             else if (value == "no")
                 options.tone = ToneAnswer::No;
             else if (value == "ask")
                 options.tone = ToneAnswer::Ask;
             else
                 return "must be yes, no or ask";
             return "";
         }},
        {"--save",
         [&options](const std::string& value) -> std::string {
             if (value.empty())
                 return "needs a file name";
             options.savePath = value;
             return "";
         }},
        {"--report",
         [&options](const std::string& value) -> std::string {
             if (value.empty())
                 return "needs a file name";
             options.reportPath = value;
             return "";
         }},
    };
    std::map<std::string, std::function<void()>> switches = {
        {"--crlf", [&options] { options.crlf = true; }},
        {"--json", [&options] { options.json = true; }},
        {"--list", [&options] { options.action = CliAction::List; }},
        {"-l", [&options] { options.action = CliAction::List; }},
        {"--help", [&options] { options.action = CliAction::Help; }},
        {"-h", [&options] { options.action = CliAction::Help; }},
        {"--version", [&options] { options.action = CliAction::Version; }},
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string flag = arguments[i];
        std::optional<std::string> inlineValue;
        if (flag.starts_with("--")) {
            std::size_t equals = flag.find('=');
            if (equals != std::string::npos) {
                inlineValue = flag.substr(equals + 1);
                flag.resize(equals);
            }
        }
        if (auto sw = switches.find(flag); sw != switches.end()) {
            if (inlineValue)
                return fail(flag + " takes no value");
            sw->second();
            continue;
        }
        std::string analysisError;
        if (int taken = ParseAnalysisFlag(flag, inlineValue, arguments, i, options.analysis, analysisError)) {
            if (taken < 0)
                return fail(analysisError);
            continue;
        }
        std::string loopbackError;
        if (int taken = ParseLoopbackFlag(flag, inlineValue, arguments, i, options.loopback, loopbackError)) {
            if (taken < 0)
                return fail(loopbackError);
            continue;
        }
        std::string formatsError;
        if (int taken = ParseFormatsFlag(flag, inlineValue, arguments, i, options.formats, formatsError)) {
            if (taken < 0)
                return fail(formatsError);
            continue;
        }
        std::string soakError;
        if (int taken = ParseSoakFlag(flag, inlineValue, arguments, i, options.soak, soakError)) {
            if (taken < 0)
                return fail(soakError);
            continue;
        }
        auto handler = valued.find(flag);
        if (handler == valued.end()) {
            if (flag.starts_with("-") && flag.size() > 1)
                return fail("unknown option " + Quoted(flag) + " (see --help)");
            return fail("unexpected argument " + Quoted(flag) + " (see --help)");
        }
        std::string value;
        if (std::string missing; !TakeFlagValue(flag, inlineValue, arguments, i, value, missing))
            return fail(missing);
        std::string refusal = handler->second(value);
        if (!refusal.empty())
            return fail(flag + ": " + Quoted(value) + " " + refusal);
    }
    if (std::string error; !CheckLoopbackCommandLine(options, error))
        return fail(error);
    if (std::string error; !CheckFormatsCommandLine(options, error))
        return fail(error);
    if (std::string error; !CheckSoakCommandLine(options, error))
        return fail(error);
    return result;
}

int EffectiveDurationSeconds(const std::optional<std::string>& durationText)
{
    if (!durationText)
        return DefaultDurationSeconds;
    long long seconds = IsCount(*durationText) ? std::stoll(*durationText) : 0;
    if (seconds <= 0)
        return DefaultDurationSeconds;
    return seconds > 100 ? 100 : static_cast<int>(seconds);
}

long long EffectiveTimeoutMilliseconds(const CCliOptions& options)
{
    if (options.timeoutMilliseconds)
        return *options.timeoutMilliseconds;
    return (3LL * EffectiveDurationSeconds(options.duration) + 10) * 1000;
}

std::string UsageText()
{
    return R"(Usage: tallowmere-cli [OPTION]...
Records from an input device in the chosen format, plays the recording back
on an output device, and prints the test report.

Test parameters (the main dialog's controls; defaults in brackets):
      --channels N        number of channels [1]
      --rate HZ           sampling rate in Hz [44100]
      --bits N            sampling precision: bits of the sample container [16]
      --valid-bits N      valid precision [the --bits value, else 16]
      --input DEVICE      input device, by list position or name [0]
      --output DEVICE     output device, by list position or name [0]
      --api MODE          standard or extended wave format [standard]
      --duration SECONDS  test recording duration, 1 to 100 [4]; 0 gives 4
                          and more than 100 gives 100, said on stderr

Running:
      --timeout SECONDS   cancel the running device step after this long, as
                          Esc does, at most 9999999 [3 x duration + 10; 0 for
                          none]
      --tone ANSWER       play a 1 kHz tone when recording fails: yes, no or
                          ask [ask on a terminal, otherwise no]

Results:
      --save FILE.wav     save the recording as a WAVE file
      --crlf              print the report with its CR LF line ends
      --json              print a machine-readable result instead of the report
      --report FILE.html  also write a shareable report of the run (any mode):
                          the system, the test, analysis, loopback or matrix,
                          the pictures and the JSON, in one file for a browser

)"
           + AnalysisUsageText() + "\n" + LoopbackUsageText() + "\n" + FormatsUsageText() + "\n" + SoakUsageText() + R"(
Other:
  -l, --list              list the input and output devices
  -h, --help              show this help
      --version           show the version

Esc (on a terminal) or Ctrl-C cancels the running device step.

Exit status: 0 when recording and playback both completed; 1 when a device
step failed (or the recording could not be saved, or a loopback measurement
found no marker, or --formats met a device failure other than a refused
format, or a run that would give 0 could not write its --report); 2 on a
usage error; 3 when the signal check failed (a threshold
above was not met, or the plot could not be written, or an --expect-formats
entry was not met); 130 when the test (or the matrix) was cancelled.
)";
}
