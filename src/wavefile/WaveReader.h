// SPDX-License-Identifier: GPL-3.0-or-later
// A WAVE file opened for reading only, to read its samples as they are
// stored, frame by frame, in whatever layout WaveFormatChunk.h accepts. It
// never writes, so a file the user may only read, on a read-only mount or of
// another owner, reads as well as any. The file goes through the file system
// seam (FileSystem.h), so tests and fuzzers read from memory.
//
// Sizes the file states are checked against its length before anything is
// done with them: nothing is allocated for them, a chunk walk stops at the
// RIFF chunk's end or the file's and after MaxWaveChunks chunks, a file
// longer than a RIFF chunk can describe is refused at once, and a data chunk
// that states more than the file holds is read as far as it goes (the frames
// missing are told apart from those read).
//
// Open and Read record every failure for this thread (WaveFileFailure.h) and
// keep a line for the user in Error(): the step, the path and why, e.g.
//   "open 'take.wav': Permission denied"
//   "fmt chunk 'take.wav': sample rate 0"
//   "'big.wav': the file is 4294967350 bytes long, more than ..."
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "wavefile/FileSystem.h"
#include "wavefile/WaveFormatChunk.h"

class CWaveReader {
public:
    // Chunks looked at before the fmt and data chunks must have been found.
    static constexpr int MaxWaveChunks = 1024;

    CWaveReader() = default;
    CWaveReader(const CWaveReader&) = delete;
    CWaveReader& operator=(const CWaveReader&) = delete;

    // Opens `path` read-only and reads its header. True when the samples can
    // be read; false with Error() set when the file cannot be opened or read,
    // is no RIFF WAVE file (RF64, RIFX, AIFF, FLAC and W64 are named), states
    // a layout ParseWaveFormatChunk refuses, has no fmt or no data chunk, or
    // not one whole frame of data.
    bool Open(const std::string& path);

    const WaveSampleLayout& Layout() const { return layout; }
    // Whole frames the data chunk states, and those the file holds of them
    // (fewer when the file is cut short).
    std::uint64_t StatedFrames() const { return statedFrames; }
    std::uint64_t Frames() const { return frames; }
    // Bytes after the last whole frame the data chunk states: part of a frame.
    std::uint32_t PartialFrameBytes() const { return partialFrameBytes; }

    // Reads the next `count` frames, or those left, into `destination`
    // (room for count × FrameBytes bytes), as stored. The frames read; 0 at
    // the end; -1 with Error() set when a read fails or the file is found
    // shorter than it was at Open.
    std::int64_t Read(std::uint8_t* destination, std::uint64_t count);
    std::uint64_t Position() const { return position; }

    const std::string& Error() const { return error; }

private:
    bool ReadHeader();
    bool FindChunks(std::uint64_t riffEnd, std::uint64_t& dataOffset, std::uint64_t& dataSize);
    bool ReadFormat(std::uint64_t at, std::uint32_t size);
    bool ReadExactly(std::uint64_t at, std::uint8_t* destination, std::size_t count, const char* step);
    bool Fail(const char* step, const std::string& why, bool cutShort = false);
    bool FailSystem(const char* step, int errorCode);

    std::unique_ptr<IFile> file;
    std::string path;
    std::uint64_t length = 0;
    WaveSampleLayout layout;
    bool haveFormat = false;
    std::uint64_t dataStart = 0;
    std::uint64_t statedFrames = 0;
    std::uint64_t frames = 0;
    std::uint32_t partialFrameBytes = 0;
    std::uint64_t position = 0;
    std::string error;
};
