// SPDX-License-Identifier: GPL-3.0-or-later
// The main dialog's status line and progress bar on standard error: redrawn in
// place on a terminal, one line per status change otherwise. Messages and
// questions go through here too, so they never land in the middle of a line.
#pragma once

#include <cstdio>
#include <string>

// The line shown on a terminal: the status, then a bar of the progress
// position (clamped to the bar's range 0..100), cut to `width` columns.
std::string FormatStatusLine(const std::string& status, int position, int width);

class CStatusLine {
public:
    // `inPlace`: the stream is a terminal whose line can be redrawn.
    CStatusLine(std::FILE* stream, bool inPlace);

    void SetStatus(const std::string& text);
    void SetProgress(int position);
    // A line of its own (a message, a note), above the status line.
    void PrintLine(const std::string& text);
    // Writes text without an end of line (a question's prompt); the status
    // line comes back with the next change.
    void Prompt(const std::string& text);
    // Removes the status line from a terminal before other output follows.
    void Clear();
    // Status and progress changes are kept back until Release, which shows
    // the latest; lines and prompts still appear. For the moment between a
    // dialog's start and the check of the command line against it.
    void Hold();
    void Release();

    bool InPlace() const { return inPlace; }

private:
    void Show();
    void Redraw();
    int Width() const;

    std::FILE* stream;
    bool inPlace;
    bool shown = false;
    bool seenStatus = false;
    bool held = false;
    std::string status;
    int position = 0;
};
