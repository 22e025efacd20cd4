// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/BlockKernels.h"

#include <cmath>

// Where the compiler can pick a version at run time, AVX2 machines get one
// of their own; the baseline version serves the rest. Not in sanitizer
// builds: the version chooser runs before the sanitizer's runtime is set up
// and crashes there. Not on Windows, whose executables have no ifunc to
// choose with.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__) && !defined(_WIN32)
#define TALLOWMERE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TALLOWMERE_VECTOR_CLONES
#endif

TALLOWMERE_VECTOR_CLONES
BlockSummary SummariseBlock(const std::int32_t* values, std::size_t n, const BlockLimits& limits)
{
    std::int32_t lo = values[0];
    std::int32_t hi = values[0];
    std::uint32_t bits = 0;
    std::uint32_t clipped = 0;
    double sum = 0;
    double squares = 0;
    const std::int32_t pos = limits.positiveClip;
    const std::int32_t neg = limits.negativeClip;
    for (std::size_t i = 0; i < n; ++i) {
        std::int32_t v = values[i];
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
        bits |= static_cast<std::uint32_t>(v);
        clipped += static_cast<std::uint32_t>(v >= pos) | static_cast<std::uint32_t>(v <= neg);
        double d = v;
        sum += d;
        squares += d * d;
    }
    BlockSummary s;
    s.minimum = lo;
    s.maximum = hi;
    s.sum = sum;
    s.sumSquares = squares;
    s.bits = bits;
    s.clipped = clipped;
    return s;
}

TALLOWMERE_VECTOR_CLONES
void MinMax(const std::int32_t* values, std::size_t n, std::int32_t& lowest, std::int32_t& highest)
{
    std::int32_t lo = values[0];
    std::int32_t hi = values[0];
    for (std::size_t i = 0; i < n; ++i) {
        lo = values[i] < lo ? values[i] : lo;
        hi = values[i] > hi ? values[i] : hi;
    }
    lowest = lo;
    highest = hi;
}
