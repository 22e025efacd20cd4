// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/TextFileSave.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "wavefile/FileSystem.h"
#include "wavefile/TemporaryFiles.h"

namespace {

std::string Why(const std::string& path, int error)
{
    return "cannot write '" + path + "': " + std::strerror(error);
}

int WriteAll(IFile& file, const std::string& bytes)
{
    int error = bytes.empty() ? 0 : file.WriteAt(bytes.data(), bytes.size(), 0);
    if (error == 0 && file.Kind() == FileKind::Regular)
        error = file.Sync();
    const int closed = file.Close();
    return error != 0 ? error : closed;
}

bool SaveReplacing(const std::string& path, const std::string& target, const FileInfo& existing,
                   const std::string& bytes, std::string& error)
{
    IFileSystem& fs = FileSystem();
    std::string name;
    std::unique_ptr<IFile> file;
    if (int created = fs.CreateTemporary(fs.DirectoryOf(target), ".tmp", name, file); created != 0) {
        error = Why(path, created);
        return false;
    }
    RegisterTemporaryFile(name);
    fs.Adopt(*file, existing);
    int failure = WriteAll(*file, bytes);
    if (failure == 0)
        failure = fs.Rename(name, target);
    if (failure != 0) {
        fs.Remove(name);
        ForgetTemporaryFile(name);
        error = Why(path, failure);
        return false;
    }
    ForgetTemporaryFile(name);
    return true;
}

} // namespace

bool SaveTextFile(const std::string& path, const std::string& bytes, std::string& error)
{
    IFileSystem& fs = FileSystem();
    if (path.empty()) {
        error = Why(path, ENOENT);
        return false;
    }
    std::string target;
    std::string refusal;
    int failure = fs.ResolveTarget(path, target, refusal);
    if (failure != 0) {
        error = "cannot write '" + path + "': " + (refusal.empty() ? std::strerror(failure) : refusal);
        return false;
    }
    FileInfo existing;
    if (failure = fs.Inspect(target, existing); failure != 0) {
        error = Why(path, failure);
        return false;
    }
    switch (existing.kind) {
    case FileKind::Directory:
        error = Why(path, EISDIR);
        return false;
    case FileKind::Other:
        // A FIFO or socket would hold the program until a reader came.
        error = "cannot write '" + path + "': not a regular file";
        return false;
    case FileKind::CharacterDevice: {
        std::unique_ptr<IFile> file;
        failure = fs.Open(target, FileAccess::Create, file);
        if (failure == 0)
            failure = WriteAll(*file, bytes);
        if (failure != 0)
            error = Why(path, failure);
        return failure == 0;
    }
    case FileKind::Regular:
        if (!existing.writable) {
            error = Why(path, EACCES);
            return false;
        }
        break;
    case FileKind::Absent:
        break;
    }
    return SaveReplacing(path, target, existing, bytes, error);
}
