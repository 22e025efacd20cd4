#include "cli/Interrupts.h"

#include <csignal>
#include <unistd.h>

#include "cli/Keyboard.h"

namespace {

CInterrupts* installed = nullptr;
constexpr int CancelledStatus = 130;

void OnInterrupt(int)
{
    int raised = installed->raised.fetch_add(1) + 1;
    if (raised - installed->taken.load() >= 2) {
        CKeyboard::RestoreFromSignal();
        const char newline = '\n';
        [[maybe_unused]] auto written = write(STDERR_FILENO, &newline, 1);
        _exit(CancelledStatus);
    }
}

void OnTerminate(int signalNumber)
{
    CKeyboard::RestoreFromSignal();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

} // namespace

void InstallInterruptHandlers(CInterrupts& interrupts)
{
    static_assert(std::atomic<int>::is_always_lock_free);
    installed = &interrupts;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    // Every signal that ends the program while the keyboard is in single-key
    // mode: a reader of the report that has gone away (SIGPIPE) or Ctrl-Backslash
    // would otherwise leave the shell without echo.
    action.sa_handler = OnTerminate;
    for (int signalNumber : {SIGTERM, SIGHUP, SIGPIPE, SIGQUIT})
        sigaction(signalNumber, &action, nullptr);
}
