// SPDX-License-Identifier: GPL-3.0-or-later
// The waveform overview for pictures: per column the lowest and highest
// sample, as fractions of full scale. Columns double in width when the
// signal outgrows them, so the overview stays ColumnCount columns whatever
// the length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class COverview {
public:
    static constexpr std::size_t ColumnCount = 1024;

    // expectedFrames (0: unknown) sets the starting column width.
    COverview(std::uint64_t expectedFrames, double fullScale);

    // lowest and highest: of these values, when the caller knows them already.
    void Add(const std::int32_t* values, std::size_t count, std::int32_t lowest, std::int32_t highest);

    std::uint64_t FramesPerColumn() const { return width; }
    std::vector<float> Minimum() const;
    std::vector<float> Maximum() const;

private:
    void Halve();

    double fullScale;
    std::uint64_t width;
    std::uint64_t inColumn = 0;
    std::vector<std::int32_t> low;
    std::vector<std::int32_t> high;
};
