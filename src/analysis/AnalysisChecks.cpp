// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/AnalysisChecks.h"

#include <cmath>

#include "analysis/CheckWords.h"

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
            failed.push_back("--expect-frequency: " + CheckChannelName(c) + " has " +
                             (t.isTone ? CheckFigure(t.frequencyHz, "Hz") : std::string("no tone")) +
                             ", expected " + CheckFigure(*e.frequencyHz, "Hz") + " +- " +
                             CheckFigure(e.frequencyToleranceHz, "Hz"));
        if (e.minSnrDb && !(t.isTone && t.snrDb >= *e.minSnrDb))
            failed.push_back("--min-snr: " + CheckChannelName(c) + " has " + CheckFigure(t.snrDb, "dB") +
                             ", at least " + CheckFigure(*e.minSnrDb, "dB") + " wanted");
        if (e.maxThdnDb && !(t.isTone && t.thdnDb <= *e.maxThdnDb))
            failed.push_back("--max-thdn: " + CheckChannelName(c) + " has " + CheckFigure(t.thdnDb, "dB") +
                             ", at most " + CheckFigure(*e.maxThdnDb, "dB") + " wanted");
        if (e.minLevelDbfs && !(ch.rmsDbfs >= *e.minLevelDbfs))
            failed.push_back("--min-level: " + CheckChannelName(c) + " has an RMS of " +
                             CheckFigure(ch.rmsDbfs, "dBFS") + ", at least " + CheckFigure(*e.minLevelDbfs, "dBFS") +
                             " wanted");
        if (e.noSilence && ch.silent)
            failed.push_back("--no-silence: " + CheckChannelName(c) + " is digital silence");
    }
    if (e.maxClipped && clipped > static_cast<std::uint64_t>(*e.maxClipped))
        failed.push_back(CountOverLimit("--max-clipped", clipped, "samples clipped", *e.maxClipped));
    if (e.validBits && a.validBitsCarried != *e.validBits)
        failed.push_back("--expect-valid-bits: " + std::to_string(a.validBitsCarried) + " bits carried, " +
                         std::to_string(*e.validBits) + " expected");
    if (e.maxDropouts && a.dropoutCount > static_cast<std::uint64_t>(*e.maxDropouts))
        failed.push_back(CountOverLimit("--max-dropouts", a.dropoutCount, "dropouts", *e.maxDropouts));
    return failed;
}
