// SPDX-License-Identifier: GPL-3.0-or-later
// The file system as the wave files use it: open files with positioned reads
// and writes, and the few whole-file operations a safe save needs. The wave
// file logic calls only this; each platform supplies one implementation
// (FileSystemPosix.cpp here), and tests and fuzzers put an in-memory one
// (MemoryFileSystem.h) in its place.
//
// Every failing operation returns an errno value (ENOENT, EACCES, ENOSPC,
// EIO, ...; an implementation for another platform maps its own codes onto
// these), so that the caller can record why. 0 means success. Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

enum class FileKind {
    Absent,          // nothing under the name
    Regular,
    CharacterDevice, // written in place (a null device, a full device, a terminal)
    Directory,
    Other,           // a FIFO, a socket: never opened, as it could block for ever
};

enum class FileAccess {
    Read,
    ReadWrite,
    Create, // read-write, creating the file or truncating it to empty
};

// What a name refers to, links followed.
struct FileInfo {
    FileKind kind = FileKind::Absent;
    std::uint64_t device = 0; // with `inode`: the same pair is the same file
    std::uint64_t inode = 0;
    std::uint32_t permissions = 0; // the mode bits below the file type
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    bool writable = false; // this process may write to it
};

class IFile {
public:
    // Closes the file if it is still open; an error then is lost.
    virtual ~IFile() = default;
    // The bytes read from `at` into destination, fewer only at the end of
    // the file (0 there); -errno on failure.
    virtual std::int64_t ReadAt(void* destination, std::size_t count, std::int64_t at) = 0;
    // 0 when all `count` bytes are written from `at`; else the error (ENOSPC
    // for a write the file system cut short). Part of it may be written.
    virtual int WriteAt(const void* source, std::size_t count, std::int64_t at) = 0;
    // The length in bytes (0 for a device); -errno on failure.
    virtual std::int64_t Size() = 0;
    virtual int Truncate(std::int64_t bytes) = 0;
    // Sets room aside for `bytes` bytes without changing the length. Only
    // advice: an error here changes nothing else.
    virtual int Reserve(std::int64_t bytes) = 0;
    // Puts the written bytes on the medium.
    virtual int Sync() = 0;
    // 0, or the error of a close that failed; the file is closed either way
    // and a second call returns 0.
    virtual int Close() = 0;
    virtual FileKind Kind() const = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // Opens a regular file or a character device; a directory gives EISDIR
    // and a FIFO or socket ENXIO, without waiting for a peer.
    virtual int Open(const std::string& name, FileAccess access, std::unique_ptr<IFile>& file) = 0;
    // 0 and the kind Absent when nothing is there; an error only when the
    // name cannot be looked at (a part of the path is not a directory, no
    // permission to search it).
    virtual int Inspect(const std::string& name, FileInfo& info) = 0;
    // The name a save must replace in `target`: symbolic links followed, a
    // dangling one to the name it points at; the name itself when it is no
    // link (or the links loop). Links are followed, and a file there is
    // replaced, only as the system would let this process open `name` for
    // writing: 0, or EACCES with `refusal` naming the link or the file and
    // the rule that protects it (`target` is then the name itself).
    virtual int ResolveTarget(const std::string& name, std::string& target, std::string& refusal) = 0;
    // Puts `from` under `to`, replacing what was there in one step.
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Remove(const std::string& name) = 0;
    // A new, empty, uniquely named file in `directory` whose name starts with
    // `prefix`, open read-write and private to the user.
    virtual int CreateTemporary(const std::string& directory, const std::string& prefix, std::string& name,
                                std::unique_ptr<IFile>& file) = 0;
    // A new file in `directory` that has no name at all until LinkAnonymous,
    // so nothing is left if the process dies first. EOPNOTSUPP where the
    // file system has no such files; the caller then uses CreateTemporary.
    virtual int CreateAnonymous(const std::string& directory, std::unique_ptr<IFile>& file) = 0;
    // Gives a file from CreateAnonymous the name `name` (which must not exist).
    virtual int LinkAnonymous(IFile& file, const std::string& name) = 0;
    // Gives a file made to replace another that file's permission bits, and
    // its owner and group as far as this process may (a file of another
    // owner is kept only with the privilege to give files away). With `like`
    // Absent: the permissions a newly created file would get. An owner that
    // cannot be kept is no error.
    virtual int Adopt(IFile& file, const FileInfo& like) = 0;
    // Where temporary files go when no directory is given.
    virtual std::string TemporaryDirectory() = 0;
    // The directory part of a path ("." for a bare name).
    virtual std::string DirectoryOf(const std::string& path) = 0;
};

// The file system the wave files use: the platform's unless one was set.
IFileSystem& FileSystem();
// Replaces it (not owned; nullptr gives back the platform's). For tests and
// fuzzers; not while a wave file is open.
void SetFileSystem(IFileSystem* fileSystem);
// The platform's own, defined by FileSystemPosix.cpp (or its counterpart).
IFileSystem& PlatformFileSystem();
