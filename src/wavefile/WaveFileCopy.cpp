// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/WaveFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "wavefile/FileSystem.h"
#include "wavefile/WaveFileDetail.h"

using namespace wavefile_detail;

// Copies ------------------------------------------------------------------------

int CWaveFile::CopyFileBytes(const std::string& sourceName, const std::string& destinationName)
{
    if (sourceName.empty() || destinationName.empty()) {
        RecordReason(WaveFileReason::NotFound, "copy without a file name", sourceName);
        return 0;
    }
    std::unique_ptr<IFile> source;
    if (int error = FileSystem().Open(sourceName, FileAccess::Read, source); error != 0) {
        RecordError("open", sourceName, error);
        Show(std::strerror(error));
        return 0;
    }
    // Truncating the destination would destroy the source when they are one file.
    FileInfo from;
    FileInfo to;
    if (FileSystem().Inspect(sourceName, from) == 0 && FileSystem().Inspect(destinationName, to) == 0 &&
        to.kind != FileKind::Absent && from.device == to.device && from.inode == to.inode)
        return 1;
    std::unique_ptr<IFile> destination;
    if (int error = FileSystem().Open(destinationName, FileAccess::Create, destination); error != 0) {
        RecordError("create", destinationName, error);
        Show(std::strerror(error));
        return 0;
    }
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[CopyBlockBytes]());
    if (!buffer) {
        RecordReason(WaveFileReason::OutOfMemory, "copy buffer", sourceName);
        return 0;
    }
    int error = 0;
    const char* failedStep = nullptr;
    {
        CWaitCursor waitCursor;
        for (std::int64_t at = 0;; ) {
            std::int64_t got = source->ReadAt(buffer.get(), CopyBlockBytes, at);
            if (got == 0)
                break;
            if (got < 0) {
                error = static_cast<int>(-got);
                failedStep = "read";
                break;
            }
            if ((error = destination->WriteAt(buffer.get(), static_cast<std::size_t>(got), at)) != 0) {
                failedStep = "write";
                break;
            }
            at += got;
        }
    }
    source->Close();
    if (int closed = destination->Close(); closed != 0 && error == 0) {
        error = closed;
        failedStep = "close";
    }
    if (error != 0) {
        RecordError(failedStep, failedStep[0] == 'r' ? sourceName : destinationName, error);
        Show(CheckTempVariable);
        return 0;
    }
    return 1;
}

void CWaveFile::ReadSamplesAt(std::uint32_t frame, std::uint8_t* destination, std::uint32_t byteCount)
{
    std::uint64_t at = FrameOffset(frame);
    std::uint64_t available = at < byteSize ? byteSize - at : 0;
    auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, byteCount));
    std::uint32_t n = 0;
    if (wanted > 0 && fileHandle.Seek(std::int64_t{dataOffset} + static_cast<std::int64_t>(at), SEEK_SET) >= 0)
        n = StreamRead(destination, wanted);
    std::memset(destination + n, 0, byteCount - n);
}

int CWaveFile::CopyWaveFile(const std::string& sourceName, const std::string& destinationName, std::uint32_t frames)
{
    auto source = std::make_unique<CWaveFile>(sourceName, WaveFileMode::FileMode, false, tempDirectory);
    auto target = std::make_unique<CWaveFile>(source->GetFormat(), false, tempDirectory);
    if (source->IsFailed() || target->IsFailed())
        return 0; // the failing side recorded why
    target->SetFileName(destinationName);
    if (hasCalibration)
        target->SetCalibration(calibration);
    // The copy's length is known: set its room aside at once.
    std::uint64_t bytes = source->FrameOffset(frames);
    std::uint64_t length = target->dataOffset + bytes + (bytes & 1u) + (hasCalibration ? 8 + CalibrationBytes : 0);
    if (length <= static_cast<std::uint64_t>(MaxRiffOffset))
        target->fileHandle.Reserve(static_cast<std::int64_t>(length));

    CWaitCursor waitCursor;
    int result = 1;
    const std::uint32_t frameBytes = source->FramesToBytes(1);
    std::vector<std::uint8_t> samples(std::size_t{CopyBlockFrames} * frameBytes);
    for (std::uint32_t p = 0; p < frames;) {
        std::uint32_t count = std::min(CopyBlockFrames, frames - p);
        auto bytes = count * frameBytes;
        // Read straight from the data, so the last frame is carried too.
        source->ReadSamplesAt(p, samples.data(), bytes);
        target->SetPosition(p);
        result = target->Write(samples.data(), bytes);
        p += count;
    }
    source->Save();
    // A copy that never reached its name did not succeed, and its temporary
    // file is of no use to anyone: the source is still there.
    if (!target->Save()) {
        result = 0;
        if (target->fileHandle.IsOpen())
            target->fileHandle.Close();
        RemoveTemporaryFile(target->workFileName);
    }
    return result;
}
