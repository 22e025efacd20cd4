// SPDX-License-Identifier: GPL-3.0-or-later
// The measures read from the steady parts of a captured sequence, per
// channel: gain and THD+N on the 1 kHz tone, dynamic range on the -60 dBFS
// tone, the noise floor on the silence, crosstalk on the parts that drive
// one channel, and dropouts in the parts that carry signal throughout.
// Each returns false when the part is missing from the sequence or did not
// come back whole within the capture (`view` must carry the latency).
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/SignalAnalysis.h"
#include "analysis/loopback/CaptureView.h"

// Share of a part left out at each end before it is measured.
inline constexpr double PartGuardShare = 0.125;

// Peak amplitude (full-scale fraction) of the component at `hz` in x: a
// windowed projection, so other components and noise barely reach it.
double LevelAt(const std::vector<double>& x, double hz, std::int32_t rate);

// dB of the 1 kHz tone captured over the tone as played, per channel.
bool MeasureGain(const CaptureView& view, std::vector<double>& gainDb);

// THD+N of the captured 1 kHz tone, dB relative to the tone, per channel.
bool MeasureThdN(const CaptureView& view, std::vector<double>& thdnDb);

// Full-scale sine over noise and distortion in dB, read on the -60 dBFS
// tone; NaN where the tone is lost in the noise (or in the quantisation).
bool MeasureDynamicRange(const CaptureView& view, std::vector<double>& rangeDb);

// RMS of the silent part in dBFS, per channel; NaN for digital silence.
bool MeasureNoiseFloor(const CaptureView& view, std::vector<double>& floorDbfs);

struct CrosstalkResult {
    // levelDb[d][c]: the 1 kHz level in channel c while channel d alone was
    // driven, in dB relative to the level in channel d itself.
    std::vector<std::vector<double>> levelDb;
    // mapping[d]: the channel in which channel d's signal came back loudest,
    // by more than 1 dB over channel d itself (else d).
    std::vector<std::uint16_t> mapping;
    bool swapped = false; // some channel came back loudest in another
};

// Needs two channels (false for one).
bool MeasureCrosstalk(const CaptureView& view, CrosstalkResult& out);

// Dropouts inside the sweep and the 1 kHz tone (those of them the sequence
// has; false when it has neither), frames and ms counted from the start of
// the capture: `count` all of them, `dropouts` the first MaxDropoutsKept of
// each part.
bool FindDropouts(const CaptureView& view, std::vector<Dropout>& dropouts, std::uint64_t& count);
