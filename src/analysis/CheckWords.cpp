// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/CheckWords.h"

#include <cmath>
#include <cstdio>

std::string CheckFigure(double value, const char* unit)
{
    if (std::isnan(value))
        return "none";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %s", value, unit);
    return text;
}

std::string CheckChannelName(std::size_t channel)
{
    return "channel " + std::to_string(channel + 1);
}

std::string CountOverLimit(const char* flag, std::uint64_t count, const char* what, long long limit)
{
    return std::string(flag) + ": " + std::to_string(count) + " " + what + ", at most " + std::to_string(limit) +
           " allowed";
}
