// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TerminationSignals.h"

#include <atomic>

#include "wavefile/TemporaryFiles.h"

namespace {

// Read from a signal handler: a lock-free atomic is safe there.
std::atomic<void (*)()> frontEndCleanUp{nullptr};

} // namespace

void SetTerminationCleanUp(void (*cleanUp)())
{
    static_assert(std::atomic<void (*)()>::is_always_lock_free);
    frontEndCleanUp.store(cleanUp);
}

void CleanUpForTermination() noexcept
{
    RemoveTemporaryFilesNow();
    if (void (*cleanUp)() = frontEndCleanUp.load())
        cleanUp();
}
