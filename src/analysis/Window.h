// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis window: a seven-term Blackman-Harris window, whose side
// lobes lie below -160 dB, so a tone's leakage never hides the noise and
// harmonics a 24-bit signal carries; its main lobe spans +-7 bins.
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <vector>

// The Dirichlet kernels the window's response is the sum of.
inline constexpr std::size_t WindowKernelCount = 13;

// Bins on either side of a component that its main lobe covers, plus one.
inline constexpr std::size_t WindowHalfWidthBins = 8;

// The periodic window of `length` samples.
std::vector<double> MakeWindow(std::size_t length);

// The sum of the window over `length` samples (its gain for a tone at a
// bin's centre).
double WindowSum(std::size_t length);

// The sum of the squared window over `length` samples.
double WindowPowerSum(std::size_t length);

// |DTFT| of the `length`-sample window, zero-padded to `fftSize`, at `bins`
// (fftSize-point bins) from its centre frequency, relative to its value at 0.
double WindowResponse(double bins, std::size_t length, std::size_t fftSize);

// WindowResponse for one window and transform size, with the value at the
// centre and the kernels' weights worked out once: the same figures, bit for
// bit, for a caller that asks many times (the peak interpolation's search).
class CWindowResponse {
public:
    CWindowResponse(std::size_t length, std::size_t fftSize);
    double operator()(double bins) const;

private:
    double length;
    double fftSize;
    std::array<std::complex<double>, WindowKernelCount> weights;
    double centre;
};
