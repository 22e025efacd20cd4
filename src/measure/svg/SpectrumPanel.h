// SPDX-License-Identifier: GPL-3.0-or-later
// The averaged spectrum panel of the analysis's and the loopback's SVG
// pictures: each channel's levels per pixel column (Picture.h) in dBFS from
// 0 down to -160 over a logarithmic frequency axis, with the legend; "no
// spectrum" when the analysis has none.
#pragma once

#include <string>

#include "analysis/SignalAnalysis.h"
#include "measure/svg/SvgChart.h"

void DrawSpectrumPanel(CSvgDocument& svg, const SignalAnalysis& a, const SvgBox& box, const std::string& caption);
