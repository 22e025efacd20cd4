// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Interrupts.h"

#include <unistd.h>

#include <csignal>

#include "cli/Keyboard.h"
#include "ui/TerminationSignals.h"

namespace {

CInterrupts* installed = nullptr;
constexpr int CancelledStatus = 130;

extern "C" void OnInterrupt(int)
{
    int raised = installed->raised.fetch_add(1) + 1;
    if (raised - installed->taken.load() >= 2) {
        CleanUpForTermination();
        const char newline = '\n';
        [[maybe_unused]] auto written = write(STDERR_FILENO, &newline, 1);
        _exit(CancelledStatus);
    }
}

} // namespace

void InstallInterruptHandlers(CInterrupts& interrupts)
{
    static_assert(std::atomic<int>::is_always_lock_free);
    installed = &interrupts;
    // The terminal goes back to line mode with the temporary files gone.
    SetTerminationCleanUp(CKeyboard::RestoreFromSignal);
    // Every signal that ends the program while the keyboard is in single-key
    // mode: a reader of the report that has gone away (SIGPIPE) or Ctrl-Backslash
    // would otherwise leave the shell without echo.
    InstallTerminationHandlers({{SIGINT, OnInterrupt},
                                {SIGTERM, EndOnTerminationSignal},
                                {SIGHUP, EndOnTerminationSignal},
                                {SIGPIPE, EndOnTerminationSignal},
                                {SIGQUIT, EndOnTerminationSignal}});
}
