// SPDX-License-Identifier: GPL-3.0-or-later
// The chart pieces the measurement pictures share: the panel's box, a
// logarithmic frequency axis, a dB axis, the channels' strokes and legend.
// The layout is the PNG pictures' (1200 x 820, the same boxes), so both
// kinds show the same picture.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "measure/svg/SvgDocument.h"

inline constexpr int ChartWidth = 1200;
inline constexpr int ChartHeight = 820;
inline constexpr int ChartLeft = 80;
inline constexpr int ChartRight = 30;

struct SvgBox {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    double Right() const { return x + width; }
    double Bottom() const { return y + height; }
};

// A frequency axis from lowHz to highHz (both > 0, highHz > lowHz).
struct LogFrequencyAxis {
    double lowHz = 20;
    double highHz = 20000;
    double XOf(const SvgBox& box, double hz) const;
};

// A dB axis from topDb down to bottomDb.
struct DbAxis {
    double topDb = 0;
    double bottomDb = -160;
    double stepDb = 20;
    double YOf(const SvgBox& box, double db) const; // clamped to the box
};

// Channel c's stroke: the PNG's two colours in turn, and from the second
// channel on a dash pattern of its own, so no curve is known by colour alone.
SvgStroke ChannelStroke(std::size_t channel, double width = 1.2);

// The panel's caption above it and its frame.
void DrawPanelFrame(CSvgDocument& svg, const SvgBox& box, const std::string& caption);

// Grid lines at 1..9 of every decade, labels at 20, 100, 1k, 10k and 100k,
// and the axis's name; then the dB lines with their labels (`markDb`, when
// finite, drawn dashed: the -3 dB line of a response).
void DrawFrequencyGrid(CSvgDocument& svg, const SvgBox& box, const LogFrequencyAxis& x, const DbAxis& y,
                       double markDb);

// "ch 1", "ch 2", ... each beside a short line in its stroke, in the
// panel's top right corner.
void DrawChannelLegend(CSvgDocument& svg, const SvgBox& box, std::size_t channels);

// A note in the middle of an empty panel ("no spectrum").
void DrawPanelNote(CSvgDocument& svg, const SvgBox& box, const std::string& note);
