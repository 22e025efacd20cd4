// SPDX-License-Identifier: GPL-3.0-or-later
// The plain-text table of a --loopback run: the devices and format, then
// one block per measure taken with its unit, a column per channel, then the
// dropouts and the checks. A run that was not measured gets the header and
// the reason, never figures.
#pragma once

#include <string>

#include "measure/loopback/LoopbackResult.h"

// Each line ended by `lineEnd`.
std::string LoopbackTable(const CLoopbackRun& run, const std::string& lineEnd);

// The measures the run left out, as "response, thd, noise, crosstalk"
// (crosstalk only with two channels or more); empty when all were taken.
std::string NotMeasuredList(const MeasureSelection& s, std::uint16_t channels);

// The most dropouts the table lists one by one (all are counted).
inline constexpr std::size_t LoopbackTableDropoutLines = 20;
