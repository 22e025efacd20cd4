// SPDX-License-Identifier: GPL-3.0-or-later
// The file system over POSIX calls, with what Linux adds: O_TMPFILE for
// files without a name, linked into place through /proc.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wavefile/FileSystem.h"
#include "wavefile/LinkProtection.h"

namespace {

FileKind KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISCHR(mode))
        return FileKind::CharacterDevice;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    return FileKind::Other;
}

class CPosixFile final : public IFile {
public:
    CPosixFile(int descriptor, FileKind fileKind) : fd(descriptor), kind(fileKind) {}
    ~CPosixFile() override { Close(); }

    std::int64_t ReadAt(void* destination, std::size_t count, std::int64_t at) override
    {
        auto* out = static_cast<std::uint8_t*>(destination);
        std::size_t done = 0;
        while (done < count) {
            ssize_t n = ::pread(fd, out + done, count - done, static_cast<off_t>(at + static_cast<std::int64_t>(done)));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -errno;
            if (n == 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        return static_cast<std::int64_t>(done);
    }

    int WriteAt(const void* source, std::size_t count, std::int64_t at) override
    {
        const auto* in = static_cast<const std::uint8_t*>(source);
        std::size_t done = 0;
        while (done < count) {
            // A device has no offsets: plain writes, in order.
            ssize_t n = kind == FileKind::Regular
                            ? ::pwrite(fd, in + done, count - done, static_cast<off_t>(at + static_cast<std::int64_t>(done)))
                            : ::write(fd, in + done, count - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            if (n == 0)
                return ENOSPC;
            done += static_cast<std::size_t>(n);
        }
        return 0;
    }

    std::int64_t Size() override
    {
        struct stat info {};
        if (::fstat(fd, &info) != 0)
            return -errno;
        return S_ISREG(info.st_mode) ? info.st_size : 0;
    }

    int Truncate(std::int64_t bytes) override
    {
        return ::ftruncate(fd, static_cast<off_t>(bytes)) == 0 ? 0 : errno;
    }

    int Reserve(std::int64_t bytes) override
    {
#ifdef FALLOC_FL_KEEP_SIZE
        // Blocks set aside in one piece spare the file system from allocating
        // them page by page as the data arrives and again when it is written back.
        return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0 ? 0 : errno;
#else
        (void)bytes;
        return EOPNOTSUPP;
#endif
    }

    int Sync() override
    {
        if (::fsync(fd) == 0)
            return 0;
        // Devices and pipes have nothing to put on a medium.
        return errno == EINVAL || errno == EROFS ? 0 : errno;
    }

    int Close() override
    {
        if (fd < 0)
            return 0;
        int result = ::close(fd) == 0 || errno == EINTR ? 0 : errno;
        fd = -1;
        return result;
    }

    FileKind Kind() const override { return kind; }
    int Descriptor() const { return fd; }

private:
    int fd;
    FileKind kind;
};

mode_t NewFileMode()
{
    // Read the mask where the kernel shows it: setting it, even for a moment,
    // would leave files that other threads create meanwhile unmasked.
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        bool found = false;
        unsigned long mask = 0;
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            if (std::strncmp(line, "Umask:", 6) == 0) {
                char* end = nullptr;
                mask = std::strtoul(line + 6, &end, 8);
                found = end != line + 6;
            }
        std::fclose(status);
        if (found)
            return 0666 & ~static_cast<mode_t>(mask);
    }
    // Older kernels: umask can only be read by setting it; put it straight back.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string DirectoryPart(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The setting of one of the kernel's fs.protected_* rules; where it cannot
// be read, the level most systems set, so that a save is refused rather than
// reaching where a plain write would not.
int ProtectionLevel(const char* rule)
{
    int level = 1;
    if (std::FILE* setting = std::fopen((std::string("/proc/sys/fs/") + rule).c_str(), "r")) {
        if (std::fscanf(setting, "%d", &level) != 1)
            level = 1;
        std::fclose(setting);
    }
    return level;
}

// The directory an entry of `path` lives in; an unreadable one counts as a
// plain directory of nobody, which no rule protects.
HoldingDirectory Holder(const std::string& path)
{
    struct stat status {};
    if (::stat(DirectoryPart(path).c_str(), &status) != 0)
        return {};
    return HoldingDirectory{static_cast<std::uint32_t>(status.st_mode & 07777), static_cast<std::uint32_t>(status.st_uid)};
}

class CPosixFileSystem final : public IFileSystem {
public:
    int Open(const std::string& name, FileAccess access, std::unique_ptr<IFile>& file) override
    {
        file.reset();
        if (name.empty())
            return ENOENT;
        // Non-blocking while opening: a FIFO would otherwise wait for a peer.
        int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
        flags |= access == FileAccess::Read ? O_RDONLY : O_RDWR;
        int fd = ::open(name.c_str(), flags | (access == FileAccess::Create ? O_CREAT : 0), 0666);
        if (fd < 0)
            return errno;
        struct stat info {};
        if (::fstat(fd, &info) != 0) {
            int error = errno;
            ::close(fd);
            return error;
        }
        FileKind kind = KindOf(info.st_mode);
        if (kind == FileKind::Directory || kind == FileKind::Other) {
            ::close(fd);
            return kind == FileKind::Directory ? EISDIR : ENXIO;
        }
        // Truncate only once it is known to be a file (never a FIFO's reader).
        if (access == FileAccess::Create && kind == FileKind::Regular && ::ftruncate(fd, 0) != 0) {
            int error = errno;
            ::close(fd);
            return error;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        file = std::make_unique<CPosixFile>(fd, kind);
        return 0;
    }

    int Inspect(const std::string& name, FileInfo& info) override
    {
        info = FileInfo{};
        struct stat status {};
        if (::stat(name.c_str(), &status) != 0)
            return errno == ENOENT ? 0 : errno;
        info.kind = KindOf(status.st_mode);
        info.device = status.st_dev;
        info.inode = status.st_ino;
        info.permissions = status.st_mode & 07777;
        info.owner = status.st_uid;
        info.group = status.st_gid;
        info.writable = ::access(name.c_str(), W_OK) == 0;
        return 0;
    }

    int ResolveTarget(const std::string& name, std::string& target, std::string& refusal) override
    {
        target = name;
        refusal.clear();
        const uid_t self = ::geteuid();
        std::string current = name;
        // A bounded walk along the links; a loop ends as the name it started from.
        for (int hops = 0; hops < 40; ++hops) {
            struct stat status {};
            if (::lstat(current.c_str(), &status) != 0) {
                target = current;
                return 0;
            }
            if (!S_ISLNK(status.st_mode)) {
                if (S_ISREG(status.st_mode) &&
                    !MayCreateOver(ProtectionLevel("protected_regular"), Holder(current), status.st_uid, self)) {
                    refusal = ProtectedFileReason(current);
                    return EACCES;
                }
                target = current;
                return 0;
            }
            if (!MayFollowLink(ProtectionLevel("protected_symlinks"), Holder(current), status.st_uid, self)) {
                refusal = ProtectedLinkReason(current);
                return EACCES;
            }
            std::vector<char> link(PATH_MAX + 1);
            ssize_t n = ::readlink(current.c_str(), link.data(), PATH_MAX);
            if (n <= 0) {
                target = current;
                return 0;
            }
            std::string next(link.data(), static_cast<std::size_t>(n));
            current = next.front() == '/' ? next : DirectoryPart(current) + "/" + next;
        }
        return 0;
    }

    int Rename(const std::string& from, const std::string& to) override
    {
        return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }

    int Remove(const std::string& name) override { return ::unlink(name.c_str()) == 0 ? 0 : errno; }

    int CreateTemporary(const std::string& directory, const std::string& prefix, std::string& name,
                        std::unique_ptr<IFile>& file) override
    {
        std::string pattern = directory.empty() ? std::string(".") : directory;
        if (pattern.back() != '/')
            pattern += '/';
        pattern += prefix + "XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
        if (fd < 0)
            return errno;
        name = buffer.data();
        file = std::make_unique<CPosixFile>(fd, FileKind::Regular);
        return 0;
    }

    int CreateAnonymous(const std::string& directory, std::unique_ptr<IFile>& file) override
    {
#ifdef O_TMPFILE
        int fd = ::open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0)
            return errno == EISDIR || errno == EINVAL ? EOPNOTSUPP : errno;
        file = std::make_unique<CPosixFile>(fd, FileKind::Regular);
        return 0;
#else
        (void)directory;
        (void)file;
        return EOPNOTSUPP;
#endif
    }

    int LinkAnonymous(IFile& file, const std::string& name) override
    {
        auto* posix = dynamic_cast<CPosixFile*>(&file);
        if (posix == nullptr)
            return EINVAL;
        // Through /proc any user may link it; AT_EMPTY_PATH needs a privilege.
        std::string proc = "/proc/self/fd/" + std::to_string(posix->Descriptor());
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        int error = errno;
        if (::linkat(posix->Descriptor(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)
            return 0;
        return error;
    }

    int Adopt(IFile& file, const FileInfo& like) override
    {
        auto* posix = dynamic_cast<CPosixFile*>(&file);
        if (posix == nullptr)
            return EINVAL;
        int fd = posix->Descriptor();
        if (like.kind != FileKind::Regular)
            return ::fchmod(fd, NewFileMode()) == 0 ? 0 : errno;
        // The owner first: changing it may clear the set-id bits set after.
        if (::fchown(fd, like.owner, like.group) != 0)
            (void)!::fchown(fd, static_cast<uid_t>(-1), like.group); // a group of ours may still be kept
        return ::fchmod(fd, like.permissions) == 0 ? 0 : errno;
    }

    std::string TemporaryDirectory() override
    {
        const char* fromEnvironment = std::getenv("TMPDIR");
        if (fromEnvironment != nullptr && *fromEnvironment != '\0')
            return fromEnvironment;
        return "/tmp";
    }

    std::string DirectoryOf(const std::string& path) override { return DirectoryPart(path); }
};

} // namespace

IFileSystem& PlatformFileSystem()
{
    static CPosixFileSystem posix;
    return posix;
}
