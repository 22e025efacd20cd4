// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Interrupts.h"

#include <unistd.h>

#include <csignal>

#include "cli/Keyboard.h"
#include "wavefile/TemporaryFiles.h"

namespace {

CInterrupts* installed = nullptr;
constexpr int CancelledStatus = 130;

void OnInterrupt(int)
{
    int raised = installed->raised.fetch_add(1) + 1;
    if (raised - installed->taken.load() >= 2) {
        RemoveTemporaryFilesNow();
        CKeyboard::RestoreFromSignal();
        const char newline = '\n';
        [[maybe_unused]] auto written = write(STDERR_FILENO, &newline, 1);
        _exit(CancelledStatus);
    }
}

void OnTerminate(int signalNumber)
{
    RemoveTemporaryFilesNow();
    CKeyboard::RestoreFromSignal();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// A signal the starter ignored (nohup, a background job of a script) stays
// ignored: the program must not die of what it was told to survive.
void InstallUnlessIgnored(int signalNumber, void (*handler)(int))
{
    struct sigaction previous {};
    if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

void InstallInterruptHandlers(CInterrupts& interrupts)
{
    static_assert(std::atomic<int>::is_always_lock_free);
    installed = &interrupts;
    InstallUnlessIgnored(SIGINT, OnInterrupt);
    // Every signal that ends the program while the keyboard is in single-key
    // mode: a reader of the report that has gone away (SIGPIPE) or Ctrl-Backslash
    // would otherwise leave the shell without echo.
    for (int signalNumber : {SIGTERM, SIGHUP, SIGPIPE, SIGQUIT})
        InstallUnlessIgnored(signalNumber, OnTerminate);
}
