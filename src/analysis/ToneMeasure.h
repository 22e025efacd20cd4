// SPDX-License-Identifier: GPL-3.0-or-later
// Reads the dominant component out of an averaged power spectrum: its
// frequency (interpolated between bins through the window's own response),
// its level, THD+N and SNR when it is a tone, and the noise floor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/SignalAnalysis.h"

// power: one-sided bins 0..fftSize/2 in full-scale mean-square units (as
// CChannelSpectrum gives them); windowLength: the samples the window spanned.
// Harmonics are sought up to the tenth below the top of the band. Empty or
// all-zero power gives figures that are all NaN.
ToneFigures MeasureTone(const std::vector<double>& power, std::size_t fftSize, std::size_t windowLength,
                        std::int32_t sampleRate);

// The offset in bins (-0.5..0.5) of a component from bin k, given the
// magnitudes of bins k-1, k and k+1.
double InterpolatePeak(double below, double at, double above, std::size_t windowLength, std::size_t fftSize);

// Per bin of a power spectrum (CChannelSpectrum's), the peak level in dBFS
// of a sine there, as MeasureTone gives a tone's level: the window's gain
// taken out, and a component that falls between bins read at its
// interpolated peak. -400 for an empty bin.
std::vector<float> PeakLevelSpectrum(const std::vector<double>& power, std::size_t fftSize, std::size_t windowLength);
