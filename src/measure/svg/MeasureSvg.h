// SPDX-License-Identifier: GPL-3.0-or-later
// The pictures of the analysis and of the loopback as SVG, drawn by the
// program itself from the numbers the PNGs are drawn from (analysis/
// Picture.h), so the report and --plot FILE.svg need no toolkit: the same
// panels, axes, scales and channel strokes as the PNG, and a text
// alternative that states what the picture shows.
#pragma once

#include <string>
#include <vector>

#include "analysis/SignalAnalysis.h"
#include "analysis/loopback/FrequencyResponse.h"

// The waveform overview of every channel above the averaged spectrum.
// `idPrefix` keeps ids unique within a page. For an analysis that is not ok
// the panels say so.
std::string AnalysisSvg(const SignalAnalysis& analysis, const std::string& title, const std::string& idPrefix);

// The frequency response of every channel (dB re 1 kHz, bandLowHz to
// bandHighHz) above the spectrum of the captured 1 kHz tone. An empty
// response or a tone that is not ok draws a note in its panel.
struct LoopbackPicture {
    std::string title;
    const std::vector<FrequencyResponse>* response = nullptr; // per channel
    const SignalAnalysis* tone = nullptr;
    double bandLowHz = 20;
    double bandHighHz = 20000;
};
std::string LoopbackSvg(const LoopbackPicture& picture, const std::string& idPrefix);

// The picture of a loopback run: its response and captured tone over the
// sweep's band, titled with its devices and format.
struct CLoopbackRun;
std::string LoopbackRunSvg(const CLoopbackRun& run, const std::string& idPrefix);

// Whether a picture's path asks for SVG: its name ends in ".svg" (any case).
bool IsSvgPath(const std::string& path);

// Writes `svg` to `path` through a save file; false with "cannot write
// 'PATH': WHY", leaving nothing behind (and a file already there as it was).
bool SaveSvg(const std::string& svg, const std::string& path, std::string& error);
