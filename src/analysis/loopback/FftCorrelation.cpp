// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/loopback/FftCorrelation.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <fftw3.h>

namespace {

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};
using RealBuffer = std::unique_ptr<double, FftwFree>;
using ComplexBuffer = std::unique_ptr<fftw_complex, FftwFree>;

RealBuffer AllocReal(std::size_t n)
{
    return RealBuffer(static_cast<double*>(fftw_malloc(sizeof(double) * n)));
}

ComplexBuffer AllocComplex(std::size_t n)
{
    return ComplexBuffer(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n)));
}

// Transforms x, padded to `size`, into `bins` (size/2+1 of them).
bool Forward(const std::vector<double>& x, std::size_t size, fftw_complex* bins)
{
    RealBuffer in = AllocReal(size);
    if (!in)
        return false;
    fftw_plan plan = fftw_plan_dft_r2c_1d(static_cast<int>(size), in.get(), bins, FFTW_ESTIMATE);
    if (plan == nullptr)
        return false;
    const std::size_t used = std::min(x.size(), size);
    std::copy_n(x.data(), used, in.get());
    std::fill(in.get() + used, in.get() + size, 0.0);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    return true;
}

} // namespace

std::size_t TransformSizeFor(std::size_t n)
{
    std::size_t size = 1;
    while (size < n && size <= MaxTransformSize)
        size <<= 1;
    return size;
}

bool FftConvolve(const std::vector<double>& a, const std::vector<double>& b, std::vector<double>& out)
{
    out.clear();
    if (a.empty() || b.empty())
        return true;
    const std::size_t length = a.size() + b.size() - 1;
    const std::size_t size = TransformSizeFor(length);
    if (size > MaxTransformSize)
        return false;
    const std::size_t bins = size / 2 + 1;
    ComplexBuffer fa = AllocComplex(bins);
    ComplexBuffer fb = AllocComplex(bins);
    RealBuffer result = AllocReal(size);
    if (!fa || !fb || !result || !Forward(a, size, fa.get()) || !Forward(b, size, fb.get()))
        return false;
    for (std::size_t k = 0; k < bins; ++k) {
        const double re = fa.get()[k][0] * fb.get()[k][0] - fa.get()[k][1] * fb.get()[k][1];
        const double im = fa.get()[k][0] * fb.get()[k][1] + fa.get()[k][1] * fb.get()[k][0];
        fa.get()[k][0] = re;
        fa.get()[k][1] = im;
    }
    fftw_plan plan = fftw_plan_dft_c2r_1d(static_cast<int>(size), fa.get(), result.get(), FFTW_ESTIMATE);
    if (plan == nullptr)
        return false;
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    // FFTW leaves the inverse unnormalised.
    const double scale = 1.0 / static_cast<double>(size);
    out.resize(length);
    for (std::size_t i = 0; i < length; ++i)
        out[i] = result.get()[i] * scale;
    return true;
}

bool FftCorrelate(const std::vector<double>& signal, const std::vector<double>& pattern, std::vector<double>& out)
{
    out.clear();
    if (pattern.empty() || signal.size() < pattern.size())
        return true;
    std::vector<double> reversed(pattern.rbegin(), pattern.rend());
    std::vector<double> full;
    if (!FftConvolve(signal, reversed, full))
        return false;
    const std::size_t lags = signal.size() - pattern.size() + 1;
    out.assign(full.begin() + static_cast<std::ptrdiff_t>(pattern.size() - 1),
               full.begin() + static_cast<std::ptrdiff_t>(pattern.size() - 1 + lags));
    return true;
}

bool RealSpectrum(const std::vector<double>& x, std::size_t size, std::vector<std::complex<double>>& out)
{
    out.clear();
    if (size < 2 || size > MaxTransformSize)
        return false;
    const std::size_t bins = size / 2 + 1;
    ComplexBuffer f = AllocComplex(bins);
    if (!f || !Forward(x, size, f.get()))
        return false;
    out.resize(bins);
    for (std::size_t k = 0; k < bins; ++k)
        out[k] = {f.get()[k][0], f.get()[k][1]};
    return true;
}
