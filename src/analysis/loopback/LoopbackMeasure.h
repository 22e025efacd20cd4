// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback measures on one captured run of a sequence: the latency
// first, since it places every other part in the capture, then those whose
// parts the sequence holds (its `selection`); the others stay empty.
//
// Results: ok = false with `error` when the marker was not found (nothing
// else can be placed) or a part did not come back within the capture;
// otherwise every figure measured, NaN where a figure does not exist for
// the signal (see each measure's header). Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/loopback/FrequencyResponse.h"
#include "analysis/loopback/Latency.h"
#include "analysis/loopback/ToneMeasures.h"

struct LoopbackMeasures {
    bool ok = false;
    std::string error;
    MeasureSelection measured;  // the sequence's selection
    bool dropoutsChecked = false; // the sweep or the tone was played and searched

    LatencyResult latency;
    std::vector<FrequencyResponse> response; // per channel
    std::vector<double> gainDb;
    std::vector<double> thdnDb;
    std::vector<double> dynamicRangeDb;
    std::vector<double> noiseFloorDbfs;
    CrosstalkResult crosstalk; // empty for one channel
    std::vector<Dropout> dropouts; // the first of them, in order
    std::uint64_t dropoutCount = 0; // all of them
    // The captured 1 kHz tone, analysed: its dominant frequency and its
    // averaged spectrum. ok = false when no tone was played.
    SignalAnalysis tone;
};

// `capture`: interleaved PCM in the sequence's format, recorded while the
// sequence played; it should run past the sequence by the latency expected.
LoopbackMeasures MeasureLoopback(const std::uint8_t* capture, std::size_t byteCount, const LoopbackSequence& sequence);
