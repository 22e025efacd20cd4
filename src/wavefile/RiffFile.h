// SPDX-License-Identifier: GPL-3.0-or-later
// A small RIFF chunk reader and writer over a buffered file of the file
// system seam: open, descend into chunks, create chunks, ascend (fixing a
// created chunk's size and padding odd sizes), read, write and seek. Sizes
// read from a file are never trusted: a search never leaves its parent chunk
// or the file. Nothing here shows a message; every failure leaves its errno
// value in Error() for the caller to record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wavefile/FileSystem.h"

constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24;
}

constexpr std::uint32_t RiffId = MakeFourCC('R', 'I', 'F', 'F');
// Marks a chunk whose size is rewritten from the file offset when it is left.
constexpr std::uint32_t RiffChunkDirty = 0x10000000;

// One chunk as the file holds it. For a RIFF chunk `dataOffset` is the offset
// of its form type, and `size` counts the form type.
struct RiffChunk {
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::uint32_t formType = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t flags = 0;
};

enum class RiffOpenMode {
    Read,
    ReadWrite,
    Create // read-write, creating the file or truncating it to empty
};

enum class RiffFind {
    Riff, // the next RIFF chunk whose form type is the record's
    Chunk // the next chunk whose identifier is the record's
};

class CRiffFile {
public:
    CRiffFile() = default;
    // Closes an open file; an error then is lost (Close first to see it).
    ~CRiffFile();
    CRiffFile(const CRiffFile&) = delete;
    CRiffFile& operator=(const CRiffFile&) = delete;

    // Closes any open file first. True when open; false with Error() set
    // (ENOENT, EACCES, EISDIR, ENXIO for a FIFO, ...) when not.
    bool Open(const std::string& name, RiffOpenMode mode);
    // Takes a file already open (a temporary one) at offset 0. True, or
    // false when its size cannot be read.
    bool Attach(std::unique_ptr<IFile> opened, bool canWrite);
    // Writes out what is buffered and closes. 0 on success; -1 when a write
    // since opening, the last one or the close failed. The file is closed
    // either way.
    int Close();
    // Writes out what is buffered and hands the open file over (to be linked
    // under a name); empty, with the file kept, when any write failed.
    std::unique_ptr<IFile> Detach();
    bool IsOpen() const { return file != nullptr; }
    // The errno value of the last failure (0 before any).
    int Error() const { return error; }

    // Finds the chunk from the current offset to the end of `parent` (or of
    // the file), skipping whole chunks, and leaves the offset at its data
    // (after the form type of a RIFF chunk). 0 when found; -1 when not, the
    // offset unchanged.
    int Descend(RiffChunk& chunk, const RiffChunk* parent, RiffFind find);
    // Writes a chunk header (with `riff`, a RIFF header with the record's form
    // type) at the current offset and marks the record dirty. 0 or -1.
    int CreateChunk(RiffChunk& chunk, bool riff);
    // Leaves the chunk: a dirty one first gets its size from the current
    // offset, and a zero pad byte when that size is odd. 0 or -1.
    int Ascend(RiffChunk& chunk);

    // The bytes moved, fewer only at the end of the file, -1 on error (a
    // write is whole or -1).
    std::int64_t Read(void* destination, std::uint32_t byteCount);
    std::int64_t Write(const void* source, std::uint32_t byteCount);
    // origin is SEEK_SET, SEEK_CUR or SEEK_END. The new offset, or -1.
    std::int64_t Seek(std::int64_t offset, int origin);
    std::int64_t Tell() const { return offset; }
    // The file's length, counting bytes still in the buffer; after a failed
    // write, the length the file really has.
    std::int64_t Length() const { return length; }
    // Cuts the file to `bytes`; 0 or -1.
    int Truncate(std::int64_t bytes);
    // Writes out what is buffered; 0, or -1 when that write fails.
    int Flush();
    // Writes out what is buffered and puts it on the medium; 0 or -1.
    int Sync();
    // Asks the file system to set aside room for a file of `bytes` bytes
    // without changing its length. Only advice: 0 when granted, -1 when not,
    // and writing works the same either way (Error() is left alone).
    int Reserve(std::int64_t bytes);

private:
    bool ReadAt(std::int64_t at, void* destination, std::uint32_t byteCount);
    bool WriteUInt32At(std::int64_t at, std::uint32_t value);
    void WriteFailed(int code);
    int Fail(int code);

    std::unique_ptr<IFile> file;
    bool writable = false;
    std::int64_t offset = 0;
    std::int64_t length = 0;
    // One buffer serves either reading (clean) or writing (dirty).
    std::vector<std::uint8_t> buffer;
    std::int64_t bufferStart = 0;
    std::size_t bufferLength = 0;
    bool bufferDirty = false;
    bool writeFailed = false;
    int error = 0;
};
