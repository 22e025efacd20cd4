// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/WaveReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "core/LittleEndian.h"
#include "wavefile/RiffFile.h"
#include "wavefile/WaveFileDetail.h"
#include "wavefile/WaveFileFailure.h"

namespace {

constexpr std::uint64_t HeaderBytes = 12; // "RIFF", its size, "WAVE"
constexpr std::uint64_t ChunkHeaderBytes = 8;
// The longest file a RIFF chunk's 32-bit size can describe.
constexpr std::uint64_t MaxRiffFileBytes = ChunkHeaderBytes + std::numeric_limits<std::uint32_t>::max();
// Only the first bytes of a fmt chunk say anything this reader uses.
constexpr std::uint32_t FormatBytesRead = 40;

constexpr std::uint32_t WaveForm = MakeFourCC('W', 'A', 'V', 'E');
constexpr std::uint32_t FormatChunk = MakeFourCC('f', 'm', 't', ' ');
constexpr std::uint32_t DataChunk = MakeFourCC('d', 'a', 't', 'a');

// What a file that is no RIFF WAVE file is, from its first bytes, so that
// the refusal names it.
std::string WhatItIs(const std::uint8_t* header)
{
    const std::uint32_t id = GetUInt32(header);
    const std::uint32_t form = GetUInt32(header + 8);
    if (id == MakeFourCC('R', 'F', '6', '4') || id == MakeFourCC('B', 'W', '6', '4'))
        return "an RF64 file, which this program does not read (RIFF WAVE only)";
    if (id == MakeFourCC('r', 'i', 'f', 'f'))
        return "a Wave64 file, which this program does not read (RIFF WAVE only)";
    if (id == MakeFourCC('R', 'I', 'F', 'X'))
        return "a big-endian RIFX file, which this program does not read (RIFF WAVE only)";
    if (id == MakeFourCC('F', 'O', 'R', 'M'))
        return "an AIFF or other IFF file, which this program does not read (RIFF WAVE only)";
    if (id == MakeFourCC('f', 'L', 'a', 'C'))
        return "a FLAC file, which this program does not read (RIFF WAVE only)";
    if (id == MakeFourCC('O', 'g', 'g', 'S'))
        return "an Ogg file, which this program does not read (RIFF WAVE only)";
    if (id == RiffId && form != WaveForm) {
        std::string name(reinterpret_cast<const char*>(header + 8), 4);
        for (char& c : name)
            if (c < 0x20 || c > 0x7E)
                c = '?';
        return "a RIFF file of form '" + name + "', not WAVE";
    }
    return "not a RIFF WAVE file";
}

} // namespace

bool CWaveReader::Fail(const char* step, const std::string& why, bool cutShort)
{
    RecordWaveFileFailure(cutShort ? WaveFileReason::Truncated : WaveFileReason::NotWave, step, path);
    error = (*step != '\0' ? std::string(step) + " " : std::string()) + "'" + path + "': " + why;
    return false;
}

bool CWaveReader::FailSystem(const char* step, int errorCode)
{
    wavefile_detail::RecordError(step, path, errorCode);
    error = DescribeWaveFileFailure(LastWaveFileFailure());
    return false;
}

bool CWaveReader::ReadExactly(std::uint64_t at, std::uint8_t* destination, std::size_t count, const char* step)
{
    std::size_t done = 0;
    while (done < count) {
        std::int64_t n = file->ReadAt(destination + done, count - done, static_cast<std::int64_t>(at + done));
        if (n < 0)
            return FailSystem(step, static_cast<int>(-n));
        if (n == 0)
            return Fail(step, "the file ends inside it", true);
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool CWaveReader::Open(const std::string& name)
{
    file.reset();
    path = name;
    length = dataStart = statedFrames = frames = position = 0;
    layout = WaveSampleLayout{};
    haveFormat = false;
    partialFrameBytes = 0;
    error.clear();
    int opened = FileSystem().Open(name, FileAccess::Read, file);
    if (opened != 0)
        return FailSystem("open", opened);
    std::int64_t size = file->Size();
    if (size < 0)
        return FailSystem("open", static_cast<int>(-size));
    length = static_cast<std::uint64_t>(size);
    return ReadHeader();
}

bool CWaveReader::ReadHeader()
{
    std::uint8_t header[HeaderBytes] = {};
    if (length < HeaderBytes)
        return Fail("", "the file is " + std::to_string(length) + " bytes long, too short for a WAVE header");
    if (!ReadExactly(0, header, HeaderBytes, "RIFF header"))
        return false;
    if (GetUInt32(header) != RiffId || GetUInt32(header + 8) != WaveForm)
        return Fail("", WhatItIs(header));
    // Past 4 GiB the sizes have wrapped: where the samples end is unknown.
    // Refused before any chunk is walked, which could take a while.
    if (length > MaxRiffFileBytes)
        return Fail("", "the file is " + std::to_string(length) + " bytes long, more than the " +
                            std::to_string(MaxRiffFileBytes) +
                            " a RIFF WAVE file can describe: its chunk sizes have wrapped");
    const std::uint64_t riffEnd = std::min<std::uint64_t>(ChunkHeaderBytes + GetUInt32(header + 4), length);
    std::uint64_t dataOffset = 0;
    std::uint64_t dataSize = 0;
    if (!FindChunks(riffEnd, dataOffset, dataSize))
        return false;

    const std::uint32_t frameBytes = layout.FrameBytes();
    const std::uint64_t held = std::min(dataSize, length - std::min(length, dataOffset));
    dataStart = dataOffset;
    statedFrames = dataSize / frameBytes;
    frames = held / frameBytes;
    if (statedFrames == 0)
        return Fail("data chunk", dataSize == 0 ? std::string("it holds no samples")
                                                : "its " + std::to_string(dataSize) + " bytes are not one whole frame of " +
                                                      std::to_string(frameBytes) + " bytes");
    if (frames == 0)
        return Fail("data chunk",
                    "the file ends before its first whole frame (it states " + std::to_string(statedFrames) + ")", true);
    if (held == dataSize)
        partialFrameBytes = static_cast<std::uint32_t>(dataSize % frameBytes);
    return true;
}

bool CWaveReader::FindChunks(std::uint64_t riffEnd, std::uint64_t& dataOffset, std::uint64_t& dataSize)
{
    bool haveData = false;
    std::uint64_t at = HeaderBytes;
    for (int seen = 0; at + ChunkHeaderBytes <= riffEnd; ++seen) {
        if (seen == MaxWaveChunks)
            return Fail("RIFF chunk", "more than " + std::to_string(MaxWaveChunks) + " chunks before the samples");
        std::uint8_t chunk[ChunkHeaderBytes];
        if (!ReadExactly(at, chunk, ChunkHeaderBytes, "chunk header"))
            return false;
        const std::uint32_t id = GetUInt32(chunk);
        const std::uint32_t size = GetUInt32(chunk + 4);
        const std::uint64_t body = at + ChunkHeaderBytes;
        if (id == FormatChunk && !haveFormat) {
            if (!ReadFormat(body, size))
                return false;
        } else if (id == DataChunk && !haveData) {
            haveData = true;
            dataOffset = body;
            dataSize = size;
        }
        if (haveFormat && haveData)
            return true;
        at = body + size + (size & 1u);
    }
    const std::string within =
        riffEnd < length ? "within the RIFF chunk's stated " + std::to_string(riffEnd - ChunkHeaderBytes) + " bytes"
                         : "in the file";
    return haveFormat ? Fail("data chunk", "none " + within) : Fail("fmt chunk", "none " + within);
}

bool CWaveReader::ReadFormat(std::uint64_t at, std::uint32_t size)
{
    // The whole chunk must be there, though only its start is read.
    if (at + size > length)
        return Fail("fmt chunk", "the file ends inside it", true);
    std::uint8_t bytes[FormatBytesRead] = {};
    const std::uint32_t wanted = std::min(size, FormatBytesRead);
    if (!ReadExactly(at, bytes, wanted, "fmt chunk"))
        return false;
    std::string why;
    if (!ParseWaveFormatChunk(bytes, size, layout, why))
        return Fail("fmt chunk", why);
    haveFormat = true;
    return true;
}

std::int64_t CWaveReader::Read(std::uint8_t* destination, std::uint64_t count)
{
    if (!file || destination == nullptr) {
        error = "the wave file is not open";
        return -1;
    }
    const std::uint32_t frameBytes = layout.FrameBytes();
    const std::uint64_t n = std::min<std::uint64_t>({count, frames - position, std::numeric_limits<std::size_t>::max() / frameBytes});
    if (n == 0)
        return 0;
    if (!ReadExactly(dataStart + position * frameBytes, destination, static_cast<std::size_t>(n * frameBytes),
                     "read data chunk")) {
        if (LastWaveFileFailure().reason == WaveFileReason::Truncated)
            Fail("read data chunk", "the file grew shorter while it was read", true);
        return -1;
    }
    position += n;
    return static_cast<std::int64_t>(n);
}
