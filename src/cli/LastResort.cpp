// SPDX-License-Identifier: GPL-3.0-or-later
// The last resort for an exception nothing caught, on every platform.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "cli/Interrupts.h"
#include "ui/TerminationSignals.h"

namespace {

bool IsOutOfMemory(std::exception_ptr exception)
{
    if (!exception)
        return false;
    try {
        std::rethrow_exception(exception);
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
        return false;
    }
}

[[noreturn]] void OnUncaughtException()
{
    const bool outOfMemory = IsOutOfMemory(std::current_exception());
    // The same clean-up as a termination signal: the save's temporary files,
    // then the terminal put back (the part the interrupts registered).
    CleanUpForTermination();
    if (outOfMemory) {
        // No allocation here: the heap is what ran out.
        [[maybe_unused]] auto written = write(STDERR_FILENO, OutOfMemoryText, std::strlen(OutOfMemoryText));
        _exit(OutOfMemoryStatus);
    }
    std::abort();
}

} // namespace

void InstallLastResortHandler()
{
    std::set_terminate(OnUncaughtException);
}
