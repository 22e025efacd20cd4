// SPDX-License-Identifier: GPL-3.0-or-later
// Pieces the drawings share: the application Qt's fonts need, the picture
// with its heading, the panels (spectrum, waveform, response, the soak's
// timeline; a window draws them too, as the PNGs have them), the PNG's
// writing and the entry points' error copy.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>

#include <cstddef>
#include <string>

#include "analysis/SignalAnalysis.h"
#include "plot/LoopbackPlot.h"
#include "plot/SoakPlot.h"

inline constexpr int PlotWidth = 1200;
inline constexpr int PlotHeight = 820;
inline constexpr int PlotLeft = 80;
inline constexpr int PlotRight = 30;
inline const QColor PlotChannelColours[] = {QColor(0x1f, 0x5f, 0xbf), QColor(0xd0, 0x50, 0x20)};

// Fonts need a GUI application; without a display the offscreen platform serves.
void EnsurePlotApplication();

// A white picture of the plot's size; false (and `error`) when there is no
// memory for it.
bool NewPlotImage(QImage& image, std::string& error);

// The painter's font and the heading at the top.
void BeginPlot(QPainter& p, const QString& heading);

// The averaged spectrum over a logarithmic frequency axis from 20 Hz, each
// component at its peak level in dBFS as the text gives it (Picture.h),
// labelled with `caption`; "no spectrum" when the analysis has none.
void DrawSpectrumPanel(QPainter& p, const SignalAnalysis& a, const QRect& box, const QString& caption);

// The waveform overview of every channel in `box`, one lane per channel,
// with its caption above, the channel names and scale left of it (from x 4,
// so keep PlotLeft pixels free there) and the length below.
void DrawWaveform(QPainter& p, const SignalAnalysis& a, const QRect& box);

// The response of every channel in `box` (dB re 1 kHz over the band), with
// its caption above and the scale left of it; "response not measured" when
// there is none.
void DrawResponse(QPainter& p, const LoopbackPlotInput& input, const QRect& box);

// The soak's timeline in `area`: its events per direction, the latency and
// the drift over the time since the start, each panel's caption above it
// and the time axis below, the scales left of it (keep PlotLeft pixels
// free there), as the PNG has them.
void DrawSoakTimeline(QPainter& p, const SoakPlotInput& input, const QRect& area);

// Writes the picture as PNG; false with "cannot write 'PATH': WHY", leaving
// no file behind (and a file already there as it was).
bool SavePlot(const QImage& image, const std::string& path, std::string& error);

// For the entry points: `why` (or `fallback` when empty) copied into
// `error` (cut to errorSize) when not written. 1 when written, else 0.
int PlotEntryResult(bool written, std::string why, const char* fallback, char* error, std::size_t errorSize) noexcept;
