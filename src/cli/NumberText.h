// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in flag values: a decimal as strtod reads it, or a whole count,
// and nothing else around them. Nothing when the text is not one.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

inline std::optional<double> ParseReal(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Up to 18 digits, so the value always fits.
inline std::optional<long long> ParseCount(const std::string& text)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(text);
}
