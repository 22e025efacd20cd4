// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/loopback/LoopbackOptions.h"

#include <cmath>

#include "cli/CommandLine.h"
#include "cli/FlagValue.h"
#include "cli/NumberText.h"

namespace {

// "latency,response,thd,noise,crosstalk" or "all", in any order, each once.
bool ParseMeasureList(const std::string& text, CLoopbackMeasureChoice& choice, std::string& why)
{
    if (text == "all") {
        choice = CLoopbackMeasureChoice{};
        return true;
    }
    choice = {false, false, false, false, false};
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool* slot = name == "response"    ? &choice.response
                     : name == "thd"       ? &choice.thd
                     : name == "noise"     ? &choice.noise
                     : name == "crosstalk" ? &choice.crosstalk
                                           : nullptr;
        if (name != "latency" && slot == nullptr) {
            why = name.empty() ? "has an empty name" : "names '" + name + "', which is not a measure";
            return false;
        }
        if (slot != nullptr)
            *slot = true;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    choice.crosstalkNamed = choice.crosstalk;
    return true;
}

bool ParseLimit(const std::string& flag, const std::string& value, CLoopbackLimits& limits, std::string& why)
{
    const auto x = ParseReal(value);
    if (!x) {
        why = "is not a number";
        return false;
    }
    if ((flag == "--max-latency" || flag == "--max-response-deviation") && *x < 0) {
        why = "is out of range (at least 0)";
        return false;
    }
    if (flag == "--max-latency" && *x > 10000) {
        why = "is out of range (at most 10000 ms)";
        return false;
    }
    if (flag == "--max-latency")
        limits.maxLatencyMs = *x;
    else if (flag == "--max-response-deviation")
        limits.maxResponseDeviationDb = *x;
    else if (flag == "--min-dynamic-range")
        limits.minDynamicRangeDb = *x;
    else if (flag == "--max-noise-floor")
        limits.maxNoiseFloorDbfs = *x;
    else
        limits.maxCrosstalkDb = *x;
    return true;
}

} // namespace

int ParseLoopbackFlag(const std::string& flag, const std::optional<std::string>& inlineValue,
                      const std::vector<std::string>& arguments, std::size_t& i, CLoopbackOptions& o,
                      std::string& error)
{
    bool isSwitch = false;
    if (!IsLoopbackFlag(flag, isSwitch))
        return 0;
    if (o.firstFlag.empty())
        o.firstFlag = flag;
    if (isSwitch) {
        if (inlineValue) {
            error = flag + " takes no value";
            return -1;
        }
        o.wanted = true;
        return 1;
    }
    std::string value;
    if (!TakeFlagValue(flag, inlineValue, arguments, i, value, error))
        return -1;
    std::string why;
    const bool taken = flag == "--measure" ? ParseMeasureList(value, o.measure, why)
                                           : ParseLimit(flag, value, o.limits, why);
    if (!taken) {
        error = flag + ": '" + value + "' " + why;
        return -1;
    }
    o.measureGiven = o.measureGiven || flag == "--measure";
    return 1;
}

bool ResolveLoopbackFormat(const CCliOptions& options, CLoopbackFormat& f, std::string& error)
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
        error = std::string(flag) + ": '" + std::to_string(value) + "' " + why + " for --loopback";
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

namespace {

// The first flag given that a loopback run has no use for.
const char* FlagNotForLoopback(const CCliOptions& o)
{
    const AnalysisExpectations& e = o.analysis.expect;
    const std::pair<bool, const char*> flags[] = {
        {o.duration.has_value(), "--duration"},  {o.tone.has_value(), "--tone"},
        {o.savePath.has_value(), "--save"},      {o.analysis.analyze, "--analyze"},
        {o.analysis.file.has_value(), "--analyze-file"}, {e.minSnrDb.has_value(), "--min-snr"},
        {e.maxClipped.has_value(), "--max-clipped"},     {e.validBits.has_value(), "--expect-valid-bits"},
        {e.minLevelDbfs.has_value(), "--min-level"},     {e.noSilence, "--no-silence"},
    };
    for (const auto& [given, name] : flags)
        if (given)
            return name;
    return nullptr;
}

// The first limit whose measure the run leaves out, with that measure.
bool LimitWithoutItsMeasure(const CCliOptions& o, const CLoopbackMeasureChoice& m, std::string& error)
{
    const CLoopbackLimits& l = o.loopback.limits;
    const AnalysisExpectations& e = o.analysis.expect;
    const struct {
        bool given;
        bool measured;
        const char* flag;
        const char* measure;
    } rows[] = {
        {l.maxResponseDeviationDb.has_value(), m.response, "--max-response-deviation", "response"},
        {e.maxThdnDb.has_value(), m.thd, "--max-thdn", "thd"},
        {e.frequencyHz.has_value(), m.thd, "--expect-frequency", "thd"},
        {e.maxDropouts.has_value(), m.thd || m.response, "--max-dropouts", "thd or response"},
        {l.minDynamicRangeDb.has_value(), m.noise, "--min-dynamic-range", "noise"},
        {l.maxNoiseFloorDbfs.has_value(), m.noise, "--max-noise-floor", "noise"},
        {l.maxCrosstalkDb.has_value(), m.crosstalk, "--max-crosstalk", "crosstalk"},
    };
    for (const auto& r : rows)
        if (r.given && !r.measured) {
            error = std::string(r.flag) + " needs the " + r.measure + " measure (--measure)";
            return true;
        }
    return false;
}

} // namespace

bool CheckLoopbackCommandLine(const CCliOptions& options, std::string& error)
{
    const CLoopbackOptions& lo = options.loopback;
    if (!lo.wanted) {
        if (lo.firstFlag.empty())
            return true;
        error = lo.firstFlag + " needs --loopback";
        return false;
    }
    if (options.action != CliAction::Run)
        return true;
    if (const char* flag = FlagNotForLoopback(options)) {
        error = std::string(flag) + " does not apply to --loopback";
        return false;
    }
    CLoopbackFormat format;
    if (!ResolveLoopbackFormat(options, format, error))
        return false;
    CLoopbackMeasureChoice measure = lo.measure;
    if (format.channels < 2) {
        if (measure.crosstalkNamed) {
            error = "--measure: crosstalk needs two channels (--channels 2)";
            return false;
        }
        measure.crosstalk = false;
    }
    return !LimitWithoutItsMeasure(options, measure, error);
}

MeasureSelection LoopbackSelection(const CLoopbackOptions& options, int channels)
{
    const CLoopbackMeasureChoice& m = options.measure;
    return {m.response, m.thd, m.noise, m.crosstalk && channels > 1};
}

long long LoopbackTimeoutMilliseconds(const CCliOptions& options, double captureSeconds)
{
    if (options.timeoutMilliseconds)
        return *options.timeoutMilliseconds;
    return static_cast<long long>(std::ceil(3 * captureSeconds + 10)) * 1000;
}

std::string LoopbackUsageText()
{
    return R"(Loopback measurement (the output wired back to the input):
      --loopback          play a test sequence on the output while recording
                          the input in the same format, and measure the chain:
                          latency, frequency response, gain, THD+N, dynamic
                          range, noise floor, crosstalk, dropouts; prints a
                          table (--json: the figures; --plot FILE.png: the
                          response and the spectrum of the 1 kHz tone). The
                          format and device flags above apply; the capture
                          runs 1 s (plus --max-latency) past the sequence
      --measure LIST      latency,response,thd,noise,crosstalk or all [all;
                          crosstalk needs two channels]
    Checks (any failed one gives exit status 3; --max-thdn, --expect-frequency,
    --frequency-tolerance and --max-dropouts above apply too):
      --max-latency MS         round-trip latency at most this
      --max-response-deviation DB
                               response within +-DB of 1 kHz, 20 Hz to 0.45 x rate
      --min-dynamic-range DB   every channel's dynamic range at least this
      --max-noise-floor DBFS   every channel's noise floor at most this
      --max-crosstalk DB       leakage between channels at most this
)";
}
