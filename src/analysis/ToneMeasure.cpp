// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ToneMeasure.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "analysis/Window.h"

namespace {

constexpr int MaxHarmonic = 10;
constexpr float EmptyBinDbfs = -400;
// A component's interpolated peak is never put more than this above its
// bin (the window's loss half-way between bins is under 0.5 dB).
constexpr double MostPeakCorrectionDb = 1;
// The strongest component must carry at least this share of the AC power to
// be called a tone.
constexpr double ToneShare = 0.5;

double PowerDb(double power)
{
    return power > 0 ? 10.0 * std::log10(power) : NoFigure;
}

// Adds the band of `half` bins either side of `centre` that no other band
// took yet.
double TakeBand(const std::vector<double>& power, std::vector<char>& used, std::size_t centre, std::size_t half,
                std::size_t& bins)
{
    std::size_t last = power.size() - 1;
    std::size_t from = centre > half ? centre - half : 0;
    std::size_t to = std::min(last, centre + half);
    double sum = 0;
    for (std::size_t k = from; k <= to; ++k)
        if (!used[k]) {
            used[k] = 1;
            sum += power[k];
            ++bins;
        }
    return sum;
}

// The peak interpolation's bisection: its steps over -0.5..0.5 bins.
constexpr int PeakSearchSteps = 40;
// The ratio of the window's responses that the interpolation inverts is
// worked out to within about 2e-15 (rounding); it rises steadily with the
// offset, so beyond this much of it from where it crosses the observed
// ratio, rounding cannot turn a step of the bisection the other way.
constexpr double RoundingMarginOfRatio = 1e-11;
// The bracket search stops after this many evaluations of the ratio.
constexpr int BracketSteps = 12;

// Where the ratio crosses the observed one: it lies in from..to, and steps
// of the bisection further from there than `margin` (in bins) go the way the
// crossing says. A bracket that cannot be found (a ratio that is not a
// number, or does not rise) is NaN, so every step works the ratio out.
struct PeakBracket {
    double from = std::numeric_limits<double>::quiet_NaN();
    double to = std::numeric_limits<double>::quiet_NaN();
    double margin = 0;
};

template <class Model>
PeakBracket BracketCrossing(const Model& model, double observed)
{
    PeakBracket none;
    double a = -0.5;
    double b = 0.5;
    const double lowest = model(a);
    const double highest = model(b);
    const double rise = highest - lowest;
    double fa = lowest - observed;
    double fb = highest - observed;
    if (!std::isfinite(fa) || !std::isfinite(fb) || !(rise > 0))
        return none;
    PeakBracket bracket;
    bracket.margin = RoundingMarginOfRatio / rise;
    // Outside the range the ratio spans, every step goes one way.
    if (!(fa < 0)) {
        bracket.from = bracket.to = a;
        return bracket;
    }
    if (fb < 0) {
        bracket.from = bracket.to = b;
        return bracket;
    }
    // False position (Illinois): the ratio is nearly straight, so a few
    // evaluations narrow the bracket to the margin.
    int kept = 0; // the side kept twice running has its value halved
    for (int i = 0; i < BracketSteps && b - a > bracket.margin; ++i) {
        double c = b - fb * (b - a) / (fb - fa);
        if (!(c > a && c < b))
            c = (a + b) / 2;
        const double fc = model(c) - observed;
        if (!std::isfinite(fc))
            return none;
        if (fc < 0) {
            a = c;
            fa = fc;
            if (kept == 1)
                fb /= 2;
            kept = 1;
        } else {
            b = c;
            fb = fc;
            if (kept == -1)
                fa /= 2;
            kept = -1;
        }
    }
    bracket.from = a;
    bracket.to = b;
    return bracket;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

double InterpolatePeak(double below, double at, double above, std::size_t windowLength, std::size_t fftSize)
{
    if (!(at > 0))
        return 0;
    double observed = (above - below) / at;
    // The ratio grows with the offset; find the offset whose ideal response
    // gives the observed ratio. The responses' common scale (their value at
    // the centre) is taken once, not in every step.
    const CWindowResponse response(windowLength, fftSize);
    auto model = [&](double delta) {
        return (response(1 - delta) - response(1 + delta)) / response(delta);
    };
    // The offset is the bisection's, step for step; the steps far from where
    // the ratio crosses the observed one go that way without working it out.
    const PeakBracket bracket = BracketCrossing(model, observed);
    double lo = -0.5;
    double hi = 0.5;
    for (int i = 0; i < PeakSearchSteps; ++i) {
        double mid = (lo + hi) / 2;
        bool higher;
        if (mid < bracket.from - bracket.margin)
            higher = true;
        else if (mid > bracket.to + bracket.margin)
            higher = false;
        else
            higher = model(mid) < observed;
        (higher ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

ToneFigures MeasureTone(const std::vector<double>& power, std::size_t fftSize, std::size_t windowLength,
                        std::int32_t sampleRate)
{
    ToneFigures t;
    const std::size_t top = fftSize / 2;
    if (windowLength == 0 || windowLength > fftSize)
        return t;
    // A window shorter than the transform (zero-padded) spreads its main
    // lobe over proportionally more bins.
    const std::size_t half = (WindowHalfWidthBins * fftSize + windowLength - 1) / windowLength;
    if (power.size() != top + 1 || top <= 2 * half + 2 || sampleRate <= 0)
        return t;
    // The DC band is left out: the mean was removed, what remains is leakage.
    const std::size_t first = half + 1;
    double total = 0;
    std::size_t peak = first;
    for (std::size_t k = first; k <= top; ++k) {
        total += power[k];
        if (k < top && power[k] > power[peak])
            peak = k;
    }
    if (!(total > 0))
        return t;
    std::vector<char> used(top + 1, 0);
    for (std::size_t k = 0; k < first; ++k)
        used[k] = 1;
    std::size_t fundamentalBins = 0;
    double fundamental = TakeBand(power, used, peak, half, fundamentalBins);
    const double binHz = static_cast<double>(sampleRate) / static_cast<double>(fftSize);
    double delta = InterpolatePeak(std::sqrt(power[peak - 1]), std::sqrt(power[peak]), std::sqrt(power[peak + 1]),
                                   windowLength, fftSize);
    double peakBin = static_cast<double>(peak) + delta;
    t.frequencyHz = peakBin * binHz;

    std::size_t harmonicBins = 0;
    double harmonics = 0;
    for (int h = 2; h <= MaxHarmonic; ++h) {
        double at = peakBin * h;
        if (at + static_cast<double>(half) > static_cast<double>(top))
            break;
        harmonics += TakeBand(power, used, static_cast<std::size_t>(std::lround(at)), half, harmonicBins);
    }
    std::vector<double> rest;
    rest.reserve(top);
    double noiseSum = 0;
    for (std::size_t k = first; k <= top; ++k)
        if (!used[k]) {
            rest.push_back(power[k]);
            noiseSum += power[k];
        }
    // The noise under the bands taken, and in the DC band, is estimated from
    // the density of the bins left, so it counts over the whole band.
    double density = rest.empty() ? 0 : noiseSum / static_cast<double>(rest.size());
    double noise = density * static_cast<double>(top);
    double tone = std::max(fundamental - density * static_cast<double>(fundamentalBins), 0.0);
    double distortion = std::max(harmonics - density * static_cast<double>(harmonicBins), 0.0);
    t.levelDbfs = PowerDb(2 * tone);
    t.noiseFloorDbfs = PowerDb(Median(std::move(rest)) * static_cast<double>(top));
    t.isTone = fundamental >= ToneShare * total;
    if (t.isTone) {
        t.thdnDb = PowerDb((distortion + noise) / tone);
        t.snrDb = noise > 0 ? PowerDb(tone / noise) : NoFigure;
    }
    return t;
}

std::vector<float> PeakLevelSpectrum(const std::vector<double>& power, std::size_t fftSize, std::size_t windowLength)
{
    std::vector<float> out(power.size(), EmptyBinDbfs);
    if (power.empty() || windowLength == 0 || fftSize == 0)
        return out;
    // A sine of peak amplitude A at a bin's centre puts A^2 / 2 / ENBW into
    // that bin (ENBW: the window's noise bandwidth in bins).
    const double sum = WindowSum(windowLength);
    const double enbw = static_cast<double>(fftSize) * WindowPowerSum(windowLength) / (sum * sum);
    for (std::size_t k = 0; k < power.size(); ++k)
        if (power[k] > 0)
            out[k] = static_cast<float>(10 * std::log10(2 * enbw * power[k]));
    // A local maximum is a component's top: the parabola through it and its
    // neighbours (in dB) peaks where the component lies between the bins.
    // Raised in place: `before` keeps the level of the bin below as it was.
    float before = out.front();
    for (std::size_t k = 1; k + 1 < out.size(); ++k) {
        const double below = before, at = out[k], above = out[k + 1];
        before = out[k];
        if (below <= EmptyBinDbfs || above <= EmptyBinDbfs || at < below || at <= above)
            continue;
        const double curve = below - 2 * at + above;
        if (curve < 0)
            out[k] = static_cast<float>(at + std::min(-(below - above) * (below - above) / (8 * curve),
                                                      MostPeakCorrectionDb));
    }
    return out;
}
