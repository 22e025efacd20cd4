// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/TemporaryFiles.h"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

// A fixed table of fixed buffers: a signal handler may read it without
// taking a lock or touching the heap. A slot is claimed by storing its name
// first and setting `used` after, so the handler never sees half a name.
constexpr int Slots = 16;
constexpr std::size_t NameBytes = 4096;

struct Slot {
    std::atomic<bool> used{false};
    char name[NameBytes];
};

Slot slots[Slots];
std::mutex tableMutex;

} // namespace

void RegisterTemporaryFile(const std::string& path)
{
    if (path.empty() || path.size() >= NameBytes)
        return;
    std::lock_guard lock(tableMutex);
    for (Slot& slot : slots) {
        if (!slot.used.load(std::memory_order_relaxed)) {
            std::memcpy(slot.name, path.c_str(), path.size() + 1);
            slot.used.store(true, std::memory_order_release);
            return;
        }
    }
}

void ForgetTemporaryFile(const std::string& path)
{
    std::lock_guard lock(tableMutex);
    for (Slot& slot : slots) {
        if (slot.used.load(std::memory_order_relaxed) && path == slot.name) {
            slot.used.store(false, std::memory_order_release);
            return;
        }
    }
}

void RemoveTemporaryFilesNow() noexcept
{
    for (Slot& slot : slots) {
        if (slot.used.load(std::memory_order_acquire))
            ::unlink(slot.name);
    }
}
