// SPDX-License-Identifier: GPL-3.0-or-later
// The time-domain half of the analysis of one channel: levels, clipping,
// silence, the bits carried and dropouts, fed block by block with samples
// already centred (8-bit: stored value - 128), so memory stays the same
// whatever the length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/DropoutDetector.h"
#include "analysis/SignalAnalysis.h"

// How one channel's samples are to be read: the container, the valid
// precision asked for (clipping is judged at its extremes) and the rate.
struct SampleScale {
    int containerBits = 16;  // 8, 16, 24 or 32
    int validBits = 16;      // 1..containerBits
    std::int32_t sampleRate = 0; // <= 0: unknown (no positions in ms)
    bool unsignedStorage = false; // 8-bit: stored value = centred + 128
};

class CChannelStats {
public:
    // The longest block Add takes at once.
    static constexpr std::size_t BlockSize = 4096;

    explicit CChannelStats(const SampleScale& scale);

    // Takes the next `count` (at most BlockSize) centred samples. Dropouts
    // found are kept up to MaxDropoutsKept and counted beyond.
    void Add(const std::int32_t* values, std::size_t count);

    // The figures over everything added; `dropouts` receives this channel's
    // dropouts in order (channel field set to `channelIndex`).
    void Finish(std::uint16_t channelIndex, ChannelAnalysis& out, std::vector<Dropout>& dropouts);

    // Full scale of the container (2^(bits-1)).
    double FullScale() const { return fullScale; }
    // Lowest and highest sample of the block added last.
    std::int32_t BlockMinimum() const { return blockMinimum; }
    std::int32_t BlockMaximum() const { return blockMaximum; }

private:
    void ScanClipRuns(const std::int32_t* values, std::size_t count);
    void TrackSilence(const std::int32_t* values, std::size_t count);
    bool IsZero(std::int32_t v) const { return v == 0 || (unsignedStorage && v == -1); }

    SampleScale scale;
    double fullScale;
    std::int32_t positiveClip;
    std::int32_t negativeClip;
    bool unsignedStorage;

    std::uint64_t count = 0;
    std::int32_t minValue = 0;
    std::int32_t blockMinimum = 0;
    std::int32_t blockMaximum = 0;
    std::int32_t maxValue = 0;
    std::int64_t sum = 0;
    double sumSquares = 0;
    std::uint32_t bitsSeen = 0;

    std::uint64_t clipped = 0;
    std::uint64_t clipRuns = 0;
    std::uint64_t longestClipRun = 0;
    std::uint64_t clipRun = 0;

    bool leadingDone = false;
    std::uint64_t leadingFrames = 0;
    std::uint64_t trailingFrames = 0;

    CDropoutDetector dropoutSearch;
};
