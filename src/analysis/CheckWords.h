// SPDX-License-Identifier: GPL-3.0-or-later
// The words every measurement's checks share, so that a failed check reads
// the same whichever measurement made it: a figure with its unit, a
// channel's name, a count against its limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "-3.25 dB": two decimals and the unit; "none" for NaN (no such figure).
std::string CheckFigure(double value, const char* unit);

// "channel 1" for index 0.
std::string CheckChannelName(std::size_t channel);

// "--max-dropouts: 3 dropouts, at most 2 allowed".
std::string CountOverLimit(const char* flag, std::uint64_t count, const char* what, long long limit);
