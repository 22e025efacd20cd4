// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/SaveFileFilter.h"

std::string SaveFileFilter(const std::string& description, const std::string& defaultExtension)
{
    std::string pattern;
    std::size_t open = description.rfind('(');
    std::size_t close = open == std::string::npos ? std::string::npos : description.find(')', open);
    if (close != std::string::npos && close > open + 1)
        pattern = description.substr(open + 1, close - open - 1);
    else if (!defaultExtension.empty())
        pattern = "*." + defaultExtension;
    else
        pattern = "*.*";
    std::string filter = description;
    filter.push_back('\0');
    filter += pattern;
    filter.push_back('\0');
    filter.push_back('\0');
    return filter;
}
