// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalLine.h"

#include <sys/ioctl.h>
#include <unistd.h>

bool IsTerminalStream(std::FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream)
{
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0)
        return size.ws_col;
    return 0;
}

void DrawTerminalLine(std::FILE* stream, const std::string& line)
{
    std::fprintf(stream, "\r%s\033[K", line.c_str());
}

void EraseTerminalLine(std::FILE* stream)
{
    std::fputs("\r\033[K", stream);
}
