// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/WaveFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/Services.h"
#include "wavefile/WaveFileDetail.h"

using namespace wavefile_detail;

// Construction ---------------------------------------------------------------

CWaveFile::CWaveFile(const std::string& name, WaveFileMode fileMode, bool tempCopy, const std::string& directory)
    : mode(fileMode), useTempCopy(tempCopy ? 1 : 0), tempDirectory(ResolveTempDirectory(directory)), fileName(name)
{
    ClearWaveFileFailure();
    CWaitCursor waitCursor;
    if (mode == WaveFileMode::MemoryMode) {
        if (!Load())
            failed = 1;
    } else if (mode == WaveFileMode::FileMode) {
        if (useTempCopy) {
            MakeTempFileName(workFileName);
            CopyFileBytes(fileName, workFileName);
        } else {
            workFileName = fileName;
        }
        if (!OpenWorkFile())
            failed = 1;
    }
    dataEnd = frameCount;
}

CWaveFile::CWaveFile(std::uint32_t frames, CSampleFormat sampleFormat, const std::string& directory)
    : CSampleBuffer(frames, sampleFormat), untitled(1), createdNew(1),
      tempDirectory(ResolveTempDirectory(directory))
{
    dataEnd = 0;
}

CWaveFile::CWaveFile(CSampleFormat sampleFormat, bool tempCopy, const std::string& directory)
    : CSampleBuffer(0, sampleFormat), untitled(1), mode(WaveFileMode::FileMode), createdNew(1),
      useTempCopy(tempCopy ? 1 : 0), tempDirectory(ResolveTempDirectory(directory))
{
    ClearWaveFileFailure();
    if (!MakeTempFileName(workFileName)) {
        // No file to create: the failure is the temporary file's, recorded.
        Show(FileOpenFail);
        failed = 1;
        return;
    }
    CreateWorkFile();
}

CWaveFile::~CWaveFile()
{
    if (mode != WaveFileMode::FileMode)
        return;
    bool temporary = useTempCopy || untitled;
    if (fileHandle.IsOpen()) {
        // A file left behind is a valid WAVE file, whether saved or not.
        if (!temporary)
            WritePendingSizes();
        if (fileHandle.Close() != 0) {
            RecordError("close", workFileName, fileHandle.Error());
            Show(FailureWriting);
            if (temporary)
                RemoveTemporaryFile(workFileName);
        } else if (temporary) {
            if (int error = RemoveTemporaryFile(workFileName); error != 0) {
                RecordError("remove temporary file", workFileName, error);
                Show(FailureDeletingTemp);
            }
        }
    } else if (temporary && !workFileName.empty()) {
        // A temporary file that could not be opened, or whose save failed
        // before it had a name: nobody else will ever remove it.
        RemoveTemporaryFile(workFileName);
    }
}

void CWaveFile::SetFileName(const std::string& name)
{
    fileName = name;
    untitled = 0;
}

bool CWaveFile::MakeTempFileName(std::string& name) const
{
    name = MakeTemporaryFile(tempDirectory, "wav");
    return !name.empty();
}

// The format chunk -------------------------------------------------------------

int CWaveFile::ReadFormatChunk(const RiffChunk& fmtChunk)
{
    if (fmtChunk.size < MinFormatBytes) {
        RecordReason(WaveFileReason::NotWave, "fmt chunk shorter than 14 bytes", OpenName());
        Show(InvalidWaveFile);
        return 0;
    }
    // The whole chunk must be in the file; only its first bytes are needed,
    // so nothing is allocated for the rest.
    std::int64_t available = fileHandle.Length() - fileHandle.Tell();
    if (fmtChunk.size > available) {
        RecordReason(WaveFileReason::Truncated, "fmt chunk", OpenName());
        return 0;
    }
    std::uint8_t bytes[FormatBytes] = {};
    std::uint32_t wanted = std::min(fmtChunk.size, FormatBytes);
    if (fileHandle.Read(bytes, wanted) != wanted) {
        RecordError("read fmt chunk", fileName, fileHandle.Error());
        return 0;
    }
    std::uint16_t channels = GetUInt16(bytes + 2);
    std::uint32_t rate = GetUInt32(bytes + 4);
    std::uint16_t blockAlign = GetUInt16(bytes + 12);
    if (channels == 0 || blockAlign == 0) {
        RecordReason(WaveFileReason::NotWave, "fmt chunk without channels or block align", OpenName());
        Show(InvalidWaveFile);
        return 0;
    }
    format.Set(static_cast<std::int32_t>(rate), channels, static_cast<std::uint16_t>(blockAlign / channels));
    return 1;
}

bool CWaveFile::FindFormat(RiffChunk& riff, RiffChunk& fmt)
{
    riff = RiffChunk{};
    riff.formType = WaveId;
    fmt = RiffChunk{};
    fmt.id = FormatId;
    if (fileHandle.Descend(riff, nullptr, RiffFind::Riff) != 0) {
        RecordReason(WaveFileReason::NotWave, "no RIFF WAVE chunk", OpenName());
        Show(InvalidWaveFile);
        return false;
    }
    if (fileHandle.Descend(fmt, &riff, RiffFind::Chunk) != 0) {
        RecordReason(WaveFileReason::NotWave, "no fmt chunk", OpenName());
        Show(InvalidWaveFile);
        return false;
    }
    if (!ReadFormatChunk(fmt))
        return false;
    fileHandle.Ascend(fmt);
    return true;
}

bool CWaveFile::WriteFormatBytes()
{
    std::uint8_t bytes[FormatBytes];
    // Unsigned arithmetic: a rate read from a file may be any 32-bit value.
    std::uint32_t blockAlign = std::uint32_t{format.bytesPerSample} * format.channels;
    PutUInt16(bytes, PcmTag);
    PutUInt16(bytes + 2, format.channels);
    PutUInt32(bytes + 4, static_cast<std::uint32_t>(format.sampleRate));
    PutUInt32(bytes + 8, blockAlign * static_cast<std::uint32_t>(format.sampleRate));
    PutUInt16(bytes + 12, static_cast<std::uint16_t>(blockAlign));
    PutUInt16(bytes + 14, static_cast<std::uint16_t>(format.bitsPerSample));
    return fileHandle.Write(bytes, FormatBytes) == FormatBytes;
}

// Memory mode ------------------------------------------------------------------

int CWaveFile::Load()
{
    if (mode != WaveFileMode::MemoryMode)
        return 0;
    ClearWaveFileFailure();
    if (!fileHandle.Open(fileName, RiffOpenMode::Read)) {
        RecordError("open", fileName, fileHandle.Error());
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
    auto failEmpty = [this, &fail](const char* message) {
        block.Free();
        byteSize = frameCount = position = dataEnd = 0;
        return fail(message);
    };

    ReadCalibration();
    RiffChunk riff{};
    RiffChunk fmt{};
    if (!FindFormat(riff, fmt))
        return fail(nullptr);
    RiffChunk data{};
    data.id = DataId;
    if (fileHandle.Descend(data, &riff, RiffFind::Chunk) != 0) {
        RecordReason(WaveFileReason::NotWave, "no data chunk after the fmt chunk", fileName);
        return fail(InvalidWaveFile);
    }
    if (data.size == 0) {
        RecordReason(WaveFileReason::NotWave, "empty data chunk", fileName);
        return fail(nullptr);
    }
    // A stated size beyond the end of the file can never be read whole;
    // refuse it before allocating anything for it.
    if (data.size > fileHandle.Length() - fileHandle.Tell()) {
        RecordReason(WaveFileReason::Truncated, "data chunk", fileName);
        return failEmpty(nullptr);
    }
    if (!Resize(BytesToFrames(data.size))) {
        RecordReason(WaveFileReason::OutOfMemory, "sample block", fileName);
        return failEmpty(WaveDataMemory);
    }
    AdviseLargeBlock(block.Data(), byteSize);
    if (byteSize > 0 && fileHandle.Read(block.Data(), byteSize) != byteSize) {
        RecordError("read data chunk", fileName, fileHandle.Error() != 0 ? fileHandle.Error() : EIO);
        return failEmpty(nullptr);
    }
    frameCount = BytesToFrames(byteSize);
    modified = 0;
    fileHandle.Close();
    return 1;
}

bool CWaveFile::WriteWholeFile(CRiffFile& file)
{
    RiffChunk riff{};
    riff.formType = WaveId;
    RiffChunk fmt{};
    fmt.id = FormatId;
    fmt.size = FormatBytes;
    RiffChunk data{};
    data.id = DataId;
    data.size = FramesToBytes(dataEnd);
    if (file.CreateChunk(riff, true) != 0 || file.CreateChunk(fmt, false) != 0 || !WriteFormatBytes() ||
        file.Ascend(fmt) != 0 || file.CreateChunk(data, false) != 0)
        return false;
    // In pieces: one huge write is several times slower than moderate ones.
    for (std::uint32_t done = 0; done < data.size;) {
        std::uint32_t piece = std::min(data.size - done, SaveChunkBytes);
        if (file.Write(block.Data() + done, piece) != piece)
            return false;
        done += piece;
    }
    if (file.Ascend(data) != 0 || file.Ascend(riff) != 0)
        return false;
    WriteCalibration();
    return true;
}

int CWaveFile::Save()
{
    ClearWaveFileFailure();
    switch (mode) {
    case WaveFileMode::MemoryMode:
        return SaveMemory();
    case WaveFileMode::FileMode:
        return SaveFile();
    }
    return 0;
}

int CWaveFile::Read(std::uint8_t* destination, std::uint32_t byteCount)
{
    if (mode != WaveFileMode::FileMode)
        return CSampleBuffer::Read(destination, byteCount);
    if (!fileHandle.IsOpen() || destination == nullptr || frameCount == 0 || position >= frameCount - 1u)
        return 0;
    // Bytes past the data chunk are not samples: they read as silence. The
    // bound is taken from the file offset, which moves by bytes, not from the
    // position, which moves by whole frames only.
    std::int64_t at = fileHandle.Tell() - std::int64_t{dataOffset};
    std::uint64_t available = at >= 0 && static_cast<std::uint64_t>(at) < byteSize ? byteSize - static_cast<std::uint64_t>(at) : 0;
    auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, byteCount));
    std::uint32_t n = wanted > 0 ? StreamRead(destination, wanted) : 0;
    position += BytesToFrames(n);
    if (n < byteCount) {
        std::memset(destination + n, 0, byteCount - n);
        // Keep the file offset on the position, so a later write lands there.
        Seek(frameCount - 1u);
    }
    return n > 0 ? 1 : 0;
}

int CWaveFile::Write(const std::uint8_t* source, std::uint32_t byteCount)
{
    if (mode != WaveFileMode::FileMode)
        return CSampleBuffer::Write(source, byteCount);
    if (!fileHandle.IsOpen() || source == nullptr || byteCount == 0)
        return 0;
    if (!StreamWrite(source, byteCount))
        return 0;
    position += BytesToFrames(byteCount);
    if (position > frameCount) {
        frameCount = position;
        byteSize = FramesToBytes(position);
    }
    if (useTempCopy)
        modified = 1;
    dataEnd = std::max(dataEnd, position);
    return 1;
}

void CWaveFile::Seek(std::uint32_t frame)
{
    if (mode != WaveFileMode::FileMode)
        return;
    if (fileHandle.IsOpen() && fileHandle.Seek(std::int64_t{dataOffset} + static_cast<std::int64_t>(FrameOffset(frame)), SEEK_SET) < 0)
        failed = 1;
    position = frame;
}

// Calibration --------------------------------------------------------------------

void CWaveFile::SetCalibration(const CalibrationData& block)
{
    calibration = block;
    hasCalibration = 1;
}

void CWaveFile::ReadCalibration()
{
    if (!fileHandle.IsOpen())
        return;
    RiffChunk chunk{};
    chunk.id = CalibrationId;
    if (fileHandle.Descend(chunk, nullptr, RiffFind::Chunk) == 0) {
        // 1020 bytes whatever the header states: the block has one size.
        CalibrationData read{};
        bool arrived = fileHandle.Read(&read, CalibrationBytes) == CalibrationBytes;
        bool left = fileHandle.Ascend(chunk) == 0;
        if (arrived)
            calibration = read;
        hasCalibration = arrived && left ? 1 : 0;
    }
    fileHandle.Seek(0, SEEK_SET);
}

void CWaveFile::WriteCalibration()
{
    if (!fileHandle.IsOpen() || !hasCalibration)
        return;
    RiffChunk chunk{};
    chunk.id = CalibrationId;
    chunk.size = CalibrationBytes;
    if (fileHandle.CreateChunk(chunk, false) != 0) {
        Show(CalibrationCreateFail);
        hasCalibration = 0;
        return;
    }
    if (fileHandle.Write(&calibration, CalibrationBytes) != CalibrationBytes) {
        Show(CalibrationWriteFail);
        hasCalibration = 0;
        return;
    }
    if (fileHandle.Ascend(chunk) != 0)
        hasCalibration = 0;
}

void CWaveFile::AppendCalibration(const std::string& path)
{
    if (path.empty() || !hasCalibration)
        return;
    std::unique_ptr<IFile> file;
    int error = FileSystem().Open(path, FileAccess::ReadWrite, file);
    std::int64_t end = error == 0 ? file->Size() : 0;
    if (error == 0 && end < 0)
        error = static_cast<int>(-end);
    std::uint8_t chunk[8 + CalibrationBytes];
    PutUInt32(chunk, CalibrationId);
    PutUInt32(chunk + 4, CalibrationBytes);
    std::memcpy(chunk + 8, &calibration, CalibrationBytes);
    if (error == 0)
        error = file->WriteAt(chunk, sizeof chunk, end);
    if (file) {
        int closed = file->Close();
        error = error != 0 ? error : closed;
    }
    // Silent, as the calibration never fails a save; the reason is kept.
    if (error != 0)
        RecordError("append calibration chunk", path, error);
}
