// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's timeline as SVG, drawn by the program itself from the result
// model (SoakResult.h), so every build has it, the Windows ones included:
// the events at their times in a lane per direction, then, by mode, the
// latency and the drift so far (full duplex) or the input's level (record
// only), each bucket's extremes as a band with a line through it, over the
// time since the start.
//
// Its size stays bounded whatever the run's length: the series hold at most
// SoakSeriesPoints buckets, and the events are drawn one mark per kind,
// lane and few pixels (a thousand xruns in one place are one mark). An
// event is told by its shape as well as its colour (xrun a triangle, glitch
// a diamond, anything else a square), and the picture's description says
// what it shows in words.
#pragma once

#include <string>

#include "measure/soak/SoakResult.h"

// `idPrefix` keeps the picture's ids unique within a page.
std::string SoakSvg(const SoakRun& run, const std::string& idPrefix);

// "full duplex, IN from OUT, 48000 Hz, 2 channel(s), 16-bit" (the devices
// the mode used), as the PNG's: the picture's title after "Tallowmere soak: ".
std::string SoakRunTitle(const SoakRun& run);
