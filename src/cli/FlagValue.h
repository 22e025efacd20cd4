// SPDX-License-Identifier: GPL-3.0-or-later
// The value of a flag that takes one: the text after "=" when it was given
// so, else the next argument (which `i` then moves past).
//
// Results: true with `value` set; false with `error` = "FLAG needs a value"
// when there was neither.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

inline bool TakeFlagValue(const std::string& flag, const std::optional<std::string>& inlineValue,
                          const std::vector<std::string>& arguments, std::size_t& i, std::string& value,
                          std::string& error)
{
    if (inlineValue) {
        value = *inlineValue;
        return true;
    }
    if (i + 1 >= arguments.size()) {
        error = flag + " needs a value";
        return false;
    }
    value = arguments[++i];
    return true;
}
