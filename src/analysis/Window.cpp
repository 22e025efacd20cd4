// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/Window.h"

#include <array>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

constexpr double Terms[] = {0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
                            0.01081174209837, 0.00077658482522, 0.00001388721735};
constexpr int TermCount = 7;

// sin(pi x) / (L sin(pi x / L)): the rectangular window's response.
double Dirichlet(double x, double length)
{
    double denominator = length * std::sin(std::numbers::pi * x / length);
    if (std::fabs(denominator) < 1e-300)
        return 1.0;
    return std::sin(std::numbers::pi * x) / denominator;
}

// The window as a sum of cosines is a sum of shifted Dirichlet kernels,
// each with its own weight and phase, which depend on the length alone.
using KernelWeights = std::array<std::complex<double>, WindowKernelCount>;
static_assert(WindowKernelCount == 2 * TermCount - 1);

KernelWeights Weights(double length)
{
    KernelWeights weights;
    for (int k = -(TermCount - 1); k < TermCount; ++k) {
        int m = k < 0 ? -k : k;
        double c = (m % 2 == 0 ? 1.0 : -1.0) * Terms[m] * (m == 0 ? 1.0 : 0.5);
        std::complex<double> phase = std::polar(1.0, std::numbers::pi * k * (length - 1) / length);
        weights[static_cast<std::size_t>(k + TermCount - 1)] = c * phase;
    }
    return weights;
}

double Response(double binsOfLength, double length, const KernelWeights& weights)
{
    std::complex<double> sum(0, 0);
    for (int k = -(TermCount - 1); k < TermCount; ++k)
        sum += weights[static_cast<std::size_t>(k + TermCount - 1)] * Dirichlet(binsOfLength - k, length);
    return std::abs(sum);
}

} // namespace

std::vector<double> MakeWindow(std::size_t length)
{
    std::vector<double> w(length);
    for (std::size_t n = 0; n < length; ++n) {
        double x = 2.0 * std::numbers::pi * static_cast<double>(n) / static_cast<double>(length);
        // cos(kx) by the Chebyshev recurrence: one cosine per sample.
        double c1 = std::cos(x);
        double before = 1.0;
        double current = c1;
        double v = Terms[0] - Terms[1] * c1;
        for (int k = 2; k < TermCount; ++k) {
            double next = 2.0 * c1 * current - before;
            before = current;
            current = next;
            v += (k % 2 == 0 ? 1.0 : -1.0) * Terms[k] * current;
        }
        w[n] = v;
    }
    return w;
}

double WindowSum(std::size_t length)
{
    // The periodic window's cosines sum to nothing over whole periods.
    return Terms[0] * static_cast<double>(length);
}

double WindowPowerSum(std::size_t length)
{
    double sum = Terms[0] * Terms[0];
    for (int k = 1; k < TermCount; ++k)
        sum += Terms[k] * Terms[k] / 2.0;
    return sum * static_cast<double>(length);
}

double WindowResponse(double bins, std::size_t length, std::size_t fftSize)
{
    return CWindowResponse(length, fftSize)(bins);
}

CWindowResponse::CWindowResponse(std::size_t windowLength, std::size_t transformSize)
    : length(static_cast<double>(windowLength)), fftSize(static_cast<double>(transformSize)),
      weights(Weights(length)), centre(Response(0, length, weights))
{
}

double CWindowResponse::operator()(double bins) const
{
    // Scaled as bins * length / fftSize, in that order, as always.
    double scaled = bins * length / fftSize;
    return centre > 0 ? Response(scaled, length, weights) / centre : 0;
}
