// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/AnalysisChecks.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Figure(double value, const char* unit)
{
    if (std::isnan(value))
        return "none";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %s", value, unit);
    return text;
}

std::string ChannelName(std::size_t c)
{
    return "channel " + std::to_string(c + 1);
}

} // namespace

std::vector<std::string> CheckAnalysis(const SignalAnalysis& a, const AnalysisExpectations& e)
{
    std::vector<std::string> failed;
    if (!a.ok) {
        if (e.Any())
            failed.push_back("no analysis: " + a.error);
        return failed;
    }
    std::uint64_t clipped = 0;
    for (std::size_t c = 0; c < a.channel.size(); ++c) {
        const ChannelAnalysis& ch = a.channel[c];
        const ToneFigures& t = ch.tone;
        clipped += ch.clippedSamples;
        if (e.frequencyHz && !(t.isTone && std::fabs(t.frequencyHz - *e.frequencyHz) <= e.frequencyToleranceHz))
            failed.push_back("--expect-frequency: " + ChannelName(c) + " has " +
                             (t.isTone ? Figure(t.frequencyHz, "Hz") : std::string("no tone")) + ", expected " +
                             Figure(*e.frequencyHz, "Hz") + " +- " + Figure(e.frequencyToleranceHz, "Hz"));
        if (e.minSnrDb && !(t.isTone && t.snrDb >= *e.minSnrDb))
            failed.push_back("--min-snr: " + ChannelName(c) + " has " + Figure(t.snrDb, "dB") + ", at least " +
                             Figure(*e.minSnrDb, "dB") + " wanted");
        if (e.maxThdnDb && !(t.isTone && t.thdnDb <= *e.maxThdnDb))
            failed.push_back("--max-thdn: " + ChannelName(c) + " has " + Figure(t.thdnDb, "dB") + ", at most " +
                             Figure(*e.maxThdnDb, "dB") + " wanted");
        if (e.minLevelDbfs && !(ch.rmsDbfs >= *e.minLevelDbfs))
            failed.push_back("--min-level: " + ChannelName(c) + " has an RMS of " + Figure(ch.rmsDbfs, "dBFS") +
                             ", at least " + Figure(*e.minLevelDbfs, "dBFS") + " wanted");
        if (e.noSilence && ch.silent)
            failed.push_back("--no-silence: " + ChannelName(c) + " is digital silence");
    }
    if (e.maxClipped && clipped > static_cast<std::uint64_t>(*e.maxClipped))
        failed.push_back("--max-clipped: " + std::to_string(clipped) + " samples clipped, at most " +
                         std::to_string(*e.maxClipped) + " allowed");
    if (e.validBits && a.validBitsCarried != *e.validBits)
        failed.push_back("--expect-valid-bits: " + std::to_string(a.validBitsCarried) + " bits carried, " +
                         std::to_string(*e.validBits) + " expected");
    if (e.maxDropouts && a.dropoutCount > static_cast<std::uint64_t>(*e.maxDropouts))
        failed.push_back("--max-dropouts: " + std::to_string(a.dropoutCount) + " dropouts, at most " +
                         std::to_string(*e.maxDropouts) + " allowed");
    return failed;
}
