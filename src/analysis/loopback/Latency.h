// SPDX-License-Identifier: GPL-3.0-or-later
// Round-trip latency: where the alignment marker came back in a capture,
// found by FFT cross-correlation with the marker as played, to the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/SignalAnalysis.h"
#include "analysis/loopback/Stimulus.h"

enum class LatencyStatus {
    Found,
    NotFound,  // no lag correlates with the marker well enough (MinMarkerCorrelation)
    TooShort,  // the capture ends before a whole marker could have come back
    NoMemory,  // the transform would pass MaxTransformSize, or could not be allocated or planned
};

// The normalised correlation below which the marker is taken as absent:
// a pseudo-random sequence's side lobes stay near 1/sqrt(length).
inline constexpr double MinMarkerCorrelation = 0.3;

struct LatencyResult {
    LatencyStatus status = LatencyStatus::NotFound;
    std::int64_t frames = 0;         // capture frame of the marker minus its frame as played
    double ms = NoFigure;
    double correlation = NoFigure;   // normalised, -1..1, at the lag found
    bool inverted = false;           // the marker came back with its polarity reversed
};

// The lag (0 .. capture - marker) at which `marker` best matches `capture`,
// by |normalised correlation|; rate for the milliseconds. frames is the lag.
LatencyResult FindMarker(const std::vector<double>& capture, const std::vector<double>& marker, std::int32_t rate);

// The latency of a captured run of `sequence` (same format), read on
// `channel`: the marker's lag minus the frame it was played at.
LatencyResult MeasureLatency(const std::uint8_t* capture, std::size_t byteCount, const LoopbackSequence& sequence,
                             std::uint16_t channel = 0);

const char* LatencyStatusName(LatencyStatus status);
