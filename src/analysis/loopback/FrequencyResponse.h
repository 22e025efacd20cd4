// SPDX-License-Identifier: GPL-3.0-or-later
// Frequency response of the chain from the sweep: the captured sweep is
// convolved with the sweep's inverse filter into an impulse response, and
// its spectrum divided by that of the sweep as played taken the same way, so
// the sweep's own band edges cancel. Read at 1/12-octave points from the
// sweep's start to its end, in dB relative to 1 kHz.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/SignalAnalysis.h"
#include "analysis/loopback/CaptureView.h"

struct ResponsePoint {
    double hz = 0;
    double db = 0; // relative to the level at 1 kHz
};

struct FrequencyResponse {
    bool ok = false;
    std::string error; // why not, when !ok
    std::vector<ResponsePoint> points;
    double minDb = NoFigure; // the extremes over the band: the "+-dB"
    double maxDb = NoFigure;
    // Where the response first falls 3 dB below 1 kHz on either side; NaN
    // when it stays within 3 dB to that end of the band.
    double lowerMinus3Hz = NoFigure;
    double upperMinus3Hz = NoFigure;
};

// `heard`: the capture aligned so that frame 0 is where the sweep came back,
// as long as the sweep and the silence after it (frames past the silence
// must not be included); `played`: the sweep as played, same alignment.
FrequencyResponse ResponseFromSweep(const std::vector<double>& heard, const std::vector<double>& played,
                                    std::int32_t rate, double startHz, double endHz);

// The same on one channel of a captured sequence, up to the next part.
FrequencyResponse MeasureResponse(const CaptureView& view, std::uint16_t channel);
