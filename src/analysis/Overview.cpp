// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/Overview.h"

#include <algorithm>

#include "analysis/BlockKernels.h"

COverview::COverview(std::uint64_t expectedFrames, double scale)
    : fullScale(scale), width(std::max<std::uint64_t>(1, (expectedFrames + ColumnCount - 1) / ColumnCount))
{
    // As many columns as the expected length fills (a short signal needs
    // fewer than ColumnCount); a longer one grows them as it comes.
    const std::uint64_t columns = expectedFrames == 0 ? ColumnCount : (expectedFrames + width - 1) / width;
    low.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(columns, ColumnCount)));
    high.reserve(low.capacity());
}

void COverview::Add(const std::int32_t* values, std::size_t count, std::int32_t lowest, std::int32_t highest)
{
    std::size_t i = 0;
    while (i < count) {
        if (low.empty() || inColumn == width) {
            if (low.size() == ColumnCount)
                Halve();
            if (low.empty() || inColumn == width) {
                if (low.size() == low.capacity()) {
                    // Past the expected length: grow, never beyond ColumnCount.
                    low.reserve(std::min(ColumnCount, std::max<std::size_t>(1, 2 * low.size())));
                    high.reserve(low.capacity());
                }
                low.push_back(values[i]);
                high.push_back(values[i]);
                inColumn = 0;
            }
        }
        std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count - i, width - inColumn));
        std::int32_t lo = lowest;
        std::int32_t hi = highest;
        // Long columns take whole blocks, whose extremes are known.
        if (take != count)
            MinMax(values + i, take, lo, hi);
        low.back() = std::min(low.back(), lo);
        high.back() = std::max(high.back(), hi);
        inColumn += take;
        i += take;
    }
}

void COverview::Halve()
{
    // Neighbouring columns merge; the last one is then full at twice the width.
    std::size_t half = low.size() / 2;
    for (std::size_t i = 0; i < half; ++i) {
        low[i] = std::min(low[2 * i], low[2 * i + 1]);
        high[i] = std::max(high[2 * i], high[2 * i + 1]);
    }
    low.resize(half);
    high.resize(half);
    width *= 2;
    inColumn = width;
}

std::vector<float> COverview::Minimum() const
{
    std::vector<float> out(low.size());
    for (std::size_t i = 0; i < low.size(); ++i)
        out[i] = static_cast<float>(low[i] / fullScale);
    return out;
}

std::vector<float> COverview::Maximum() const
{
    std::vector<float> out(high.size());
    for (std::size_t i = 0; i < high.size(); ++i)
        out[i] = static_cast<float>(high[i] / fullScale);
    return out;
}
