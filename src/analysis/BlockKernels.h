// SPDX-License-Identifier: GPL-3.0-or-later
// The per-sample loops of the analysis, over one block of centred samples
// of one channel. Kept apart and plain so the compiler vectorises them
// (built with AVX2 beside the baseline where the compiler can choose at run
// time); everything else looks at a block only when these say it must.
#pragma once

#include <cstddef>
#include <cstdint>

struct BlockSummary {
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    double sum = 0;        // exact: a block's sum of 32-bit samples stays below 2^53
    double sumSquares = 0;
    std::uint32_t bits = 0; // every sample's bits or-ed together
    std::uint32_t clipped = 0;
};

struct BlockLimits {
    std::int32_t positiveClip = 0; // samples >= this are clipped
    std::int32_t negativeClip = 0; // and samples <= this
};

// n >= 1.
BlockSummary SummariseBlock(const std::int32_t* values, std::size_t n, const BlockLimits& limits);

// Lowest and highest of n >= 1 samples.
void MinMax(const std::int32_t* values, std::size_t n, std::int32_t& lowest, std::int32_t& highest);
