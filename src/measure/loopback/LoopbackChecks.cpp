// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/loopback/LoopbackChecks.h"

#include <algorithm>
#include <cmath>

#include "analysis/CheckWords.h"

namespace {

// Each channel's figure against a limit; `atMost` for an upper one.
void PerChannel(std::vector<std::string>& failed, const char* flag, const char* what,
                const std::vector<double>& figures, double limit, bool atMost, const char* unit,
                bool nanPasses = false)
{
    for (std::size_t c = 0; c < figures.size(); ++c) {
        const double x = figures[c];
        if (std::isnan(x) ? nanPasses : (atMost ? x <= limit : x >= limit))
            continue;
        failed.push_back(std::string(flag) + ": " + CheckChannelName(c) + " has " + (std::isnan(x) ? "no " : "") +
                         what + (std::isnan(x) ? "" : " of " + CheckFigure(x, unit)) + ", " +
                         (atMost ? "at most " : "at least ") + CheckFigure(limit, unit) + " wanted");
    }
}

void CheckResponse(std::vector<std::string>& failed, const LoopbackMeasures& m, double limit)
{
    for (std::size_t c = 0; c < m.response.size(); ++c) {
        const FrequencyResponse& r = m.response[c];
        const double deviation = std::max(std::fabs(r.minDb), std::fabs(r.maxDb));
        if (!(deviation <= limit))
            failed.push_back("--max-response-deviation: " + CheckChannelName(c) + " spans " +
                             CheckFigure(r.minDb, "dB") + " to " + CheckFigure(r.maxDb, "dB") + " re 1 kHz, within +-" +
                             CheckFigure(limit, "dB") + " wanted");
    }
}

void CheckCrosstalk(std::vector<std::string>& failed, const CrosstalkResult& x, double limit)
{
    for (std::size_t d = 0; d < x.levelDb.size(); ++d) {
        // Levels are relative to the driven channel's: none there, none to compare.
        if (d < x.levelDb[d].size() && std::isnan(x.levelDb[d][d])) {
            failed.push_back("--max-crosstalk: " + CheckChannelName(d) + " driven alone did not come back in it");
            continue;
        }
        for (std::size_t c = 0; c < x.levelDb[d].size(); ++c) {
            const double level = x.levelDb[d][c];
            // NaN: not a trace of the tone in that channel.
            if (c == d || std::isnan(level) || level <= limit)
                continue;
            failed.push_back("--max-crosstalk: " + CheckChannelName(d) + " into " + CheckChannelName(c) + " at " +
                             CheckFigure(level, "dB") + ", at most " + CheckFigure(limit, "dB") + " wanted" +
                             (x.swapped ? " (the channels came back swapped)" : ""));
        }
    }
}

} // namespace

bool LoopbackChecksSet(const CLoopbackLimits& l, const AnalysisExpectations& e)
{
    return l.Any() || e.maxThdnDb || e.frequencyHz || e.maxDropouts;
}

std::vector<std::string> CheckLoopback(const LoopbackMeasures& m, const CLoopbackLimits& l,
                                       const AnalysisExpectations& e)
{
    std::vector<std::string> failed;
    if (!m.ok) {
        if (LoopbackChecksSet(l, e))
            failed.push_back("no measurement: " + m.error);
        return failed;
    }
    if (l.maxLatencyMs && !(m.latency.ms <= *l.maxLatencyMs))
        failed.push_back("--max-latency: the round trip takes " + CheckFigure(m.latency.ms, "ms") + ", at most " +
                         CheckFigure(*l.maxLatencyMs, "ms") + " wanted");
    if (l.maxResponseDeviationDb)
        CheckResponse(failed, m, *l.maxResponseDeviationDb);
    if (e.maxThdnDb || e.frequencyHz) {
        // The captured tone's own analysis, as --analyze checks a recording.
        AnalysisExpectations tone;
        tone.maxThdnDb = e.maxThdnDb;
        tone.frequencyHz = e.frequencyHz;
        tone.frequencyToleranceHz = e.frequencyToleranceHz;
        for (std::string& line : CheckAnalysis(m.tone, tone))
            failed.push_back(std::move(line));
    }
    if (l.minDynamicRangeDb)
        PerChannel(failed, "--min-dynamic-range", "dynamic range", m.dynamicRangeDb, *l.minDynamicRangeDb, false,
                   "dB");
    if (l.maxNoiseFloorDbfs)
        PerChannel(failed, "--max-noise-floor", "noise floor", m.noiseFloorDbfs, *l.maxNoiseFloorDbfs, true, "dBFS",
                   true);
    if (l.maxCrosstalkDb)
        CheckCrosstalk(failed, m.crosstalk, *l.maxCrosstalkDb);
    if (e.maxDropouts && m.dropoutCount > static_cast<std::uint64_t>(*e.maxDropouts))
        failed.push_back(CountOverLimit("--max-dropouts", m.dropoutCount, "dropouts", *e.maxDropouts));
    return failed;
}
