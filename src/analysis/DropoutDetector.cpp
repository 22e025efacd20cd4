// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/DropoutDetector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The threshold: this many standard deviations of the residual (estimated
// from its median absolute deviation), and at least FloorSteps steps.
constexpr double ThresholdSigmas = 10;
// Residuals this far off are left out of the next fit of a stretch.
constexpr double SuspectSigmas = 4;
constexpr int FitPasses = 3;
constexpr double MadToSigma = 1.4826;
constexpr double FloorSteps = 8;
// ...and at least this share of the stretch's peak: a sweep bends within a
// stretch, which the fit follows to about 1e-5 of the signal, not to the step
// of a 24-bit sample.
constexpr double FloorShareOfPeak = 1e-4;
// Flags this close together are one burst (a slip disturbs two residuals,
// a gap its two edges).
constexpr std::uint64_t MergeGap = 2;
// The ratios' median is taken over at most this many values of a stretch.
constexpr std::size_t MedianSamples = 64;
// The zero-run search probes every ZeroProbe-th sample: a run long enough to
// count covers one of them.
constexpr std::size_t ZeroProbe = 16;

double Median(double* values, std::size_t count)
{
    std::nth_element(values, values + count / 2, values + count);
    return values[count / 2];
}

} // namespace

CDropoutDetector::CDropoutDetector(int containerBits, int validBits, std::int32_t rate, bool unsignedSamples)
    : sampleRate(rate), unsignedStorage(unsignedSamples)
{
    int valid = std::clamp(validBits, 1, containerBits);
    step = std::ldexp(1.0, containerBits - valid);
    ditherLimit = DitherSteps * step;
    std::uint64_t quarterMs = rate > 0 ? static_cast<std::uint64_t>(rate) / 4000 : 0;
    minZeroRun = std::max<std::uint64_t>(16, quarterMs);
}

void CDropoutDetector::Add(const std::int32_t* values, std::size_t n)
{
    if (n == 0)
        return;
    if (added == 0)
        history1 = history2 = values[0];
    // A burst on a run of zeros goes on while the zeros do.
    if (burst.open && burst.zerosOpen) {
        std::size_t k = 0;
        while (k < n && IsZero(values[k]))
            ++k;
        burst.zeroFrames += k;
        if (k > 0)
            burst.last = added + k - 1;
        burst.zerosOpen = k == n;
    }
    bool loud = false;
    for (std::size_t from = 0; from < n; from += StretchFrames) {
        std::size_t to = std::min(n, from + StretchFrames);
        loud = Stretch(values, n, from, to) || loud;
    }
    ScanZeroRuns(values, n, loud || previousLoud);
    previousLoud = loud;
    std::size_t quiet = 0;
    while (quiet < n && IsZero(values[n - 1 - quiet]))
        ++quiet;
    trailingZeros = quiet == n ? trailingZeros + n : quiet;
    added += n;
    if (burst.open && !burst.zerosOpen && added > burst.last + MergeGap)
        CloseBurst();
}

bool CDropoutDetector::Stretch(const std::int32_t* values, std::size_t n, std::size_t from, std::size_t to)
{
    const std::size_t m = to - from;
    double* s = sample.data();
    s[0] = history2;
    s[1] = history1;
    double peak = std::max(std::fabs(history1), std::fabs(history2));
    for (std::size_t k = 0; k < m; ++k) {
        s[k + 2] = values[from + k];
        peak = std::max(peak, std::fabs(s[k + 2]));
    }
    history2 = s[m];
    history1 = s[m + 1];
    if (!signalSeen) {
        const std::int32_t* first =
            std::find_if_not(values + from, values + to, [this](std::int32_t v) { return IsZero(v); });
        if (first != values + to) {
            signalSeen = true;
            signalFrom = added + static_cast<std::uint64_t>(first - values);
        }
    }
    if (peak <= ditherLimit)
        return false;
    double centre = 0;
    const double threshold = Predict(m, peak, centre);
    const double* r = residual.data();

    // The first two frames have no history, and the onset after leading
    // zeros is the signal starting.
    const std::uint64_t earliest = signalSeen ? signalFrom + 2 : ~std::uint64_t{0};
    for (std::size_t k = 0; k < m; ++k)
        if (std::fabs(r[k] - centre) > threshold && added + from + k >= std::max<std::uint64_t>(2, earliest))
            Flag(values, n, from + k);
    return true;
}

double CDropoutDetector::Predict(std::size_t m, double peak, double& centre)
{
    const double* s = sample.data();
    double* r = residual.data();
    char* skip = suspect.data();
    std::fill(skip, skip + m, 0);
    double sigma = 0;
    // The glitches themselves pull the first fit aside; each pass leaves out
    // what the one before found far off (and its neighbours, which share its
    // samples) until nothing new is.
    for (int pass = 0; pass < FitPasses; ++pass) {
        // A fit per half, and a straight line through them, so a sweep's
        // changing frequency is followed within the stretch.
        const std::size_t half = m / 2;
        double earlyAt = 0;
        double lateAt = 0;
        const double early = FitCoefficient(s, skip, half, peak, earlyAt);
        const double late = FitCoefficient(s + half, skip + half, m - half, peak, lateAt);
        lateAt += static_cast<double>(half);
        coefficient = late;
        const double slope = lateAt > earlyAt ? (late - early) / (lateAt - earlyAt) : 0;
        for (std::size_t k = 0; k < m; ++k) {
            const double a = std::clamp(early + slope * (static_cast<double>(k) - earlyAt), -2.0, 2.0);
            r[k] = s[k + 2] - a * s[k + 1] + s[k];
        }
        sigma = Spread(r, skip, m, centre);
        bool more = false;
        for (std::size_t k = 0; k < m; ++k)
            if (std::fabs(r[k] - centre) > SuspectSigmas * sigma && !skip[k]) {
                for (std::size_t j = k > 0 ? k - 1 : 0; j <= std::min(m - 1, k + 1); ++j)
                    skip[j] = 1;
                more = true;
            }
        if (!more)
            break;
    }
    return std::max({ThresholdSigmas * sigma, FloorSteps * step, FloorShareOfPeak * peak});
}

double CDropoutDetector::Spread(const double* r, const char* skip, std::size_t m, double& centre) const
{
    // The residual's centre and spread (a standard deviation, from the
    // median absolute deviation) over every frame the fit kept. A spaced
    // subset would see a harmonic at a whole fraction of the rate at one
    // phase only (every 4th frame of a tone at a quarter of the rate has the
    // same value), take its spread for none, and flag the harmonic itself.
    double picked[StretchFrames];
    std::size_t count = 0;
    for (std::size_t k = 0; k < m; ++k)
        if (!skip[k])
            picked[count++] = r[k];
    if (count == 0) {
        centre = 0;
        return 0;
    }
    centre = Median(picked, count);
    for (std::size_t k = 0; k < count; ++k)
        picked[k] = std::fabs(picked[k] - centre);
    return MadToSigma * Median(picked, count);
}

double CDropoutDetector::FitCoefficient(const double* s, const char* skip, std::size_t m, double peak,
                                        double& at) const
{
    // Each sample well away from zero gives a = (x[n] + x[n-2]) / x[n-1]
    // exactly for a clean sine; the median ignores the few a glitch spoils.
    // In a sweep a moves steadily with time, so its median belongs to the
    // middle one of the samples taken.
    double ratios[MedianSamples];
    std::size_t taken[MedianSamples];
    std::size_t count = 0;
    const std::size_t stride = std::max<std::size_t>(1, m / MedianSamples);
    for (std::size_t k = 0; k < m && count < MedianSamples; k += stride) {
        double middle = s[k + 1];
        if (std::fabs(middle) >= peak / 2 && !skip[k]) {
            taken[count] = k;
            ratios[count++] = (s[k + 2] + s[k]) / middle;
        }
    }
    if (count < 2) {
        at = static_cast<double>(m) / 2;
        return coefficient;
    }
    // An odd count has a middle sample whichever way a moves.
    count -= 1 - count % 2;
    at = static_cast<double>(taken[count / 2]);
    return std::clamp(Median(ratios, count), -2.0, 2.0);
}

void CDropoutDetector::Flag(const std::int32_t* values, std::size_t n, std::size_t index)
{
    const std::uint64_t frame = added + index;
    if (burst.open) {
        if (burst.zerosOpen || frame <= burst.last + MergeGap) {
            burst.last = std::max(burst.last, frame);
            return;
        }
        CloseBurst();
    }
    burst = Burst{};
    burst.open = true;
    burst.first = burst.last = frame;
    // A burst on a zero, or just after one, is a gap: from the run's first
    // zero to its last.
    std::size_t at = index;
    if (!IsZero(values[index])) {
        const bool zeroBefore = index > 0 ? IsZero(values[index - 1]) : trailingZeros > 0;
        if (!zeroBefore || frame - 1 < signalFrom)
            return; // a discontinuity
        if (index == 0) {
            // The run ended with the block before.
            burst.zeros = true;
            burst.first = added - trailingZeros;
            burst.zeroFrames = trailingZeros;
            return;
        }
        at = index - 1;
    }
    std::size_t start = at;
    while (start > 0 && IsZero(values[start - 1]))
        --start;
    std::size_t end = at + 1;
    while (end < n && IsZero(values[end]))
        ++end;
    const std::uint64_t before = start == 0 ? trailingZeros : 0;
    burst.zeros = true;
    burst.first = added + start - before;
    burst.last = std::max(frame, added + end - 1);
    burst.zeroFrames = added + end - burst.first;
    burst.zerosOpen = end == n;
}

void CDropoutDetector::CloseBurst()
{
    burst.open = false;
    if (burst.first + 2 >= mutedFrom && burst.first < mutedUntil)
        return; // the edges of a run the zero-run search counted
    if (!burst.zeros)
        AddDropout(burst.first, 1, DropoutKind::Discontinuity);
    else if (burst.zeroFrames < minZeroRun)
        AddDropout(burst.first, burst.zeroFrames, DropoutKind::ZeroRun);
}

void CDropoutDetector::ScanZeroRuns(const std::int32_t* values, std::size_t n, bool loud)
{
    std::size_t i = 0;
    if (zeroRun > 0) {
        while (i < n && IsZero(values[i]))
            ++i;
        zeroRun += i;
        if (i == n)
            return;
        EndZeroRun(added + i);
    }
    std::size_t j = (i + ZeroProbe - 1) / ZeroProbe * ZeroProbe;
    while (j < n) {
        if (!IsZero(values[j])) {
            j += ZeroProbe;
            continue;
        }
        std::size_t start = j;
        while (start > i && IsZero(values[start - 1]))
            --start;
        std::size_t end = j + 1;
        while (end < n && IsZero(values[end]))
            ++end;
        zeroRunStart = added + start;
        zeroRun = end - start;
        loudBeforeRun = loud && zeroRunStart > signalFrom && signalSeen;
        if (end == n)
            return;
        EndZeroRun(added + end);
        i = end;
        j = (end / ZeroProbe + 1) * ZeroProbe;
    }
    // Zeros at the end of the block may begin a run that goes on.
    if (IsZero(values[n - 1])) {
        std::size_t start = n - 1;
        while (start > i && IsZero(values[start - 1]))
            --start;
        zeroRunStart = added + start;
        zeroRun = n - start;
        loudBeforeRun = loud && zeroRunStart > signalFrom && signalSeen;
    }
}

void CDropoutDetector::EndZeroRun(std::uint64_t resumeFrame)
{
    if (zeroRun >= minZeroRun && loudBeforeRun) {
        // The steps into and out of the gap belong to it.
        DropDiscontinuitiesWithin(zeroRunStart, resumeFrame + 1);
        AddDropout(zeroRunStart, zeroRun, DropoutKind::ZeroRun);
        mutedFrom = zeroRunStart;
        mutedUntil = resumeFrame + MergeGap + 1;
    }
    zeroRun = 0;
}

void CDropoutDetector::DropDiscontinuitiesWithin(std::uint64_t first, std::uint64_t last)
{
    first = first >= 2 ? first - 2 : 0;
    auto inside = [first, last](const Dropout& d) {
        return d.kind == DropoutKind::Discontinuity && d.frame >= first && d.frame <= last;
    };
    auto end = std::remove_if(found.begin(), found.end(), inside);
    dropoutCount -= static_cast<std::uint64_t>(found.end() - end);
    found.erase(end, found.end());
}

void CDropoutDetector::AddDropout(std::uint64_t frame, std::uint64_t frames, DropoutKind kind)
{
    ++dropoutCount;
    if (found.size() >= MaxDropoutsKept)
        return;
    Dropout d;
    d.frame = frame;
    d.frames = frames;
    d.kind = kind;
    if (sampleRate > 0)
        d.positionMs = static_cast<double>(frame) * 1000.0 / sampleRate;
    found.push_back(d);
}

std::vector<Dropout> CDropoutDetector::Finish(std::uint64_t& count)
{
    // A signal that simply stops is trailing silence, not a dropout.
    if (zeroRun > 0)
        DropDiscontinuitiesWithin(zeroRunStart, added);
    if (burst.open && !burst.zerosOpen && !(zeroRun > 0 && burst.first + 2 >= zeroRunStart))
        CloseBurst();
    burst.open = false;
    std::stable_sort(found.begin(), found.end(), [](const Dropout& x, const Dropout& y) { return x.frame < y.frame; });
    count = dropoutCount;
    return found;
}
