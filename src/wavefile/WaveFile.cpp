#include "wavefile/WaveFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "platform/Services.h"

namespace {

constexpr std::uint32_t WaveId = MakeFourCC('W', 'A', 'V', 'E');
constexpr std::uint32_t FormatId = MakeFourCC('f', 'm', 't', ' ');
constexpr std::uint32_t DataId = MakeFourCC('d', 'a', 't', 'a');
// The calibration chunk's identifier is the number 101, not four letters.
constexpr std::uint32_t CalibrationId = 101;
constexpr std::uint32_t CalibrationBytes = sizeof(CalibrationData);
constexpr std::uint32_t FormatBytes = 16;
// Channels, rate and block align all lie within the first 14 bytes.
constexpr std::uint32_t MinFormatBytes = 14;
constexpr std::uint16_t PcmTag = 1;
constexpr std::uint32_t CopyBlockBytes = 8192;
constexpr std::uint32_t CopyBlockFrames = 4096;
constexpr std::uint32_t SaveChunkBytes = 1u << 20;
constexpr std::int64_t MaxRiffOffset = std::numeric_limits<std::uint32_t>::max();

const char* const FileOpenFail = "IDS_FILE_OPEN_FAIL";
const char* const InvalidWaveFile = "IDS_INVALID_WAVE_FILE";
const char* const WaveDataMemory = "IDS_WAVE_DATA_MEMORY";
const char* const FailureWriting = "IDS_FAILURE_WRITING_WAVE_FILE";
const char* const FailureDeletingTemp = "IDS_FAILURE_DELETING_TEMP_FILE";
const char* const CheckTempVariable = "IDS_CHECK_TEMP_VARIABLE";
const char* const CalibrationCreateFail = "Error on mmioCreateChunk for Calibration data";
const char* const CalibrationWriteFail = "Error writing Calibration data to wave file";

void Show(const std::string& text)
{
    Services().ShowMessage(text, MessageIcon::None);
}

void PutUInt16(std::uint8_t* bytes, std::uint16_t value)
{
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutUInt32(std::uint8_t* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t GetUInt16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t GetUInt32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::string ResolveTempDirectory(const std::string& given)
{
    if (!given.empty())
        return given;
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0')
        return fromEnvironment;
    return "/tmp";
}

// A new unique empty file from a mkstemp template; empty when none was made.
std::string MakeUniqueFile(const std::string& directory, const char* prefix)
{
    std::string pattern = directory;
    if (pattern.empty() || pattern.back() != '/')
        pattern += '/';
    pattern += prefix;
    pattern += "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return {};
    ::close(fd);
    return name.data();
}

std::string DirectoryOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// A block about to be filled whole from a file: huge pages cut the page
// faults of the fill several hundredfold. Only advice; ignored where unsupported.
void AdviseLargeBlock(std::uint8_t* data, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t HugePage = 2u << 20;
    auto first = (reinterpret_cast<std::uintptr_t>(data) + HugePage - 1) & ~(HugePage - 1);
    auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(HugePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

mode_t NewFileMode()
{
    // umask can only be read by setting it; put it straight back.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

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

// File mode -------------------------------------------------------------------

int CWaveFile::OpenWorkFile()
{
    if (mode != WaveFileMode::FileMode)
        return 0;
    if (!fileHandle.Open(workFileName, RiffOpenMode::ReadWrite)) {
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
    ReadCalibration();
    riffChunk = RiffChunk{};
    riffChunk.formType = WaveId;
    dataChunk = RiffChunk{};
    dataChunk.id = FormatId;
    if (fileHandle.Descend(riffChunk, nullptr, RiffFind::Riff) != 0 ||
        fileHandle.Descend(dataChunk, &riffChunk, RiffFind::Chunk) != 0)
        return fail(InvalidWaveFile);
    if (!ReadFormatChunk(dataChunk))
        return fail(nullptr);
    fileHandle.Ascend(dataChunk);
    dataChunk = RiffChunk{};
    dataChunk.id = DataId;
    if (fileHandle.Descend(dataChunk, &riffChunk, RiffFind::Chunk) != 0)
        return fail(InvalidWaveFile);
    // Samples the file does not hold are not counted: a stated size past the
    // end of the file shrinks to what is there.
    std::int64_t held = std::max<std::int64_t>(fileHandle.Length() - fileHandle.Tell(), 0);
    dataChunk.size = static_cast<std::uint32_t>(std::min<std::int64_t>(dataChunk.size, held));
    byteSize = dataChunk.size;
    if (byteSize == 0)
        return fail(nullptr);
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
        Show(FileOpenFail);
        failed = 1;
        return 0;
    }
    trailerDropped = false;
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
    if (end + 1 > MaxRiffOffset)
        return 0;
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
                failed = 1;
                return 0;
            }
            trailerDropped = true;
        }
    }
    fileHandle.Seek(at, SEEK_SET);
    if (fileHandle.Write(source, byteCount) != byteCount) {
        failed = 1;
        return 0;
    }
    if (!grows)
        return 1;
    // The data chunk now ends with this write: keep its size, its pad byte
    // and the RIFF size true, then carry on right after the written bytes.
    auto size = static_cast<std::uint32_t>(end - dataStart);
    std::int64_t riffEnd = end + (size & 1u);
    auto riffSize = static_cast<std::uint32_t>(std::max<std::int64_t>(riffEnd - riffChunk.dataOffset, riffChunk.size));
    std::uint8_t field[4];
    const std::uint8_t pad = 0;
    bool ok = (size & 1u) == 0 || fileHandle.Write(&pad, 1) == 1;
    PutUInt32(field, size);
    ok = ok && fileHandle.Seek(dataStart - 4, SEEK_SET) >= 0 && fileHandle.Write(field, 4) == 4;
    PutUInt32(field, riffSize);
    ok = ok && fileHandle.Seek(std::int64_t{riffChunk.dataOffset} - 4, SEEK_SET) >= 0 && fileHandle.Write(field, 4) == 4;
    fileHandle.Seek(end, SEEK_SET);
    if (!ok) {
        failed = 1;
        return 0;
    }
    dataChunk.size = size;
    riffChunk.size = riffSize;
    return 1;
}

bool CWaveFile::TargetIsWorkFile() const
{
    if (workFileName == fileName)
        return true;
    // One file under two spellings (a case-insensitive file system, a link,
    // "./"): compare what the names point at, not the letters.
    struct stat work {};
    struct stat target {};
    return ::stat(workFileName.c_str(), &work) == 0 && ::stat(fileName.c_str(), &target) == 0 &&
           work.st_dev == target.st_dev && work.st_ino == target.st_ino;
}

int CWaveFile::SaveFile()
{
    if (!fileHandle.IsOpen())
        return 1;
    // Without a target name there is nowhere to put the file.
    if (untitled)
        return 0;
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
        fileHandle.Close();
        failed = 1;
        return 0;
    }
    if (fileHandle.Close() != 0) {
        Show(FailureWriting);
        return 0;
    }
    AppendCalibration(workFileName);
    if (useTempCopy) {
        CopyWaveFile(workFileName, fileName, dataEnd);
    } else if (createdNew) {
        if (CRiffFile::Rename(workFileName, fileName) != 0) {
            if (!CopyFileBytes(workFileName, fileName)) {
                Show(FailureWriting);
                return 0;
            }
            std::remove(workFileName.c_str());
        }
        workFileName = fileName;
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

// Copies ------------------------------------------------------------------------

int CWaveFile::CopyFileBytes(const std::string& sourceName, const std::string& destinationName)
{
    if (sourceName.empty() || destinationName.empty())
        return 0;
    int source = ::open(sourceName.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) {
        Show(std::strerror(errno));
        return 0;
    }
    // Truncating the destination would destroy the source when they are one file.
    struct stat from {};
    struct stat to {};
    if (::fstat(source, &from) == 0 && ::stat(destinationName.c_str(), &to) == 0 && from.st_dev == to.st_dev &&
        from.st_ino == to.st_ino) {
        ::close(source);
        return 1;
    }
    int destination = ::open(destinationName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (destination < 0) {
        Show(std::strerror(errno));
        ::close(source);
        return 0;
    }
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[CopyBlockBytes]());
    if (!buffer) {
        ::close(source);
        ::close(destination);
        return 0;
    }
    bool ok = true;
    {
        CWaitCursor waitCursor;
        for (;;) {
            ssize_t got = ::read(source, buffer.get(), CopyBlockBytes);
            if (got < 0 && errno == EINTR)
                continue;
            if (got == 0)
                break;
            ssize_t put = 0;
            while (got > 0 && put < got) {
                ssize_t n = ::write(destination, buffer.get() + put, static_cast<std::size_t>(got - put));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                put += n;
            }
            if (got < 0 || put != got) {
                Show(CheckTempVariable);
                ok = false;
                break;
            }
        }
    }
    ::close(source);
    if (::close(destination) != 0 && ok) {
        Show(CheckTempVariable);
        ok = false;
    }
    return ok ? 1 : 0;
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
        return 0;
    target->SetFileName(destinationName);
    if (hasCalibration)
        target->SetCalibration(calibration);

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
    // A copy that never reached its name did not succeed.
    if (!target->Save())
        result = 0;
    return result;
}
