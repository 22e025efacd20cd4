// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>

#include "ui/TerminationSignals.h"

// Only async-signal-safe calls. The signal stays blocked until the handler
// returns, so the raised one is delivered then, with the default action.
extern "C" void EndOnTerminationSignal(int signal)
{
    CleanUpForTermination();
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    raise(signal);
}

bool InstallTerminationHandlers(std::initializer_list<TerminationHandler> handlers)
{
    sigset_t all;
    sigemptyset(&all);
    for (const TerminationHandler& entry : handlers)
        sigaddset(&all, entry.signal);
    bool installed = true;
    for (const TerminationHandler& entry : handlers) {
        struct sigaction current {};
        if (sigaction(entry.signal, nullptr, &current) != 0) {
            installed = false;
            continue;
        }
        // The starter told the program to survive it.
        if (current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = entry.handler;
        action.sa_mask = all;
        if (sigaction(entry.signal, &action, nullptr) != 0)
            installed = false;
    }
    return installed;
}
