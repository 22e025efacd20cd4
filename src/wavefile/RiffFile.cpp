// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/RiffFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/LittleEndian.h"

namespace {

constexpr std::size_t BufferBytes = 64 * 1024;
// Transfers this large gain nothing from the buffer but an extra copy: they
// go straight between the caller's memory and the file.
constexpr std::size_t DirectBytes = 16 * 1024;
constexpr std::int64_t ChunkHeaderBytes = 8;
constexpr std::int64_t FormTypeBytes = 4;
// Chunk offsets are 32-bit in the file format.
constexpr std::int64_t MaxRiffOffset = std::numeric_limits<std::uint32_t>::max();

} // namespace

CRiffFile::~CRiffFile()
{
    Close();
}

bool CRiffFile::Open(const std::string& name, RiffOpenMode mode)
{
    Close();
    FileAccess access = mode == RiffOpenMode::Read        ? FileAccess::Read
                        : mode == RiffOpenMode::ReadWrite ? FileAccess::ReadWrite
                                                          : FileAccess::Create;
    std::unique_ptr<IFile> opened;
    error = FileSystem().Open(name, access, opened);
    if (error != 0)
        return false;
    return Attach(std::move(opened), mode != RiffOpenMode::Read);
}

bool CRiffFile::Attach(std::unique_ptr<IFile> opened, bool canWrite)
{
    Close();
    if (!opened) {
        error = EBADF;
        return false;
    }
    std::int64_t size = opened->Size();
    if (size < 0) {
        error = static_cast<int>(-size);
        return false;
    }
    file = std::move(opened);
    writable = canWrite;
    offset = 0;
    length = size;
    buffer.resize(BufferBytes);
    bufferStart = 0;
    bufferLength = 0;
    bufferDirty = false;
    writeFailed = false;
    error = 0;
    return true;
}

int CRiffFile::Flush()
{
    if (!file)
        return Fail(EBADF);
    int result = 0;
    if (bufferDirty) {
        result = file->WriteAt(buffer.data(), bufferLength, bufferStart);
        if (result != 0)
            WriteFailed(result);
        bufferDirty = false;
        bufferLength = 0;
    }
    return result == 0 ? 0 : -1;
}

int CRiffFile::Fail(int code)
{
    error = code;
    return -1;
}

void CRiffFile::WriteFailed(int code)
{
    writeFailed = true;
    error = code;
    // What the file holds now, not what the failed write would have made it.
    std::int64_t size = file->Size();
    if (size >= 0 && file->Kind() == FileKind::Regular)
        length = size;
}

int CRiffFile::Sync()
{
    if (!file || Flush() != 0)
        return -1;
    int result = file->Sync();
    return result == 0 ? 0 : Fail(result);
}

int CRiffFile::Close()
{
    if (!file)
        return 0;
    // Any write that failed since opening makes the close fail.
    int result = Flush() == 0 && !writeFailed ? 0 : -1;
    int closed = file->Close();
    if (closed != 0) {
        error = closed;
        result = -1;
    }
    file.reset();
    buffer.clear();
    buffer.shrink_to_fit();
    bufferLength = 0;
    return result;
}

std::unique_ptr<IFile> CRiffFile::Detach()
{
    if (!file || Flush() != 0 || writeFailed)
        return {};
    buffer.clear();
    buffer.shrink_to_fit();
    bufferLength = 0;
    return std::move(file);
}

std::int64_t CRiffFile::Read(void* destination, std::uint32_t byteCount)
{
    if (!file || (destination == nullptr && byteCount > 0))
        return Fail(EBADF);
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
            std::int64_t n = file->ReadAt(out + done, wanted, offset);
            if (n < 0)
                return Fail(static_cast<int>(-n));
            done += static_cast<std::uint32_t>(n);
            offset += n;
            break;
        }
        std::int64_t n = file->ReadAt(buffer.data(), buffer.size(), offset);
        if (n < 0)
            return Fail(static_cast<int>(-n));
        bufferStart = offset;
        bufferLength = static_cast<std::size_t>(n);
        if (n == 0)
            break;
    }
    return done;
}

std::int64_t CRiffFile::Write(const void* source, std::uint32_t byteCount)
{
    if (!file || !writable || (source == nullptr && byteCount > 0))
        return Fail(EBADF);
    const auto* in = static_cast<const std::uint8_t*>(source);
    if (!bufferDirty)
        bufferLength = 0; // a read cache would go stale
    if (byteCount >= DirectBytes) {
        if (Flush() != 0)
            return -1;
        int result = file->WriteAt(in, byteCount, offset);
        if (result != 0) {
            WriteFailed(result);
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
    if (!file)
        return Fail(EBADF);
    std::int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? offset : origin == SEEK_END ? length : -1;
    if (base < 0 || to > std::numeric_limits<std::int64_t>::max() - base || base + to < 0)
        return Fail(EINVAL);
    offset = base + to;
    return offset;
}

int CRiffFile::Truncate(std::int64_t bytes)
{
    if (!file || !writable || bytes < 0)
        return Fail(EBADF);
    if (Flush() != 0)
        return -1;
    int result = file->Truncate(bytes);
    if (result != 0)
        return Fail(result);
    bufferLength = 0;
    length = bytes;
    return 0;
}

int CRiffFile::Reserve(std::int64_t bytes)
{
    if (!file || !writable || bytes <= 0)
        return -1;
    // Only advice: a refusal is not remembered as the file's error.
    return file->Reserve(bytes) == 0 ? 0 : -1;
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
    if (!file)
        return Fail(EBADF);
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
    if (!file || !writable)
        return Fail(EBADF);
    if (offset + ChunkHeaderBytes > MaxRiffOffset)
        return Fail(EFBIG);
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
    if (!file)
        return Fail(EBADF);
    if (chunk.flags & RiffChunkDirty) {
        std::int64_t end = offset;
        if (end < chunk.dataOffset || end - chunk.dataOffset > MaxRiffOffset)
            return Fail(EFBIG);
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
