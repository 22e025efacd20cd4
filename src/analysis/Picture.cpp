// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/Picture.h"

#include <algorithm>
#include <cmath>

#include "analysis/Window.h"

namespace {

double LevelAt(const std::vector<float>& levels, double bin)
{
    const auto below = static_cast<std::size_t>(bin);
    if (below + 1 >= levels.size())
        return levels.back();
    const double share = bin - static_cast<double>(below);
    return levels[below] + share * (levels[below + 1] - levels[below]);
}

} // namespace

bool SpectrumAxisFor(const SignalAnalysis& a, SpectrumAxis& axis)
{
    if (!a.ok || !(a.binHz > 0) || a.spectrumDbfs.empty() || a.spectrumDbfs[0].size() < 4)
        return false;
    axis.lowHz = std::max(PictureLowHz, a.binHz * static_cast<double>(WindowHalfWidthBins + 1));
    axis.highHz = a.binHz * static_cast<double>(a.spectrumDbfs[0].size() - 1);
    return axis.highHz > 2 * axis.lowHz;
}

std::vector<double> SpectrumColumns(const std::vector<float>& levels, double binHz, const SpectrumAxis& axis,
                                    int columns)
{
    std::vector<double> out;
    if (columns <= 0 || levels.empty() || !(binHz > 0) || !(axis.lowHz > 0) || !(axis.highHz > axis.lowHz))
        return out;
    out.resize(static_cast<std::size_t>(columns));
    const double last = static_cast<double>(levels.size() - 1);
    auto binAt = [&](double x) {
        return std::min(last, axis.lowHz * std::pow(axis.highHz / axis.lowHz, x / columns) / binHz);
    };
    for (int x = 0; x < columns; ++x) {
        const double from = binAt(x);
        const double to = binAt(x + 1);
        const auto first = static_cast<std::size_t>(std::ceil(from));
        const auto end = static_cast<std::size_t>(std::floor(to)) + 1;
        if (first < end && first < levels.size())
            out[static_cast<std::size_t>(x)] = *std::max_element(levels.begin() + static_cast<std::ptrdiff_t>(first),
                                                                 levels.begin() + static_cast<std::ptrdiff_t>(end));
        else
            out[static_cast<std::size_t>(x)] = LevelAt(levels, (from + to) / 2);
    }
    return out;
}

std::vector<OverviewColumn> OverviewColumns(const std::vector<float>& low, const std::vector<float>& high,
                                            int columns)
{
    std::vector<OverviewColumn> out;
    const std::size_t n = std::min(low.size(), high.size());
    if (columns <= 0 || n == 0)
        return out;
    const auto pixels = static_cast<std::size_t>(columns);
    out.resize(pixels);
    for (std::size_t p = 0; p < pixels; ++p) {
        std::size_t first = p * n / pixels;
        std::size_t end = std::max(first + 1, (p + 1) * n / pixels);
        OverviewColumn c{low[first], high[first]};
        for (std::size_t i = first + 1; i < end; ++i) {
            c.low = std::min(c.low, low[i]);
            c.high = std::max(c.high, high[i]);
        }
        out[p] = c;
    }
    return out;
}

double ResponseSpanDb(const std::vector<FrequencyResponse>& response, double& stepDb)
{
    double widest = 0;
    for (const FrequencyResponse& r : response)
        for (const ResponsePoint& p : r.points)
            if (std::isfinite(p.db))
                widest = std::max(widest, std::fabs(p.db));
    const double span = std::clamp(std::ceil(widest + 0.5), 3.0, 60.0);
    stepDb = span <= 3 ? 1 : span <= 12 ? 3 : span <= 30 ? 6 : 12;
    return std::ceil(span / stepDb) * stepDb;
}
