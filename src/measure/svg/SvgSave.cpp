// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/TextFileSave.h"
#include "measure/svg/MeasureSvg.h"

bool SaveSvg(const std::string& svg, const std::string& path, std::string& error)
{
    return SaveTextFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + svg, error);
}

bool IsSvgPath(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".svg";
}
