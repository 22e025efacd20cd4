// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's timeline as the plot draws it (plot/SoakPlot.h): its title, a
// mark per event kept (xrun, glitch or other, by direction) and the latency
// and drift series, taken from a run so far or ended. The PNG through the
// plot module and a window's live picture draw the same.
#pragma once

#include <string>
#include <vector>

#include "measure/soak/SoakResult.h"
#include "plot/SoakPlot.h"

struct SoakTimeline {
    std::string title;  // "full duplex, IN from OUT, 48000 Hz, 2 channel(s), 16-bit"
    double seconds = 0; // the run's length so far
    std::vector<SoakPlotMark> marks;
    std::vector<SoakPlotPoint> latencyMs;
    std::vector<SoakPlotPoint> driftPpm;

    // The plot's input, pointing into this object: valid while it lives unchanged.
    SoakPlotInput Input() const;
};

SoakTimeline MakeSoakTimeline(const SoakRun& run);
