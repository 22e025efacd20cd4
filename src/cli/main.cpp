// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli: the sound-card test on a terminal, for headless machines
// and scripts.
#include <unistd.h>

#include <cstdio>
#include <new>

#include "cli/CliProgram.h"
#include "cli/Keyboard.h"
#include "cli/StandardOutput.h"
#include "cli/TerminalLine.h"

int main(int argc, char* argv[])
{
    HoldClosedStandardStreams();
    static CInterrupts interrupts;
    InstallInterruptHandlers(interrupts);
    InstallLastResortHandler();
    CCliStreams streams;
    streams.errIsTerminal = IsTerminalStream(stderr);
    streams.keyboardIsTerminal = IsForegroundTerminal(STDIN_FILENO);
    streams.keyboardFd = STDIN_FILENO;
    // Unwinding first lets the wave file remove its temporary file and the
    // keyboard give the terminal back.
    int status = OutOfMemoryStatus;
    try {
        status = RunCli(std::vector<std::string>(argv + 1, argv + argc), streams, interrupts);
    } catch (const std::bad_alloc&) {
        std::fputs(OutOfMemoryText, stderr);
    }
    return FinishStandardOutput(status, stdout, stderr);
}
