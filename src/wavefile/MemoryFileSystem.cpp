// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/MemoryFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Files larger than this are refused as a full disk would refuse them, so a
// stray offset cannot make a test or fuzzer allocate without bound.
constexpr std::int64_t MaxFileBytes = std::int64_t{1} << 30;

class CMemoryFile final : public IFile {
public:
    CMemoryFile(std::shared_ptr<CMemoryFileSystem::Bytes> fileBytes, CMemoryFileSystem& owner, bool canWrite)
        : bytes(std::move(fileBytes)), fileSystem(owner), writable(canWrite)
    {
    }

    std::int64_t ReadAt(void* destination, std::size_t count, std::int64_t at) override
    {
        if (!bytes || at < 0)
            return -EBADF;
        auto size = static_cast<std::int64_t>(bytes->size());
        if (at >= size)
            return 0;
        std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(size - at));
        std::memcpy(destination, bytes->data() + at, n);
        return static_cast<std::int64_t>(n);
    }

    int WriteAt(const void* source, std::size_t count, std::int64_t at) override
    {
        if (!bytes || !writable || at < 0)
            return EBADF;
        auto& faults = fileSystem.faults;
        std::uint64_t room = faults.writeBudget > fileSystem.written ? faults.writeBudget - fileSystem.written : 0;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, room));
        if (at + static_cast<std::int64_t>(n) > MaxFileBytes)
            return EFBIG;
        if (bytes->size() < static_cast<std::size_t>(at) + n)
            bytes->resize(static_cast<std::size_t>(at) + n);
        if (n > 0)
            std::memcpy(bytes->data() + at, source, n);
        fileSystem.written += n;
        wrote = true;
        if (n < count)
            return faults.writeError != 0 ? faults.writeError : ENOSPC;
        return 0;
    }

    std::int64_t Size() override { return bytes ? static_cast<std::int64_t>(bytes->size()) : -EBADF; }

    int Truncate(std::int64_t size) override
    {
        if (!bytes || !writable || size < 0 || size > MaxFileBytes)
            return EINVAL;
        bytes->resize(static_cast<std::size_t>(size));
        return 0;
    }

    int Reserve(std::int64_t) override { return 0; }
    int Sync() override { return bytes ? fileSystem.faults.syncError : EBADF; }

    int Close() override
    {
        if (!bytes)
            return 0;
        bytes.reset();
        return wrote ? fileSystem.faults.closeError : 0;
    }

    FileKind Kind() const override { return FileKind::Regular; }
    const std::shared_ptr<CMemoryFileSystem::Bytes>& Contents() const { return bytes; }

private:
    std::shared_ptr<CMemoryFileSystem::Bytes> bytes;
    CMemoryFileSystem& fileSystem;
    bool writable;
    bool wrote = false;
};

} // namespace

void CMemoryFileSystem::Put(const std::string& name, Bytes bytes)
{
    files[name] = std::make_shared<Bytes>(std::move(bytes));
}

std::optional<CMemoryFileSystem::Bytes> CMemoryFileSystem::Get(const std::string& name) const
{
    auto found = files.find(name);
    if (found == files.end())
        return std::nullopt;
    return *found->second;
}

std::vector<std::string> CMemoryFileSystem::Names() const
{
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files)
        names.push_back(name);
    return names;
}

int CMemoryFileSystem::Open(const std::string& name, FileAccess access, std::unique_ptr<IFile>& file)
{
    file.reset();
    auto found = files.find(name);
    if (found == files.end()) {
        if (access != FileAccess::Create)
            return ENOENT;
        if (faults.openError != 0)
            return faults.openError;
        found = files.emplace(name, std::make_shared<Bytes>()).first;
    } else if (access == FileAccess::Create) {
        found->second->clear();
    }
    file = std::make_unique<CMemoryFile>(found->second, *this, access != FileAccess::Read);
    return 0;
}

int CMemoryFileSystem::Inspect(const std::string& name, FileInfo& info)
{
    info = FileInfo{};
    auto found = files.find(name);
    if (found == files.end())
        return 0;
    info.kind = FileKind::Regular;
    info.inode = reinterpret_cast<std::uintptr_t>(found->second.get());
    info.permissions = 0644;
    info.writable = true;
    return 0;
}

int CMemoryFileSystem::Rename(const std::string& from, const std::string& to)
{
    if (faults.renameError != 0)
        return faults.renameError;
    auto found = files.find(from);
    if (found == files.end())
        return ENOENT;
    auto bytes = found->second;
    files.erase(found);
    files[to] = bytes;
    return 0;
}

int CMemoryFileSystem::Remove(const std::string& name)
{
    return files.erase(name) > 0 ? 0 : ENOENT;
}

int CMemoryFileSystem::CreateTemporary(const std::string& directory, const std::string& prefix, std::string& name,
                                       std::unique_ptr<IFile>& file)
{
    if (faults.openError != 0)
        return faults.openError;
    name = directory + "/" + prefix + std::to_string(nextName++);
    return Open(name, FileAccess::Create, file);
}

int CMemoryFileSystem::CreateAnonymous(const std::string&, std::unique_ptr<IFile>& file)
{
    if (!faults.anonymous)
        return EOPNOTSUPP;
    if (faults.openError != 0)
        return faults.openError;
    file = std::make_unique<CMemoryFile>(std::make_shared<Bytes>(), *this, true);
    return 0;
}

int CMemoryFileSystem::LinkAnonymous(IFile& file, const std::string& name)
{
    auto* memory = dynamic_cast<CMemoryFile*>(&file);
    if (memory == nullptr || !memory->Contents())
        return EBADF;
    if (files.count(name) != 0)
        return EEXIST;
    files[name] = memory->Contents();
    return 0;
}

int CMemoryFileSystem::Adopt(IFile&, const FileInfo&)
{
    return 0;
}

std::string CMemoryFileSystem::DirectoryOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
