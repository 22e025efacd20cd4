// A small RIFF chunk reader and writer over a buffered POSIX file: open,
// descend into chunks, create chunks, ascend (fixing a created chunk's size
// and padding odd sizes), read, write and seek. Sizes read from a file are
// never trusted: a search never leaves its parent chunk or the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    ~CRiffFile();
    CRiffFile(const CRiffFile&) = delete;
    CRiffFile& operator=(const CRiffFile&) = delete;

    // Closes any open file first. False when the file cannot be opened.
    bool Open(const std::string& name, RiffOpenMode mode);
    // Writes out what is buffered and closes. 0 on success, -1 when a write
    // or the close failed; the file is closed either way.
    int Close();
    bool IsOpen() const { return fd >= 0; }

    // Finds the chunk from the current offset to the end of `parent` (or of
    // the file), skipping whole chunks, and leaves the offset at its data
    // (after the form type of a RIFF chunk). 0 when found, -1 when not.
    int Descend(RiffChunk& chunk, const RiffChunk* parent, RiffFind find);
    // Writes a chunk header (with `riff`, a RIFF header with the record's form
    // type) at the current offset and marks the record dirty. 0 or -1.
    int CreateChunk(RiffChunk& chunk, bool riff);
    // Leaves the chunk: a dirty one first gets its size from the current
    // offset, and a zero pad byte when that size is odd. 0 or -1.
    int Ascend(RiffChunk& chunk);

    // The bytes moved, fewer at the end of the file, -1 on error.
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
    // Asks the file system to set aside room for a file of `bytes` bytes
    // without changing its length. Only advice: 0 when granted, -1 when not,
    // and writing works the same either way.
    int Reserve(std::int64_t bytes);

    // 0 on success.
    static int Rename(const std::string& from, const std::string& to);

private:
    bool ReadAt(std::int64_t at, void* destination, std::uint32_t byteCount);
    bool WriteUInt32At(std::int64_t at, std::uint32_t value);
    void WriteFailed();

    int fd = -1;
    bool writable = false;
    std::int64_t offset = 0;
    std::int64_t length = 0;
    // One buffer serves either reading (clean) or writing (dirty).
    std::vector<std::uint8_t> buffer;
    std::int64_t bufferStart = 0;
    std::size_t bufferLength = 0;
    bool bufferDirty = false;
    bool writeFailed = false;
};
