#include "wavefile/RiffFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t BufferBytes = 64 * 1024;
// Transfers this large gain nothing from the buffer but an extra copy: they
// go straight between the caller's memory and the file.
constexpr std::size_t DirectBytes = 16 * 1024;
constexpr std::int64_t ChunkHeaderBytes = 8;
constexpr std::int64_t FormTypeBytes = 4;
// Chunk offsets are 32-bit in the file format.
constexpr std::int64_t MaxRiffOffset = std::numeric_limits<std::uint32_t>::max();

std::uint32_t GetUInt32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void PutUInt32(std::uint8_t* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The whole count unless the file ends or fails first; -1 on failure.
std::int64_t PreadAll(int fd, std::uint8_t* destination, std::size_t count, std::int64_t at)
{
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd, destination + done, count - done, static_cast<off_t>(at + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool PwriteAll(int fd, const std::uint8_t* source, std::size_t count, std::int64_t at)
{
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd, source + done, count - done, static_cast<off_t>(at + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

CRiffFile::~CRiffFile()
{
    Close();
}

bool CRiffFile::Open(const std::string& name, RiffOpenMode mode)
{
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case RiffOpenMode::Read:
        flags |= O_RDONLY;
        break;
    case RiffOpenMode::ReadWrite:
        flags |= O_RDWR;
        break;
    case RiffOpenMode::Create:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    if (name.empty())
        return false;
    int opened = ::open(name.c_str(), flags, 0666);
    if (opened < 0)
        return false;
    struct stat info {};
    if (::fstat(opened, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(opened);
        return false;
    }
    fd = opened;
    writable = mode != RiffOpenMode::Read;
    offset = 0;
    length = S_ISREG(info.st_mode) ? info.st_size : 0;
    buffer.resize(BufferBytes);
    bufferStart = 0;
    bufferLength = 0;
    bufferDirty = false;
    writeFailed = false;
    return true;
}

int CRiffFile::Flush()
{
    if (fd < 0)
        return -1;
    bool ok = true;
    if (bufferDirty) {
        ok = PwriteAll(fd, buffer.data(), bufferLength, bufferStart);
        if (!ok)
            WriteFailed();
        bufferDirty = false;
        bufferLength = 0;
    }
    return ok ? 0 : -1;
}

void CRiffFile::WriteFailed()
{
    writeFailed = true;
    // What the file holds now, not what the failed write would have made it.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        length = info.st_size;
}

int CRiffFile::Close()
{
    if (fd < 0)
        return 0;
    // Any write that failed since opening makes the close fail.
    int result = Flush() == 0 && !writeFailed ? 0 : -1;
    if (::close(fd) != 0)
        result = -1;
    fd = -1;
    buffer.clear();
    buffer.shrink_to_fit();
    bufferLength = 0;
    return result;
}

std::int64_t CRiffFile::Read(void* destination, std::uint32_t byteCount)
{
    if (fd < 0 || (destination == nullptr && byteCount > 0))
        return -1;
    if (bufferDirty && Flush() != 0)
        return -1;
    auto* out = static_cast<std::uint8_t*>(destination);
    std::uint32_t done = 0;
    while (done < byteCount) {
        std::uint32_t wanted = byteCount - done;
        if (offset >= bufferStart && offset < bufferStart + static_cast<std::int64_t>(bufferLength)) {
            auto inBuffer = static_cast<std::size_t>(bufferStart + static_cast<std::int64_t>(bufferLength) - offset);
            std::size_t n = std::min<std::size_t>(inBuffer, wanted);
            std::memcpy(out + done, buffer.data() + (offset - bufferStart), n);
            done += static_cast<std::uint32_t>(n);
            offset += static_cast<std::int64_t>(n);
            continue;
        }
        if (wanted >= DirectBytes) {
            std::int64_t n = PreadAll(fd, out + done, wanted, offset);
            if (n < 0)
                return -1;
            done += static_cast<std::uint32_t>(n);
            offset += n;
            break;
        }
        std::int64_t n = PreadAll(fd, buffer.data(), buffer.size(), offset);
        if (n < 0)
            return -1;
        bufferStart = offset;
        bufferLength = static_cast<std::size_t>(n);
        if (n == 0)
            break;
    }
    return done;
}

std::int64_t CRiffFile::Write(const void* source, std::uint32_t byteCount)
{
    if (fd < 0 || !writable || (source == nullptr && byteCount > 0))
        return -1;
    const auto* in = static_cast<const std::uint8_t*>(source);
    if (!bufferDirty)
        bufferLength = 0; // a read cache would go stale
    if (byteCount >= DirectBytes) {
        if (Flush() != 0)
            return -1;
        if (!PwriteAll(fd, in, byteCount, offset)) {
            WriteFailed();
            return -1;
        }
        offset += byteCount;
        length = std::max(length, offset);
        return byteCount;
    }
    bool appends = bufferDirty && offset == bufferStart + static_cast<std::int64_t>(bufferLength);
    if (!appends || bufferLength + byteCount > buffer.size()) {
        if (Flush() != 0)
            return -1;
        bufferStart = offset;
        bufferLength = 0;
    }
    std::memcpy(buffer.data() + bufferLength, in, byteCount);
    bufferLength += byteCount;
    bufferDirty = bufferLength > 0;
    offset += byteCount;
    length = std::max(length, offset);
    return byteCount;
}

std::int64_t CRiffFile::Seek(std::int64_t to, int origin)
{
    if (fd < 0)
        return -1;
    std::int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? offset : origin == SEEK_END ? length : -1;
    if (base < 0 || to > std::numeric_limits<std::int64_t>::max() - base || base + to < 0)
        return -1;
    offset = base + to;
    return offset;
}

int CRiffFile::Truncate(std::int64_t bytes)
{
    if (fd < 0 || !writable || bytes < 0 || Flush() != 0)
        return -1;
    if (::ftruncate(fd, static_cast<off_t>(bytes)) != 0)
        return -1;
    bufferLength = 0;
    length = bytes;
    return 0;
}

int CRiffFile::Reserve(std::int64_t bytes)
{
    if (fd < 0 || !writable || bytes <= 0)
        return -1;
#ifdef FALLOC_FL_KEEP_SIZE
    // Blocks set aside in one piece spare the file system from allocating
    // them page by page as the data arrives and again when it is written back.
    return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) == 0 ? 0 : -1;
#else
    return -1;
#endif
}

bool CRiffFile::ReadAt(std::int64_t at, void* destination, std::uint32_t byteCount)
{
    offset = at;
    return Read(destination, byteCount) == byteCount;
}

bool CRiffFile::WriteUInt32At(std::int64_t at, std::uint32_t value)
{
    std::uint8_t bytes[4];
    PutUInt32(bytes, value);
    offset = at;
    return Write(bytes, 4) == 4;
}

int CRiffFile::Descend(RiffChunk& chunk, const RiffChunk* parent, RiffFind find)
{
    if (fd < 0)
        return -1;
    // The search ends at the parent's stated end or the file's, whichever
    // comes first: neither a parent's nor a chunk's size is trusted.
    std::int64_t end = length;
    if (parent != nullptr)
        end = std::min<std::int64_t>(end, std::int64_t{parent->dataOffset} + parent->size);
    std::int64_t start = offset;
    std::int64_t at = offset;
    while (at + ChunkHeaderBytes <= end && at + ChunkHeaderBytes <= MaxRiffOffset) {
        std::uint8_t header[12];
        if (!ReadAt(at, header, ChunkHeaderBytes))
            break;
        std::uint32_t id = GetUInt32(header);
        std::uint32_t size = GetUInt32(header + 4);
        bool found = false;
        if (find == RiffFind::Riff) {
            if (id == RiffId && at + ChunkHeaderBytes + FormTypeBytes <= end &&
                ReadAt(at + ChunkHeaderBytes, header + 8, FormTypeBytes))
                found = GetUInt32(header + 8) == chunk.formType;
        } else {
            found = id == chunk.id;
        }
        if (found) {
            chunk.id = id;
            chunk.size = size;
            chunk.dataOffset = static_cast<std::uint32_t>(at + ChunkHeaderBytes);
            chunk.flags = 0;
            offset = at + ChunkHeaderBytes + (find == RiffFind::Riff ? FormTypeBytes : 0);
            return 0;
        }
        at += ChunkHeaderBytes + std::int64_t{size} + (size & 1u);
    }
    offset = start;
    return -1;
}

int CRiffFile::CreateChunk(RiffChunk& chunk, bool riff)
{
    if (fd < 0 || !writable || offset + ChunkHeaderBytes > MaxRiffOffset)
        return -1;
    std::uint8_t header[12];
    PutUInt32(header, riff ? RiffId : chunk.id);
    PutUInt32(header + 4, chunk.size);
    PutUInt32(header + 8, chunk.formType);
    std::uint32_t count = riff ? 12 : 8;
    std::int64_t at = offset;
    if (Write(header, count) != count)
        return -1;
    if (riff)
        chunk.id = RiffId;
    chunk.dataOffset = static_cast<std::uint32_t>(at + ChunkHeaderBytes);
    chunk.flags |= RiffChunkDirty;
    return 0;
}

int CRiffFile::Ascend(RiffChunk& chunk)
{
    if (fd < 0)
        return -1;
    if (chunk.flags & RiffChunkDirty) {
        std::int64_t end = offset;
        if (end < chunk.dataOffset || end - chunk.dataOffset > MaxRiffOffset)
            return -1;
        auto size = static_cast<std::uint32_t>(end - chunk.dataOffset);
        if (size & 1u) {
            const std::uint8_t pad = 0;
            if (Write(&pad, 1) != 1)
                return -1;
        }
        if (!WriteUInt32At(std::int64_t{chunk.dataOffset} - 4, size))
            return -1;
        // The record stays dirty: leaving it again rewrites the size again.
        chunk.size = size;
    }
    offset = std::int64_t{chunk.dataOffset} + chunk.size + (chunk.size & 1u);
    return 0;
}

int CRiffFile::Rename(const std::string& from, const std::string& to)
{
    if (from.empty() || to.empty())
        return -1;
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : -1;
}
