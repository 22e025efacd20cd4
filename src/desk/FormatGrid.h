// SPDX-License-Identifier: GPL-3.0-or-later
// The format matrix as a grid a person scans: one row per rate, channel
// count and description, one column per width (valid/container bits), the
// format matrix text's mark in each cell (FormatMatrixText.h) on a colour
// for its class, and the cell's full story in words for the details pane.
// The arrangement is plain data so the tests hold it without a window.
#pragma once

#include <string>
#include <vector>

#include "measure/formats/FormatMatrix.h"

enum class CellClass { Good, Refused, Failed, Partial, Empty };

struct GridCell {
    std::string mark;
    CellClass kind = CellClass::Empty;
    std::string details; // several lines
};

struct FormatGridModel {
    std::vector<std::string> rowNames;    // "48000 Hz, 2 ch, Standard"
    std::vector<std::string> columnNames; // "24/32"
    std::vector<std::vector<GridCell>> cells; // [row][column]
};

// One device's matrix, cells placed by their key.
FormatGridModel DeviceGrid(const FormatDeviceMatrix& device, FormatLevel level);
// The loop's verdicts of the transparent level.
FormatGridModel LoopGrid(const std::vector<FormatLoopCell>& loop);

// The legend, one line per mark.
std::vector<std::string> FormatLegend(FormatLevel level);
