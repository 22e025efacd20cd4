// SPDX-License-Identifier: GPL-3.0-or-later
// The one line the status line redraws in place, on the platform's terminal
// (TerminalLinePosix.cpp: terminal sequences; win32/TerminalLine.cpp: the
// console API).
#pragma once

#include <cstdio>
#include <string>

// True when `stream` is a terminal whose line can be redrawn.
bool IsTerminalStream(std::FILE* stream);

// The terminal's width in columns; 0 when it cannot be told.
int TerminalColumns(std::FILE* stream);

// Replaces the cursor's line with `line`, leaving the cursor after it.
void DrawTerminalLine(std::FILE* stream, const std::string& line);

// Empties the cursor's line and puts the cursor at its start.
void EraseTerminalLine(std::FILE* stream);
