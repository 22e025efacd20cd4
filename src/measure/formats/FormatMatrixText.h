// SPDX-License-Identifier: GPL-3.0-or-later
// The matrix as a person reads it: per device (and for the loop) one table
// per description and channel count, rows the rates, columns the widths as
// valid/container bits, a short mark per cell, the legend once, and the
// refusals summarised under each device by code and the host's words.
#pragma once

#include <string>

#include "measure/formats/FormatMatrix.h"

// The mark of one device cell at the level ("+", ".", "-", "!", "D",
// "s"...; see the legend) and of one loop cell ("T", "GRQNS" letters, "?").
std::string FormatCellMark(const FormatCell& cell, WaveDirection direction, FormatLevel level);
std::string FormatLoopMark(const FormatLoopVerdict& verdict);

// The whole text, lines ended by "\n": the tables, the legend, and, when
// `elapsedLine`, the time the session took.
std::string FormatMatrixText(const FormatMatrixResult& result, bool elapsedLine = true);
