// SPDX-License-Identifier: GPL-3.0-or-later
// A captured run of a loopback sequence with the latency that aligns it:
// where each part of the sequence lies in the capture.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "analysis/loopback/PcmSamples.h"
#include "analysis/loopback/Stimulus.h"

struct CaptureRange {
    std::uint64_t frame = 0; // first frame in the capture
    std::uint64_t frames = 0;
};

struct CaptureView {
    const std::uint8_t* bytes = nullptr;
    std::size_t byteCount = 0;
    const LoopbackSequence* sequence = nullptr;
    std::int64_t latencyFrames = 0;

    std::uint64_t Frames() const { return sequence == nullptr ? 0 : FramesIn(byteCount, sequence->format); }

    // Where `span` came back, less `guardShare` of its length at each end
    // (the chain's filters settle there). False when it lies outside the
    // capture in whole or in part.
    bool Locate(const PartSpan& span, double guardShare, CaptureRange& out) const
    {
        const auto guard = static_cast<std::uint64_t>(static_cast<double>(span.frames) * guardShare);
        const std::int64_t start = static_cast<std::int64_t>(span.frame + guard) + latencyFrames;
        if (start < 0 || span.frames <= 2 * guard)
            return false;
        out.frame = static_cast<std::uint64_t>(start);
        out.frames = span.frames - 2 * guard;
        return out.frame + out.frames <= Frames();
    }

    // The bytes of a located range.
    const std::uint8_t* At(const CaptureRange& r) const { return bytes + r.frame * FrameBytes(); }
    std::size_t Size(const CaptureRange& r) const { return static_cast<std::size_t>(r.frames) * FrameBytes(); }
    std::size_t FrameBytes() const
    {
        return sequence == nullptr ? 0
                                   : static_cast<std::size_t>(sequence->format.bytesPerSample) *
                                         sequence->format.channels;
    }
};
