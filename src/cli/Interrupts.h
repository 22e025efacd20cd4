// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl-C as the terminal's cancel key: the first press cancels the running
// device step as Esc does (taken by the keyboard peek); a second press before
// the first was taken ends the program at once, for a step that never polls.
#pragma once

#include <atomic>

struct CInterrupts {
    std::atomic<int> raised{0};
    std::atomic<int> taken{0};

    // True once for every press not yet taken.
    bool Take()
    {
        int now = raised.load();
        if (now <= taken.load())
            return false;
        taken.store(now);
        return true;
    }
    bool Any() const { return raised.load() > 0; }
};

// SIGINT counts into `interrupts`; SIGINT pressed twice, SIGTERM, SIGHUP,
// SIGPIPE and SIGQUIT put the terminal back and remove the temporary files
// of a save in progress before the program ends (ui/TerminationSignals.h:
// while one is handled the others wait). A signal already ignored when this
// is called (nohup) is left ignored.
void InstallInterruptHandlers(CInterrupts& interrupts);

// The words and the status of a program that ran out of memory: the last
// resort for an allocation that failed where nothing could handle it.
constexpr const char* OutOfMemoryText = "tallowmere: out of memory; the test cannot go on\n";
constexpr int OutOfMemoryStatus = 1;

// An exception that reaches std::terminate, on any thread, ends the program
// after the same clean-up; std::bad_alloc with OutOfMemoryText and
// OutOfMemoryStatus rather than an abort. Anything else still aborts.
void InstallLastResortHandler();
