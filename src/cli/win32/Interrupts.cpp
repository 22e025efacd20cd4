// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl-C on the Windows console: the control handler runs on a thread of its
// own, so it only counts presses (atomics) until the second one, which ends
// the program as the POSIX build's second SIGINT does.
#include "cli/Interrupts.h"

#include <io.h>
#include <windows.h>

#include "cli/Keyboard.h"
#include "wavefile/TemporaryFiles.h"

namespace {

CInterrupts* installed = nullptr;
constexpr int CancelledStatus = 130;

BOOL WINAPI OnControl(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        int raised = installed->raised.fetch_add(1) + 1;
        if (raised - installed->taken.load() >= 2) {
            RemoveTemporaryFilesNow();
            CKeyboard::RestoreFromSignal();
            const char newline = '\n';
            [[maybe_unused]] auto written = _write(2, &newline, 1);
            ExitProcess(CancelledStatus);
        }
        return TRUE;
    }
    // The console is closing, the user logs off or the system shuts down:
    // leave no temporary file and give the console back; the platform then
    // ends the process.
    RemoveTemporaryFilesNow();
    CKeyboard::RestoreFromSignal();
    return FALSE;
}

} // namespace

void InstallInterruptHandlers(CInterrupts& interrupts)
{
    static_assert(std::atomic<int>::is_always_lock_free);
    installed = &interrupts;
    SetConsoleCtrlHandler(OnControl, TRUE);
}
