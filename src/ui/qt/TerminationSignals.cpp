// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/TerminationSignals.h"

#include <csignal>

#include "wavefile/TemporaryFiles.h"

namespace {

constexpr int TerminationSignals[] = {SIGTERM, SIGHUP, SIGINT};

// Only async-signal-safe calls. The signal stays blocked until the handler
// returns, so the raised one is delivered then, with the default action.
extern "C" void OnTerminationSignal(int signal)
{
    RemoveTemporaryFilesNow();
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    raise(signal);
}

} // namespace

bool RemoveTemporaryFilesOnTermination()
{
    bool installed = true;
    for (int signal : TerminationSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0) {
            installed = false;
            continue;
        }
        if (current.sa_handler == SIG_IGN)
            continue;
        struct sigaction handler {};
        handler.sa_handler = OnTerminationSignal;
        sigemptyset(&handler.sa_mask);
        // Every one of them is held off while one is handled, so the files
        // are removed once and the first signal decides how the process ends.
        for (int other : TerminationSignals)
            sigaddset(&handler.sa_mask, other);
        if (sigaction(signal, &handler, nullptr) != 0)
            installed = false;
    }
    return installed;
}
