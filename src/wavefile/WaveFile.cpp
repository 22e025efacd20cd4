#include "wavefile/WaveFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Services.h"
#include "wavefile/WaveFileDetail.h"

using namespace wavefile_detail;

// Construction ---------------------------------------------------------------

CWaveFile::CWaveFile(const std::string& name, WaveFileMode fileMode, bool tempCopy, const std::string& directory)
    : mode(fileMode), useTempCopy(tempCopy ? 1 : 0), tempDirectory(ResolveTempDirectory(directory)), fileName(name)
{
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
    MakeTempFileName(workFileName);
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
        if (fileHandle.Close() != 0)
            Show(FailureWriting);
        else if (temporary && std::remove(workFileName.c_str()) != 0)
            Show(FailureDeletingTemp);
    } else if (temporary && !workFileName.empty()) {
        // A temporary file that could not be opened, or whose save failed
        // before it had a name: nobody else will ever remove it.
        std::remove(workFileName.c_str());
    }
}

void CWaveFile::SetFileName(const std::string& name)
{
    fileName = name;
    untitled = 0;
}

bool CWaveFile::MakeTempFileName(std::string& name) const
{
    name = MakeUniqueFile(tempDirectory, "wav");
    return !name.empty();
}

// The format chunk -------------------------------------------------------------

int CWaveFile::ReadFormatChunk(const RiffChunk& fmtChunk)
{
    if (fmtChunk.size < MinFormatBytes) {
        Show(InvalidWaveFile);
        return 0;
    }
    // The whole chunk must be in the file; only its first bytes are needed,
    // so nothing is allocated for the rest.
    std::int64_t available = fileHandle.Length() - fileHandle.Tell();
    if (fmtChunk.size > available)
        return 0;
    std::uint8_t bytes[FormatBytes] = {};
    std::uint32_t wanted = std::min(fmtChunk.size, FormatBytes);
    if (fileHandle.Read(bytes, wanted) != wanted)
        return 0;
    std::uint16_t channels = GetUInt16(bytes + 2);
    std::uint32_t rate = GetUInt32(bytes + 4);
    std::uint16_t blockAlign = GetUInt16(bytes + 12);
    if (channels == 0 || blockAlign == 0) {
        Show(InvalidWaveFile);
        return 0;
    }
    format.Set(static_cast<std::int32_t>(rate), channels, static_cast<std::uint16_t>(blockAlign / channels));
    return 1;
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
    if (!fileHandle.Open(fileName, RiffOpenMode::Read)) {
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
    riff.formType = WaveId;
    RiffChunk chunk{};
    chunk.id = FormatId;
    if (fileHandle.Descend(riff, nullptr, RiffFind::Riff) != 0 || fileHandle.Descend(chunk, &riff, RiffFind::Chunk) != 0)
        return fail(InvalidWaveFile);
    if (!ReadFormatChunk(chunk))
        return fail(nullptr);
    fileHandle.Ascend(chunk);

    RiffChunk data{};
    data.id = DataId;
    if (fileHandle.Descend(data, &riff, RiffFind::Chunk) != 0)
        return fail(InvalidWaveFile);
    if (data.size == 0)
        return fail(nullptr);
    // A stated size beyond the end of the file can never be read whole;
    // refuse it before allocating anything for it.
    if (data.size > fileHandle.Length() - fileHandle.Tell())
        return failEmpty(nullptr);
    if (!Resize(BytesToFrames(data.size)))
        return failEmpty(WaveDataMemory);
    AdviseLargeBlock(block.Data(), byteSize);
    if (byteSize > 0 && fileHandle.Read(block.Data(), byteSize) != byteSize)
        return failEmpty(nullptr);
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

int CWaveFile::SaveMemory()
{
    if (untitled)
        return 0;
    // The file is written beside the target under a temporary name and
    // renamed over it only when complete, so a failed save never costs the
    // file that was there.
    std::string target = fileName;
    struct stat existing {};
    bool exists = ::stat(target.c_str(), &existing) == 0;
    bool direct = exists && !S_ISREG(existing.st_mode);
    if (exists && !direct) {
        if (::access(target.c_str(), W_OK) != 0) {
            Show(FileOpenFail);
            failed = 1;
            return 0;
        }
        // Save through a link into the file it names, as a plain write would.
        char resolved[PATH_MAX];
        if (::realpath(target.c_str(), resolved) != nullptr)
            target = resolved;
    }
    std::string writeName = target;
    if (!direct) {
        writeName = target.empty() ? std::string{} : MakeUniqueFile(DirectoryOf(target), ".wav");
        if (writeName.empty()) {
            Show(FileOpenFail);
            failed = 1;
            return 0;
        }
        ::chmod(writeName.c_str(), exists ? (existing.st_mode & 07777) : NewFileMode());
    }
    auto discard = [&]() {
        if (!direct)
            std::remove(writeName.c_str());
        failed = 1;
        return 0;
    };
    if (!fileHandle.Open(writeName, RiffOpenMode::Create)) {
        Show(FileOpenFail);
        return discard();
    }
    if (!direct) {
        // The whole length is known: set the room aside at once (on ext4
        // this roughly halves the time of a large save).
        std::uint64_t data = FrameOffset(dataEnd);
        std::uint64_t length = 44 + data + (data & 1u) + (hasCalibration ? 8 + CalibrationBytes : 0);
        fileHandle.Reserve(static_cast<std::int64_t>(length));
    }
    bool written = WriteWholeFile(fileHandle);
    if (fileHandle.Close() != 0 || !written)
        return discard();
    if (!direct && CRiffFile::Rename(writeName, target) != 0) {
        // The system refused the name itself (too long, a missing folder).
        Show(FileOpenFail);
        return discard();
    }
    modified = 0;
    untitled = 0;
    return 1;
}

int CWaveFile::Save()
{
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
    // Bytes past the data chunk are not samples: they read as silence.
    std::uint64_t at = FrameOffset(position);
    std::uint64_t available = at < byteSize ? byteSize - at : 0;
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
    std::FILE* file = std::fopen(path.c_str(), "ab+");
    if (file == nullptr)
        return;
    std::uint8_t header[8];
    PutUInt32(header, CalibrationId);
    PutUInt32(header + 4, CalibrationBytes);
    std::fseek(file, 0, SEEK_END);
    std::fwrite(header, 1, sizeof header, file);
    std::fwrite(&calibration, 1, CalibrationBytes, file);
    std::fclose(file);
}
