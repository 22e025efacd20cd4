// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StatusLine.h"

#include <algorithm>

#include "cli/TerminalLine.h"

namespace {

constexpr int DefaultWidth = 80;
constexpr int StatusColumns = 40;
constexpr int BarCells = 20;

} // namespace

std::string FormatStatusLine(const std::string& status, int position, int width)
{
    int shown = std::clamp(position, 0, 100);
    int filled = shown * BarCells / 100;
    std::string line = status;
    if (line.size() < StatusColumns)
        line.append(StatusColumns - line.size(), ' ');
    line += " [" + std::string(filled, '#') + std::string(BarCells - filled, '-') + "] ";
    std::string percent = std::to_string(shown) + "%";
    line += std::string(4 - std::min<std::size_t>(4, percent.size()), ' ') + percent;
    // One column spare: writing the last column makes some terminals wrap.
    if (width > 1 && static_cast<int>(line.size()) > width - 1)
        line.resize(width - 1);
    return line;
}

CStatusLine::CStatusLine(std::FILE* stream, bool inPlace) : stream(stream), inPlace(inPlace) {}

void CStatusLine::SetStatus(const std::string& text)
{
    if (seenStatus && text == status)
        return;
    seenStatus = true;
    status = text;
    if (!held)
        Show();
}

void CStatusLine::Show()
{
    if (inPlace) {
        Redraw();
    } else {
        std::fprintf(stream, "%s\n", status.c_str());
        std::fflush(stream);
    }
}

void CStatusLine::Hold()
{
    held = true;
}

void CStatusLine::Release()
{
    if (!held)
        return;
    held = false;
    if (seenStatus)
        Show();
}

void CStatusLine::SetProgress(int newPosition)
{
    if (newPosition == position)
        return;
    position = newPosition;
    if (inPlace && seenStatus && !held)
        Redraw();
}

void CStatusLine::PrintLine(const std::string& text)
{
    Clear();
    std::fprintf(stream, "%s\n", text.c_str());
    if (inPlace && seenStatus && !held)
        Redraw();
    std::fflush(stream);
}

void CStatusLine::Prompt(const std::string& text)
{
    Clear();
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

void CStatusLine::Clear()
{
    if (!shown)
        return;
    EraseTerminalLine(stream);
    std::fflush(stream);
    shown = false;
}

void CStatusLine::Redraw()
{
    DrawTerminalLine(stream, FormatStatusLine(status, position, Width()));
    std::fflush(stream);
    shown = true;
}

int CStatusLine::Width() const
{
    int columns = TerminalColumns(stream);
    return columns > 0 ? columns : DefaultWidth;
}
