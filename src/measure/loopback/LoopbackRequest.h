// SPDX-License-Identifier: GPL-3.0-or-later
// What a loopback measurement is asked for: the format to play and record,
// the measures to take and the limits to hold them to. Filled by a front
// end (the command line from its flags), read by the session and checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "analysis/AnalysisChecks.h"
#include "analysis/loopback/Stimulus.h"

// The measures --measure names; latency is always measured (the marker
// places every other part), so it is listed only for completeness.
struct CLoopbackMeasureChoice {
    bool response = true;
    bool thd = true;
    bool noise = true;
    bool crosstalk = true;
    bool crosstalkNamed = false; // asked by name, not through "all"
};

struct CLoopbackLimits {
    std::optional<double> maxLatencyMs{};         // --max-latency MS
    std::optional<double> maxResponseDeviationDb{}; // --max-response-deviation DB: |dB re 1 kHz| over the band
    std::optional<double> minDynamicRangeDb{};    // --min-dynamic-range DB
    std::optional<double> maxNoiseFloorDbfs{};    // --max-noise-floor DBFS
    std::optional<double> maxCrosstalkDb{};       // --max-crosstalk DB, every pair

    bool Any() const
    {
        return maxLatencyMs || maxResponseDeviationDb || minDynamicRangeDb || maxNoiseFloorDbfs || maxCrosstalkDb;
    }
};

// The format of a loopback run; the defaults are the test's (1 channel,
// 44100 Hz, 16 bits, the valid bits the container's, standard API mode).
struct CLoopbackFormat {
    int channels = 1;
    int sampleRate = 44100;
    int bits = 16;
    int validBits = 16;
    bool extended = false;
};

// A device as the front end chose it from the lists.
struct CLoopbackDevice {
    int position = -1; // in the list, as the front end numbers it
    std::uint32_t id = 0;
    std::string name;
};

struct CLoopbackRequest {
    CLoopbackDevice input;
    CLoopbackDevice output;
    CLoopbackFormat format;
    MeasureSelection selection;     // the measures to take
    CLoopbackLimits limits;
    // The analysis's checks on the captured 1 kHz tone and on the whole
    // capture: the THD+N, the frequency with its tolerance, the dropouts.
    AnalysisExpectations toneChecks;
    std::optional<std::string> plotPath; // the picture to draw (PNG)
};
