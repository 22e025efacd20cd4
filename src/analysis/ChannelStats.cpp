// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ChannelStats.h"

#include "analysis/BlockKernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace {

// A step counts as a discontinuity when its second difference is this many
// times the largest of the recent signal, and at least 1/1024 of full scale
// (quiet signals that drop out are caught as zero runs instead).
constexpr double StepFactor = 4.0;
constexpr double StepFloor = 1.0 / 1024.0;
// The hold of the largest recent step falls to a quarter per block.
constexpr double HoldDecay = 0.25;

double Dbfs(double magnitude, double fullScale)
{
    return magnitude > 0 ? 20.0 * std::log10(magnitude / fullScale) : NoFigure;
}

} // namespace

CChannelStats::CChannelStats(const SampleScale& s)
    : scale(s), fullScale(std::ldexp(1.0, s.containerBits - 1)), unsignedStorage(s.unsignedStorage)
{
    int valid = std::clamp(s.validBits, 1, s.containerBits);
    int unused = s.containerBits - valid;
    positiveClip = static_cast<std::int32_t>(((std::int64_t{1} << (valid - 1)) - 1) << unused);
    negativeClip = static_cast<std::int32_t>(-(std::int64_t{1} << (valid - 1)) * (std::int64_t{1} << unused));
    // At least 16 samples and a quarter of a millisecond of exact zeros.
    std::uint64_t quarterMs = s.sampleRate > 0 ? static_cast<std::uint64_t>(s.sampleRate) / 4000 : 0;
    minZeroRun = std::max<std::uint64_t>(16, quarterMs);
}

void CChannelStats::Add(const std::int32_t* values, std::size_t n)
{
    if (n == 0)
        return;
    n = std::min(n, BlockSize);
    if (count == 0) {
        minValue = maxValue = values[0];
        previous1 = previous2 = values[0];
    }
    BlockLimits limits;
    limits.positiveClip = positiveClip;
    limits.negativeClip = negativeClip;
    limits.alsoMinusOne = unsignedStorage;
    // The first block starts its own history (no step is judged in it).
    limits.beforeLast = previous2;
    limits.last = previous1;
    BlockSummary b = SummariseBlock(values, n, limits);
    minValue = std::min(minValue, b.minimum);
    maxValue = std::max(maxValue, b.maximum);
    sum += static_cast<std::int64_t>(b.sum);
    sumSquares += b.sumSquares;
    bitsSeen |= b.bits;
    blockMinimum = b.minimum;
    blockMaximum = b.maximum;

    TrackSilence(values, n);
    if (b.clipped > 0 || clipRun > 0)
        ScanClipRuns(values, n);
    clipped += b.clipped;
    double stepMax = b.stepMax;
    if (warm && stepMax > StepFactor * stepHold && stepMax >= StepFloor * fullScale)
        ScanSteps(values, n);
    if (b.zeros > 0 || zeroRun > 0)
        ScanZeroRuns(values, n);
    else
        seenNonZero = true;
    warm = stepMax > 0 && count + n >= BlockSize;
    stepHold = std::max(stepMax, stepHold * HoldDecay);
    previous2 = n >= 2 ? values[n - 2] : previous1;
    previous1 = values[n - 1];
    count += n;
}

void CChannelStats::TrackSilence(const std::int32_t* values, std::size_t n)
{
    auto zero = [this](std::int32_t v) { return IsZero(v); };
    if (!leadingDone) {
        const std::int32_t* signal = std::find_if_not(values, values + n, zero);
        leadingFrames += static_cast<std::uint64_t>(signal - values);
        leadingDone = signal != values + n;
    }
    std::size_t quiet = 0;
    while (quiet < n && IsZero(values[n - 1 - quiet]))
        ++quiet;
    trailingFrames = quiet == n ? trailingFrames + n : quiet;
}

void CChannelStats::ScanClipRuns(const std::int32_t* values, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (values[i] >= positiveClip || values[i] <= negativeClip) {
            if (clipRun++ == 0)
                ++clipRuns;
            longestClipRun = std::max(longestClipRun, clipRun);
        } else {
            clipRun = 0;
        }
    }
}

void CChannelStats::ScanSteps(const std::int32_t* values, std::size_t n)
{
    double hold = stepHold;
    double a = previous2;
    double b = previous1;
    for (std::size_t i = 0; i < n; ++i) {
        double v = values[i];
        double d = std::fabs(v - 2.0 * b + a);
        std::uint64_t frame = count + i;
        if (d > StepFactor * hold && d >= StepFloor * fullScale && frame >= stepsMutedUntil)
            AddDropout(frame, 1, DropoutKind::Discontinuity);
        hold = std::max(hold, d);
        a = b;
        b = v;
    }
}

void CChannelStats::ScanZeroRuns(const std::int32_t* values, std::size_t n)
{
    std::size_t i = 0;
    if (zeroRun > 0) {
        while (i < n && IsZero(values[i]))
            ++i;
        zeroRun += i;
        if (i == n)
            return;
        EndZeroRun(count + i);
    }
    // A run long enough to count covers a sample at every ZeroProbe-th
    // position, so only those are probed.
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
        if (start > 0)
            seenNonZero = true;
        zeroRunStart = count + start;
        zeroRun = end - start;
        if (end == n)
            return;
        EndZeroRun(count + end);
        i = end;
        j = (end / ZeroProbe + 1) * ZeroProbe;
    }
    // Zeros at the end of the block may begin a run that goes on.
    if (IsZero(values[n - 1])) {
        std::size_t start = n - 1;
        while (start > i && IsZero(values[start - 1]))
            --start;
        if (start > 0)
            seenNonZero = true;
        zeroRunStart = count + start;
        zeroRun = n - start;
    } else {
        seenNonZero = true;
    }
}

void CChannelStats::EndZeroRun(std::uint64_t resumeFrame)
{
    if (zeroRun >= minZeroRun && seenNonZero) {
        // The steps into and out of the gap belong to it.
        DropStepsWithin(zeroRunStart, resumeFrame + 1);
        AddDropout(zeroRunStart, zeroRun, DropoutKind::ZeroRun);
        stepsMutedUntil = resumeFrame + 2;
    }
    zeroRun = 0;
    seenNonZero = true;
}

void CChannelStats::DropStepsWithin(std::uint64_t first, std::uint64_t last)
{
    first = first >= 2 ? first - 2 : 0;
    auto inside = [first, last](const Dropout& d) {
        return d.kind == DropoutKind::Discontinuity && d.frame >= first && d.frame <= last;
    };
    // Only the steps found since the gap began can lie in it: they are at the back.
    auto from = found.end();
    while (from != found.begin() && (from - 1)->frame + 2 >= first)
        --from;
    auto end = std::remove_if(from, found.end(), inside);
    std::uint64_t removed = static_cast<std::uint64_t>(found.end() - end);
    found.erase(end, found.end());
    dropoutCount -= removed;
}

void CChannelStats::AddDropout(std::uint64_t frame, std::uint64_t frames, DropoutKind kind)
{
    ++dropoutCount;
    if (found.size() >= MaxDropoutsKept)
        return;
    Dropout d;
    d.frame = frame;
    d.frames = frames;
    d.kind = kind;
    if (scale.sampleRate > 0)
        d.positionMs = static_cast<double>(frame) * 1000.0 / scale.sampleRate;
    found.push_back(d);
}

void CChannelStats::Finish(std::uint16_t channelIndex, ChannelAnalysis& out, std::vector<Dropout>& dropouts)
{
    // A signal that simply stops is trailing silence, not a dropout.
    if (zeroRun > 0)
        DropStepsWithin(zeroRunStart, count);
    const std::int32_t offset = unsignedStorage ? 128 : 0;
    out.minSample = minValue + offset;
    out.maxSample = maxValue + offset;
    std::int64_t peak = std::max(std::abs(std::int64_t{minValue}), std::abs(std::int64_t{maxValue}));
    out.peakSample = (std::abs(std::int64_t{minValue}) > std::abs(std::int64_t{maxValue}) ? minValue : maxValue) + offset;
    out.peakDbfs = Dbfs(static_cast<double>(peak), fullScale);
    double rms = count > 0 ? std::sqrt(sumSquares / static_cast<double>(count)) : 0;
    out.rmsDbfs = Dbfs(rms, fullScale);
    out.dcOffset = count > 0 ? static_cast<double>(sum) / static_cast<double>(count) : 0;
    out.dcOffsetFraction = out.dcOffset / fullScale;
    out.crestFactorDb = rms > 0 && peak > 0 ? out.peakDbfs - out.rmsDbfs : NoFigure;
    out.clippedSamples = clipped;
    out.clipRuns = clipRuns;
    out.longestClipRun = longestClipRun;
    out.silent = minValue == maxValue;
    out.leadingSilenceFrames = leadingFrames;
    out.trailingSilenceFrames = trailingFrames;
    int unusedLow = bitsSeen == 0 ? scale.containerBits : std::countr_zero(bitsSeen);
    out.validBitsCarried = std::max(0, scale.containerBits - unusedLow);
    out.dropoutCount = dropoutCount;
    for (Dropout d : found) {
        d.channel = channelIndex;
        dropouts.push_back(d);
    }
}
