// SPDX-License-Identifier: GPL-3.0-or-later
// Linear convolution, correlation and one-sided spectra of real signals
// through FFTW (plans made with FFTW_ESTIMATE, so nothing is measured at
// run time). Each call returns false, leaving `out` empty, when the
// transform would exceed MaxTransformSize or FFTW could not allocate or plan.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

// 2^26 points: a minute of 192 kHz audio plus its filter, about 1.5 GiB of
// work memory at most.
inline constexpr std::size_t MaxTransformSize = std::size_t{1} << 26;

// The smallest power of two >= n (1 for 0).
std::size_t TransformSizeFor(std::size_t n);

// out[k] = sum a[i] b[k-i], k = 0 .. a+b-2. Empty input gives an empty out.
bool FftConvolve(const std::vector<double>& a, const std::vector<double>& b, std::vector<double>& out);

// out[lag] = sum pattern[n] signal[lag+n], lag = 0 .. signal-pattern
// (empty when the signal is shorter than the pattern).
bool FftCorrelate(const std::vector<double>& signal, const std::vector<double>& pattern, std::vector<double>& out);

// The bins 0 .. size/2 of x zero-padded (or cut) to `size` points.
bool RealSpectrum(const std::vector<double>& x, std::size_t size, std::vector<std::complex<double>>& out);
