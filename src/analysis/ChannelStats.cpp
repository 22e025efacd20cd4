// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/ChannelStats.h"

#include "analysis/BlockKernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace {

double Dbfs(double magnitude, double fullScale)
{
    return magnitude > 0 ? 20.0 * std::log10(magnitude / fullScale) : NoFigure;
}

} // namespace

CChannelStats::CChannelStats(const SampleScale& s)
    : scale(s), fullScale(std::ldexp(1.0, s.containerBits - 1)), unsignedStorage(s.unsignedStorage),
      dropoutSearch(s.containerBits, s.validBits, s.sampleRate, s.unsignedStorage)
{
    int valid = std::clamp(s.validBits, 1, s.containerBits);
    int unused = s.containerBits - valid;
    positiveClip = static_cast<std::int32_t>(((std::int64_t{1} << (valid - 1)) - 1) << unused);
    negativeClip = static_cast<std::int32_t>(-(std::int64_t{1} << (valid - 1)) * (std::int64_t{1} << unused));
}

void CChannelStats::Add(const std::int32_t* values, std::size_t n)
{
    if (n == 0)
        return;
    n = std::min(n, BlockSize);
    if (count == 0)
        minValue = maxValue = values[0];
    BlockLimits limits;
    limits.positiveClip = positiveClip;
    limits.negativeClip = negativeClip;
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
    dropoutSearch.Add(values, n);
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

void CChannelStats::Finish(std::uint16_t channelIndex, ChannelAnalysis& out, std::vector<Dropout>& dropouts)
{
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
    const int valid = std::clamp(scale.validBits, 1, scale.containerBits);
    out.ditherLevel = !out.silent && peak <= DitherSteps * (std::int64_t{1} << (scale.containerBits - valid));
    out.leadingSilenceFrames = leadingFrames;
    out.trailingSilenceFrames = trailingFrames;
    int unusedLow = bitsSeen == 0 ? scale.containerBits : std::countr_zero(bitsSeen);
    out.validBitsCarried = std::max(0, scale.containerBits - unusedLow);
    for (Dropout d : dropoutSearch.Finish(out.dropoutCount)) {
        d.channel = channelIndex;
        dropouts.push_back(d);
    }
}
