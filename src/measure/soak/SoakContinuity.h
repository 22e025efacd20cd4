// SPDX-License-Identifier: GPL-3.0-or-later
// A recording's own continuity, when nothing known is played into it: its
// level block by block, and runs of digital silence inside a stream that is
// otherwise not silent (what a lost block leaves in a recording).
#pragma once

#include <cstdint>
#include <vector>

#include "measure/soak/SoakResult.h"

// Silence shorter than this is taken for the signal's own (a zero crossing
// held by a few quiet samples); a stream quieter than -60 dBFS around it is
// silent, not interrupted.
constexpr std::uint32_t SoakSilenceMinFrames = 32;
constexpr double SoakSilenceContextDbfs = -60;

class CContinuity {
public:
    explicit CContinuity(std::uint32_t sampleRate) : rate(sampleRate) {}
    // The next block of the first channel, starting at frame `first`;
    // blocks must follow one another. Adds the silences that ended.
    void Process(const double* samples, std::size_t count, std::uint64_t first, std::vector<SoakEvent>& events);
    // The last block's RMS level in dBFS (-inf for silence).
    double LevelDbfs() const { return level; }

private:
    std::uint32_t rate;
    double level = -1e300;
    double levelBefore = -1e300; // of the block before the current silence
    bool inSilence = false;
    std::uint64_t silenceFrom = 0;
};
