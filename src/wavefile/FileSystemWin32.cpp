// SPDX-License-Identifier: GPL-3.0-or-later
// The file system over Win32 calls: CreateFile/ReadFile/WriteFile with
// explicit offsets, a save's replacement put in place with MoveFileEx, and
// temporary files from GetTempPathA/GetTempFileNameA. Windows has no files
// without a name, owners the way POSIX has, or symbolic links a save must
// follow; those operations say so.
#include <windows.h>

#include <cerrno>
#include <string>

#include "wavefile/FileSystem.h"

namespace {

// The errno value the wave files record for a Win32 error.
int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return EIO;
    }
}

int LastErrno()
{
    return ErrnoOf(GetLastError());
}

OVERLAPPED At(std::int64_t offset)
{
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return where;
}

// One call moves at most this much, so a count never overflows a DWORD.
constexpr std::size_t ChunkBytes = 1u << 30;

class CWin32File final : public IFile {
public:
    CWin32File(HANDLE fileHandle, FileKind fileKind) : handle(fileHandle), kind(fileKind) {}
    ~CWin32File() override { Close(); }

    std::int64_t ReadAt(void* destination, std::size_t count, std::int64_t at) override
    {
        auto* out = static_cast<std::uint8_t*>(destination);
        std::size_t done = 0;
        while (done < count) {
            DWORD asked = static_cast<DWORD>(count - done < ChunkBytes ? count - done : ChunkBytes);
            DWORD got = 0;
            OVERLAPPED where = At(at + static_cast<std::int64_t>(done));
            if (!ReadFile(handle, out + done, asked, &got, kind == FileKind::Regular ? &where : nullptr)) {
                if (GetLastError() == ERROR_HANDLE_EOF)
                    break;
                return -LastErrno();
            }
            if (got == 0)
                break;
            done += got;
        }
        return static_cast<std::int64_t>(done);
    }

    int WriteAt(const void* source, std::size_t count, std::int64_t at) override
    {
        const auto* in = static_cast<const std::uint8_t*>(source);
        std::size_t done = 0;
        while (done < count) {
            DWORD asked = static_cast<DWORD>(count - done < ChunkBytes ? count - done : ChunkBytes);
            DWORD put = 0;
            // A device has no offsets: plain writes, in order.
            OVERLAPPED where = At(at + static_cast<std::int64_t>(done));
            if (!WriteFile(handle, in + done, asked, &put, kind == FileKind::Regular ? &where : nullptr))
                return LastErrno();
            if (put == 0)
                return ENOSPC;
            done += put;
        }
        return 0;
    }

    std::int64_t Size() override
    {
        if (kind != FileKind::Regular)
            return 0;
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(handle, &size))
            return -LastErrno();
        return size.QuadPart;
    }

    int Truncate(std::int64_t bytes) override
    {
        LARGE_INTEGER position{};
        position.QuadPart = bytes;
        if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) || !SetEndOfFile(handle))
            return LastErrno();
        return 0;
    }

    int Reserve(std::int64_t bytes) override
    {
        // Room set aside without a change of length, as on Linux.
        FILE_ALLOCATION_INFO room{};
        room.AllocationSize.QuadPart = bytes;
        return SetFileInformationByHandle(handle, FileAllocationInfo, &room, sizeof room) ? 0 : LastErrno();
    }

    int Sync() override
    {
        if (FlushFileBuffers(handle))
            return 0;
        // Devices and consoles have nothing to put on a medium.
        DWORD error = GetLastError();
        return error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION ? 0 : ErrnoOf(error);
    }

    int Close() override
    {
        if (handle == INVALID_HANDLE_VALUE)
            return 0;
        int result = CloseHandle(handle) ? 0 : LastErrno();
        handle = INVALID_HANDLE_VALUE;
        return result;
    }

    FileKind Kind() const override { return kind; }

private:
    HANDLE handle;
    FileKind kind;
};

FileKind KindOf(HANDLE handle)
{
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
        return FileKind::Regular;
    case FILE_TYPE_CHAR:
        return FileKind::CharacterDevice;
    default:
        return FileKind::Other;
    }
}

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

} // namespace

namespace {

class CWin32FileSystem final : public IFileSystem {
public:
    int Open(const std::string& name, FileAccess access, std::unique_ptr<IFile>& file) override
    {
        file.reset();
        if (name.empty())
            return ENOENT;
        DWORD attributes = GetFileAttributesA(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return EISDIR;
        DWORD wanted = access == FileAccess::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
        DWORD disposition = access == FileAccess::Create ? OPEN_ALWAYS : OPEN_EXISTING;
        HANDLE handle = CreateFileA(name.c_str(), wanted, ShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return LastErrno();
        FileKind kind = KindOf(handle);
        if (kind == FileKind::Other) {
            // A pipe could wait for its peer for ever.
            CloseHandle(handle);
            return ENXIO;
        }
        auto opened = std::make_unique<CWin32File>(handle, kind);
        if (access == FileAccess::Create && kind == FileKind::Regular) {
            if (int error = opened->Truncate(0))
                return error;
        }
        file = std::move(opened);
        return 0;
    }

    int Inspect(const std::string& name, FileInfo& info) override
    {
        info = FileInfo{};
        DWORD attributes = GetFileAttributesA(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : ErrnoOf(error);
        }
        bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        info.permissions = readOnly ? 0444 : 0666;
        info.writable = !readOnly;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            info.kind = FileKind::Directory;
            return 0;
        }
        // Volume and file index say whether two names are one file.
        HANDLE handle = CreateFileA(name.c_str(), 0, ShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            info.kind = FileKind::Regular;
            return 0;
        }
        info.kind = KindOf(handle);
        BY_HANDLE_FILE_INFORMATION identity{};
        if (info.kind == FileKind::Regular && GetFileInformationByHandle(handle, &identity)) {
            info.device = identity.dwVolumeSerialNumber;
            info.inode = (static_cast<std::uint64_t>(identity.nFileIndexHigh) << 32) | identity.nFileIndexLow;
        }
        CloseHandle(handle);
        return 0;
    }

    // Links on Windows are rare and replaced as names; the save keeps the name.
    int ResolveTarget(const std::string& name, std::string& target, std::string& refusal) override
    {
        target = name;
        refusal.clear();
        return 0;
    }

    int Rename(const std::string& from, const std::string& to) override
    {
        // In one step, and on the medium before the call returns.
        return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? 0
                   : LastErrno();
    }

    int Remove(const std::string& name) override { return DeleteFileA(name.c_str()) ? 0 : LastErrno(); }

    int CreateTemporary(const std::string& directory, const std::string& prefix, std::string& name,
                        std::unique_ptr<IFile>& file) override
    {
        file.reset();
        // GetTempFileNameA makes the file, unique in the directory, from the
        // first three characters of the prefix.
        char made[MAX_PATH + 1] = {};
        if (GetTempFileNameA(directory.empty() ? "." : directory.c_str(), prefix.c_str(), 0, made) == 0)
            return LastErrno();
        HANDLE handle = CreateFileA(made, GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            int error = LastErrno();
            DeleteFileA(made);
            return error;
        }
        name = made;
        file = std::make_unique<CWin32File>(handle, FileKind::Regular);
        return 0;
    }

    int CreateAnonymous(const std::string& directory, std::unique_ptr<IFile>& file) override
    {
        (void)directory;
        file.reset();
        return EOPNOTSUPP;
    }

    int LinkAnonymous(IFile& file, const std::string& name) override
    {
        (void)file;
        (void)name;
        return EOPNOTSUPP;
    }

    // Files carry no owner or mode bits a save could keep; a read-only
    // target refuses the replacement itself.
    int Adopt(IFile& file, const FileInfo& like) override
    {
        (void)file;
        (void)like;
        return 0;
    }

    std::string TemporaryDirectory() override
    {
        char path[MAX_PATH + 1] = {};
        DWORD length = GetTempPathA(sizeof path, path);
        if (length == 0 || length > MAX_PATH)
            return ".";
        return std::string(path, length);
    }

    std::string DirectoryOf(const std::string& path) override
    {
        std::string::size_type separator = path.find_last_of("\\/");
        if (separator == std::string::npos) {
            // "C:name" is relative to the drive's current directory.
            return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
        }
        // Keep the root's separator ("C:\", "\").
        bool root = separator == 0 || (separator == 2 && path[1] == ':');
        while (!root && separator > 0 && IsSeparator(path[separator - 1]))
            --separator;
        return path.substr(0, root ? separator + 1 : separator);
    }
};

} // namespace

IFileSystem& PlatformFileSystem()
{
    static CWin32FileSystem win32;
    return win32;
}
