// SPDX-License-Identifier: GPL-3.0-or-later
// The status line's one line on the Windows console, through the console
// API: consoles before Windows 10 show terminal escapes as text.
#include "cli/TerminalLine.h"

#include <io.h>
#include <windows.h>

namespace {

HANDLE ConsoleOf(std::FILE* stream)
{
    intptr_t handle = _get_osfhandle(_fileno(stream));
    return handle == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(handle);
}

} // namespace

bool IsTerminalStream(std::FILE* stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    return GetConsoleScreenBufferInfo(ConsoleOf(stream), &info) != 0;
}

int TerminalColumns(std::FILE* stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(ConsoleOf(stream), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

void DrawTerminalLine(std::FILE* stream, const std::string& line)
{
    EraseTerminalLine(stream);
    std::fputs(line.c_str(), stream);
}

void EraseTerminalLine(std::FILE* stream)
{
    // What is buffered belongs on the line before it is erased.
    std::fflush(stream);
    HANDLE console = ConsoleOf(stream);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(console, &info))
        return;
    COORD start{0, info.dwCursorPosition.Y};
    DWORD written = 0;
    FillConsoleOutputCharacterA(console, ' ', static_cast<DWORD>(info.dwSize.X), start, &written);
    FillConsoleOutputAttribute(console, info.wAttributes, static_cast<DWORD>(info.dwSize.X), start, &written);
    SetConsoleCursorPosition(console, start);
}
