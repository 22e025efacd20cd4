// SPDX-License-Identifier: GPL-3.0-or-later
// The memory-mode save: the whole file is written beside the target and put
// over it in one step only once it is complete and on the medium, so a
// failed or interrupted save never costs the file that was there.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>

#include "wavefile/FileSystem.h"
#include "wavefile/TemporaryFiles.h"
#include "wavefile/WaveFile.h"
#include "wavefile/WaveFileDetail.h"

using namespace wavefile_detail;

namespace {

// A name for linking a finished file beside the target; not a secret, only
// unlikely to be taken (a taken one is tried again).
std::string ReplacementName(const std::string& directory)
{
    static std::atomic<unsigned> counter{0};
    auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    return directory + "/.wav" + std::to_string(ticks % 1000000007ull) + "-" + std::to_string(counter++);
}

} // namespace

int CWaveFile::SaveMemory()
{
    if (untitled) {
        RecordReason(WaveFileReason::NotFound, "save without a file name", {});
        return 0;
    }
    // Through a link into the file it names, as a plain write would go (and
    // only where it may go); a dangling link gets its target created.
    std::string target;
    std::string refusal;
    int error = fileName.empty() ? ENOENT : FileSystem().ResolveTarget(fileName, target, refusal);
    FileInfo existing;
    if (error == 0)
        error = FileSystem().Inspect(target, existing);
    if (error != 0 && !refusal.empty()) {
        RecordError("open", fileName, error, refusal);
    } else if (error == 0 && (existing.kind == FileKind::Directory || existing.kind == FileKind::Other)) {
        // A FIFO or socket would block the save until a reader came, if ever.
        RecordReason(WaveFileReason::NotRegular, "save", target);
        error = -1;
    } else if (error == 0 && existing.kind == FileKind::Regular && !existing.writable) {
        error = EACCES;
        RecordError("open", target, error);
    } else if (error != 0) {
        RecordError("open", target, error);
    }
    if (error != 0) {
        Show(FileOpenFail);
        failed = 1;
        return 0;
    }
    int result = existing.kind == FileKind::CharacterDevice ? SaveInPlace(target) : SaveReplacing(target, existing);
    if (result) {
        modified = 0;
        untitled = 0;
    }
    return result;
}

int CWaveFile::SaveInPlace(const std::string& target)
{
    if (!fileHandle.Open(target, RiffOpenMode::Create)) {
        RecordError("open", target, fileHandle.Error());
        Show(FileOpenFail);
        failed = 1;
        return 0;
    }
    bool written = WriteWholeFile(fileHandle);
    int writeError = fileHandle.Error();
    bool closed = fileHandle.Close() == 0;
    if (!written || !closed) {
        RecordError(written ? "close" : "write", target, written ? fileHandle.Error() : writeError);
        Show(FailureWriting);
        failed = 1;
        return 0;
    }
    return 1;
}

int CWaveFile::SaveReplacing(const std::string& target, const FileInfo& existing)
{
    std::string name;
    if (!OpenReplacement(target, existing, name)) {
        Show(FileOpenFail);
        failed = 1;
        return 0;
    }
    // The whole length is known: set the room aside at once (on ext4 this
    // roughly halves the time of a large save).
    std::uint64_t data = FrameOffset(dataEnd);
    std::uint64_t length = 44 + data + (data & 1u) + (hasCalibration ? 8 + CalibrationBytes : 0);
    fileHandle.Reserve(static_cast<std::int64_t>(length));

    bool ok = WriteWholeFile(fileHandle);
    if (!ok)
        RecordError("write", target, fileHandle.Error());
    if (ok && fileHandle.Sync() != 0) {
        RecordError("sync", target, fileHandle.Error());
        ok = false;
    }
    ok = ok && FinishReplacement(target, name);
    if (!ok) {
        fileHandle.Close();
        if (!name.empty())
            RemoveTemporaryFile(name);
        Show(FailureWriting);
        failed = 1;
        return 0;
    }
    if (int renamed = FileSystem().Rename(name, target); renamed != 0) {
        // The system refused the name itself (too long, say).
        RecordError("rename", target, renamed);
        RemoveTemporaryFile(name);
        Show(FileOpenFail);
        failed = 1;
        return 0;
    }
    ForgetTemporaryFile(name);
    return 1;
}

bool CWaveFile::OpenReplacement(const std::string& target, const FileInfo& existing, std::string& name)
{
    std::string directory = FileSystem().DirectoryOf(target);
    std::unique_ptr<IFile> file;
    name.clear();
    // Without a name nothing is left behind even if the process is killed.
    int error = FileSystem().CreateAnonymous(directory, file);
    if (error != 0) {
        error = FileSystem().CreateTemporary(directory, ".wav", name, file);
        if (error == 0)
            RegisterTemporaryFile(name);
    }
    if (error != 0) {
        RecordError("create", target, error);
        return false;
    }
    // The mode of the file it replaces (or of a new file), its owner where allowed.
    FileSystem().Adopt(*file, existing);
    if (!fileHandle.Attach(std::move(file), true)) {
        RecordError("create", target, fileHandle.Error());
        return false;
    }
    return true;
}

bool CWaveFile::FinishReplacement(const std::string& target, std::string& name)
{
    if (!name.empty()) {
        if (fileHandle.Close() != 0) {
            RecordError("close", target, fileHandle.Error());
            return false;
        }
        return true;
    }
    std::unique_ptr<IFile> file = fileHandle.Detach();
    if (!file) {
        RecordError("write", target, fileHandle.Error());
        return false;
    }
    std::string directory = FileSystem().DirectoryOf(target);
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        name = ReplacementName(directory);
        error = FileSystem().LinkAnonymous(*file, name);
    }
    if (error != 0) {
        RecordError("link", target, error);
        name.clear();
        file->Close();
        return false;
    }
    RegisterTemporaryFile(name);
    if (int closed = file->Close(); closed != 0) {
        RecordError("close", target, closed);
        return false;
    }
    return true;
}
