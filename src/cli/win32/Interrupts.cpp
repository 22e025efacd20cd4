// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl-C on the Windows console: the control handler runs on a thread of its
// own, so it only counts presses (atomics) until the second one, which ends
// the program as the POSIX build's second SIGINT does.
#include "cli/Interrupts.h"

#include <windows.h>

#include "cli/Keyboard.h"
#include "ui/TerminationSignals.h"

namespace {

CInterrupts* installed = nullptr;
constexpr int CancelledStatus = 130;

// Ends the status line on a console. Not through the C runtime, whose lock
// on the stream the stuck main thread may hold, and not into a pipe, which
// may be full.
void EndConsoleLine()
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error == INVALID_HANDLE_VALUE || error == nullptr || !GetConsoleMode(error, &mode))
        return;
    DWORD written = 0;
    WriteConsoleA(error, "\n", 1, &written, nullptr);
}

BOOL WINAPI OnControl(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        int raised = installed->raised.fetch_add(1) + 1;
        if (raised - installed->taken.load() >= 2) {
            CleanUpForTermination();
            EndConsoleLine();
            // At once, as _exit does: ExitProcess would first flush the C
            // runtime's streams, and wait for ever on the very write that
            // keeps the main thread from polling.
            TerminateProcess(GetCurrentProcess(), CancelledStatus);
        }
        return TRUE;
    }
    // The console is closing, the user logs off or the system shuts down:
    // leave no temporary file and give the console back; the platform then
    // ends the process.
    CleanUpForTermination();
    return FALSE;
}

} // namespace

void InstallInterruptHandlers(CInterrupts& interrupts)
{
    static_assert(std::atomic<int>::is_always_lock_free);
    installed = &interrupts;
    SetTerminationCleanUp(CKeyboard::RestoreFromSignal);
    SetConsoleCtrlHandler(OnControl, TRUE);
}
