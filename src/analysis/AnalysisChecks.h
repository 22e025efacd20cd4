// SPDX-License-Identifier: GPL-3.0-or-later
// Thresholds a script sets on the signal (--expect-frequency, --min-snr, ...)
// and their verdict on an analysis. Each failed check gives one line that
// names the flag, the figure found and the limit.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/SignalAnalysis.h"

struct AnalysisExpectations {
    std::optional<double> frequencyHz;       // every channel's dominant tone here...
    double frequencyToleranceHz = 1.0;       // ...within this
    std::optional<double> minSnrDb;          // every tone channel at least this SNR
    std::optional<double> maxThdnDb;         // and at most this THD+N
    std::optional<long long> maxClipped;     // clipped samples over all channels at most
    std::optional<int> validBits;            // the bits carried exactly this
    std::optional<long long> maxDropouts;    // dropouts over all channels at most
    std::optional<double> minLevelDbfs;      // every channel's RMS at least this
    bool noSilence = false;                  // no channel digital silence

    bool Any() const
    {
        return frequencyHz || minSnrDb || maxThdnDb || maxClipped || validBits || maxDropouts || minLevelDbfs ||
               noSilence;
    }
};

// The failed checks; empty when all pass. A figure that does not exist (no
// tone, so no frequency or SNR) fails the check that needs it.
std::vector<std::string> CheckAnalysis(const SignalAnalysis& analysis, const AnalysisExpectations& expected);
