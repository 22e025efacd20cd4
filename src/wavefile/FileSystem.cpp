// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/FileSystem.h"

#include <atomic>

namespace {

std::atomic<IFileSystem*> current{nullptr};

} // namespace

IFileSystem& FileSystem()
{
    IFileSystem* set = current.load(std::memory_order_acquire);
    return set != nullptr ? *set : PlatformFileSystem();
}

void SetFileSystem(IFileSystem* fileSystem)
{
    current.store(fileSystem, std::memory_order_release);
}
