// SPDX-License-Identifier: GPL-3.0-or-later
// The progress position of a device test's polling step: percent of the
// expected duration, truncated, and left to run past 100 when the device
// takes longer.
#pragma once

#include <cstdint>

// Poll interval and the pauses around a device test, in milliseconds.
constexpr std::uint32_t PollIntervalMs = 100;
constexpr std::uint32_t SettleDelayMs = 250;

inline int PollProgress(std::int32_t step, std::int32_t durationSeconds)
{
    return static_cast<int>((step * 100.0) / (durationSeconds * 10.0));
}
