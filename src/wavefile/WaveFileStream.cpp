// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/WaveFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "wavefile/FileSystem.h"
#include "wavefile/TemporaryFiles.h"
#include "wavefile/WaveFileDetail.h"

using namespace wavefile_detail;

// File mode -------------------------------------------------------------------

int CWaveFile::OpenWorkFile()
{
    if (mode != WaveFileMode::FileMode)
        return 0;
    WritePendingSizes(); // before a file still open is closed by the reopening
    if (!fileHandle.Open(workFileName, RiffOpenMode::ReadWrite)) {
        RecordError("open", workFileName, fileHandle.Error());
        Show(FileOpenFail);
        failed = 1;
        return 0;
    }
    auto fail = [this](const char* message) {
        if (message != nullptr)
            Show(message);
        fileHandle.Close();
        failed = 1;
        return 0;
    };
    trailerDropped = false;
    sizesPending = false;
    ReadCalibration();
    if (!FindFormat(riffChunk, dataChunk))
        return fail(nullptr);
    dataChunk = RiffChunk{};
    dataChunk.id = DataId;
    if (fileHandle.Descend(dataChunk, &riffChunk, RiffFind::Chunk) != 0) {
        RecordReason(WaveFileReason::NotWave, "no data chunk after the fmt chunk", workFileName);
        return fail(InvalidWaveFile);
    }
    // Samples the file does not hold are not counted: a stated size past the
    // end of the file shrinks to what is there.
    std::int64_t held = std::max<std::int64_t>(fileHandle.Length() - fileHandle.Tell(), 0);
    bool stated = dataChunk.size > 0;
    dataChunk.size = static_cast<std::uint32_t>(std::min<std::int64_t>(dataChunk.size, held));
    byteSize = dataChunk.size;
    if (byteSize == 0) {
        RecordReason(stated ? WaveFileReason::Truncated : WaveFileReason::NotWave,
                     stated ? "data chunk" : "empty data chunk", workFileName);
        return fail(nullptr);
    }
    dataOffset = static_cast<std::uint32_t>(fileHandle.Tell());
    frameCount = BytesToFrames(byteSize);
    modified = 0;
    return 1;
}

int CWaveFile::CreateWorkFile()
{
    if (mode != WaveFileMode::FileMode)
        return 0;
    if (!fileHandle.Open(workFileName, RiffOpenMode::Create)) {
        RecordError("create", workFileName, fileHandle.Error());
        Show(FileOpenFail);
        failed = 1;
        return 0;
    }
    trailerDropped = false;
    sizesPending = false;
    riffChunk = RiffChunk{};
    riffChunk.formType = WaveId;
    dataChunk = RiffChunk{};
    dataChunk.id = FormatId;
    dataChunk.size = FormatBytes;
    bool ok = fileHandle.CreateChunk(riffChunk, true) == 0 && fileHandle.Ascend(riffChunk) == 0 &&
              fileHandle.CreateChunk(dataChunk, false) == 0 && fileHandle.Ascend(dataChunk) == 0 &&
              WriteFormatBytes() && fileHandle.Ascend(dataChunk) == 0;
    if (ok) {
        dataChunk = RiffChunk{};
        dataChunk.id = DataId;
        ok = fileHandle.CreateChunk(dataChunk, false) == 0;
    }
    if (!ok) {
        RecordError("write header", workFileName, fileHandle.Error());
        fileHandle.Close();
        failed = 1;
        return 0;
    }
    dataOffset = static_cast<std::uint32_t>(fileHandle.Tell());
    frameCount = byteSize = position = 0;
    return 1;
}

std::uint32_t CWaveFile::StreamRead(std::uint8_t* destination, std::uint32_t byteCount)
{
    if (mode != WaveFileMode::FileMode || !fileHandle.IsOpen() || destination == nullptr || byteCount == 0)
        return 0;
    std::int64_t n = fileHandle.Read(destination, byteCount);
    return n < 0 ? 0 : static_cast<std::uint32_t>(n);
}

int CWaveFile::StreamWrite(const std::uint8_t* source, std::uint32_t byteCount)
{
    if (mode != WaveFileMode::FileMode || !fileHandle.IsOpen() || source == nullptr || byteCount == 0)
        return 0;
    std::int64_t at = fileHandle.Tell();
    std::int64_t end = at + byteCount;
    // Sizes and offsets of a RIFF file are 32-bit.
    if (end + 1 > MaxRiffOffset) {
        RecordError("write", workFileName, EFBIG);
        return 0;
    }
    dataChunk.flags |= RiffChunkDirty;
    std::int64_t dataStart = dataChunk.dataOffset;
    std::int64_t dataStop = dataStart + dataChunk.size;
    bool grows = end > dataStop;
    if (grows) {
        riffChunk.flags |= RiffChunkDirty;
        // Whatever followed the data chunk would be overwritten piecemeal;
        // cut it off whole so the file stays a well-formed RIFF file.
        std::int64_t trailer = dataStop + (dataChunk.size & 1u);
        if (fileHandle.Length() > trailer) {
            if (fileHandle.Truncate(dataStop) != 0) {
                RecordError("truncate", workFileName, fileHandle.Error());
                failed = 1;
                return 0;
            }
            trailerDropped = true;
        }
    }
    fileHandle.Seek(at, SEEK_SET);
    if (fileHandle.Write(source, byteCount) != byteCount) {
        RecordError("write", workFileName, fileHandle.Error());
        // Leave the file describing the samples that did reach it (and the
        // RIFF chunk ending with them, if its trailer was cut off).
        sizesPending = sizesPending || grows;
        WritePendingSizes();
        failed = 1;
        return 0;
    }
    if (grows) {
        // The data chunk now ends with this write. Its size, pad byte and
        // the RIFF size are held and written once the writes stop.
        dataChunk.size = static_cast<std::uint32_t>(end - dataStart);
        sizesPending = true;
    }
    return 1;
}

bool CWaveFile::WritePendingSizes()
{
    if (!sizesPending || !fileHandle.IsOpen())
        return true;
    sizesPending = false;
    std::int64_t back = fileHandle.Tell();
    std::int64_t dataStart = dataChunk.dataOffset;
    // After a failed write the file may hold less than was counted.
    std::int64_t held = std::max<std::int64_t>(fileHandle.Length() - dataStart, 0);
    auto size = static_cast<std::uint32_t>(std::min<std::int64_t>(dataChunk.size, held));
    // Whatever followed the data chunk was cut off when it grew: the RIFF
    // chunk ends with the data and its pad byte.
    auto riffSize = static_cast<std::uint32_t>(dataStart + size + (size & 1u) - riffChunk.dataOffset);
    std::uint8_t field[4];
    const std::uint8_t pad = 0;
    bool ok = (size & 1u) == 0 ||
              (fileHandle.Seek(dataStart + size, SEEK_SET) >= 0 && fileHandle.Write(&pad, 1) == 1);
    PutUInt32(field, size);
    ok = ok && fileHandle.Seek(dataStart - 4, SEEK_SET) >= 0 && fileHandle.Write(field, 4) == 4;
    PutUInt32(field, riffSize);
    ok = ok && fileHandle.Seek(std::int64_t{riffChunk.dataOffset} - 4, SEEK_SET) >= 0 && fileHandle.Write(field, 4) == 4;
    fileHandle.Seek(back, SEEK_SET);
    dataChunk.size = size;
    riffChunk.size = riffSize;
    return ok;
}

bool CWaveFile::TargetIsWorkFile() const
{
    if (workFileName == fileName)
        return true;
    // One file under two spellings (a case-insensitive file system, a link,
    // "./"): compare what the names point at, not the letters.
    FileInfo work;
    FileInfo target;
    return FileSystem().Inspect(workFileName, work) == 0 && FileSystem().Inspect(fileName, target) == 0 &&
           work.kind != FileKind::Absent && target.kind != FileKind::Absent && work.device == target.device &&
           work.inode == target.inode;
}

int CWaveFile::SaveFile()
{
    if (!fileHandle.IsOpen())
        return 1;
    // Without a target name there is nowhere to put the file.
    if (untitled) {
        RecordReason(WaveFileReason::NotFound, "save without a file name", workFileName);
        return 0;
    }
    if (!WritePendingSizes())
        RecordError("write chunk sizes", workFileName, fileHandle.Error());
    Seek(dataEnd);
    fileHandle.Ascend(dataChunk);
    if (TargetIsWorkFile()) {
        if (riffChunk.flags & RiffChunkDirty) {
            if (fileHandle.Ascend(riffChunk) == 0 && trailerDropped) {
                WriteCalibration();
                trailerDropped = false;
            }
        }
        fileHandle.Flush();
        Seek(position);
        modified = 0;
        return 1;
    }
    std::uint32_t remembered = position;
    if (fileHandle.Ascend(riffChunk) != 0) {
        RecordError("write RIFF size", workFileName, fileHandle.Error());
        fileHandle.Close();
        failed = 1;
        return 0;
    }
    if (fileHandle.Close() != 0) {
        RecordError("close", workFileName, fileHandle.Error());
        Show(FailureWriting);
        return 0;
    }
    AppendCalibration(workFileName);
    if (useTempCopy) {
        CopyWaveFile(workFileName, fileName, dataEnd);
    } else if (createdNew) {
        if (!MoveWorkFileToTarget())
            return 0;
    } else {
        CopyWaveFile(workFileName, fileName, dataEnd);
        workFileName = fileName;
    }
    OpenWorkFile();
    SetPosition(remembered);
    modified = 0;
    createdNew = 0;
    return 1;
}

bool CWaveFile::MoveWorkFileToTarget()
{
    // A link is saved through, into the file it names. Where the system
    // protects the link or the file, the copy opens the name as a plain
    // write would, and the system itself refuses it.
    std::string target;
    std::string refusal;
    int resolved = FileSystem().ResolveTarget(fileName, target, refusal);
    if (int error = resolved != 0 ? resolved : FileSystem().Rename(workFileName, target); error != 0) {
        if (!CopyFileBytes(workFileName, fileName)) {
            Show(FailureWriting);
            return false;
        }
        RemoveTemporaryFile(workFileName);
    } else {
        ForgetTemporaryFile(workFileName);
    }
    workFileName = fileName;
    return true;
}
