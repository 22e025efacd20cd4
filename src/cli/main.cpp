// tallowmere-cli: the sound-card test on a terminal, for headless machines
// and scripts.
#include <unistd.h>

#include "cli/CliProgram.h"
#include "cli/Keyboard.h"

int main(int argc, char* argv[])
{
    static CInterrupts interrupts;
    InstallInterruptHandlers(interrupts);
    CCliStreams streams;
    streams.errIsTerminal = isatty(STDERR_FILENO) == 1;
    streams.keyboardIsTerminal = IsForegroundTerminal(STDIN_FILENO);
    streams.keyboardFd = STDIN_FILENO;
    return RunCli(std::vector<std::string>(argv + 1, argv + argc), streams, interrupts);
}
