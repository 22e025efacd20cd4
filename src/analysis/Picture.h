// SPDX-License-Identifier: GPL-3.0-or-later
// What a picture of an analysis draws, worked out apart from any toolkit so
// that tests hold it to the text: the spectrum as one level per pixel column
// of a logarithmic frequency axis, and the waveform overview as each pixel
// column's lowest and highest value. Plain code on headers only, so the
// plot module can compile it in.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/SignalAnalysis.h"
#include "analysis/loopback/FrequencyResponse.h"

// The lowest frequency a picture shows: the band's lower end. Below it
// the bins are few and wide, and the lowest are the leakage of DC.
inline constexpr double PictureLowHz = 20;

struct SpectrumAxis {
    double lowHz = 0;
    double highHz = 0;
};

// The axis for an analysis: from PictureLowHz, or the first bin clear of
// DC's lobe when that is higher, to the top bin. False when the analysis
// has no spectrum or too few bins above that.
bool SpectrumAxisFor(const SignalAnalysis& a, SpectrumAxis& axis);

// The levels of `columns` pixel columns spread logarithmically over the
// axis: the loudest bin whose centre lies in the column, or, for a column
// narrower than a bin, the level interpolated (in dB) between the bins
// either side of its middle. Empty for no columns or no levels.
std::vector<double> SpectrumColumns(const std::vector<float>& levelsDbfs, double binHz, const SpectrumAxis& axis,
                                    int columns);

struct OverviewColumn {
    float low = 0;
    float high = 0;
};

// The overview (min/max pairs per overview column) for `columns` pixel
// columns: each pixel gets the extremes of every overview column it covers,
// or of the one it lies in when overview columns are wider than pixels, so
// no pixel is left out and none is drawn twice. Empty when either is empty.
std::vector<OverviewColumn> OverviewColumns(const std::vector<float>& low, const std::vector<float>& high,
                                            int columns);

// The dB range (+-span) the responses of every channel are drawn over: wide
// enough for every finite point, at least +-3 dB, at most +-60 dB, in whole
// steps of the grid, which `stepDb` receives (1, 3, 6 or 12 dB).
double ResponseSpanDb(const std::vector<FrequencyResponse>& response, double& stepDb);
