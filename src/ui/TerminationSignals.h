// SPDX-License-Identifier: GPL-3.0-or-later
// What both programs do when they are ended from outside (a termination
// signal, the Windows console closing): the temporary files of a save in
// progress are removed, then the front end's own clean-up runs (the command
// line puts the terminal back), and the process ends as it was told to.
#pragma once

#include <initializer_list>

// The front end's own part, run after the temporary files are removed. It
// must be async-signal-safe. Set it before installing handlers; none at first.
void SetTerminationCleanUp(void (*cleanUp)());

// The temporary files, then the front end's part. Async-signal-safe.
void CleanUpForTermination() noexcept;

#ifndef _WIN32
struct TerminationHandler {
    int signal;
    void (*handler)(int);
};

// Installs each handler for its signal. While any of them runs, every signal
// of the list is blocked, so the clean-up runs once and the first signal
// decides how the process ends. A signal ignored when this is called (as
// under nohup, or a script's background job) stays ignored. Returns false
// when a handler could not be installed (the others are kept).
bool InstallTerminationHandlers(std::initializer_list<TerminationHandler> handlers);

// The usual handler: CleanUpForTermination, then the signal's default action,
// so the process still ends as killed by that signal.
extern "C" void EndOnTerminationSignal(int signal);
#endif
