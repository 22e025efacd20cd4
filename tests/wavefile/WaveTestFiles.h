// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the wave-file tests: the file system in memory, and a builder
// for hand-made RIFF files. Scratch directories and whole-file reads and
// writes come from support/ScratchDir.h.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/ScratchDir.h"
#include "wavefile/MemoryFileSystem.h"

using Bytes = std::vector<std::uint8_t>;

// The wave files work on a file system in memory while this lives.
class CMemoryFileSystemScope {
public:
    CMemoryFileSystemScope() { SetFileSystem(&fs); }
    ~CMemoryFileSystemScope() { SetFileSystem(nullptr); }
    CMemoryFileSystemScope(const CMemoryFileSystemScope&) = delete;
    CMemoryFileSystemScope& operator=(const CMemoryFileSystemScope&) = delete;
    CMemoryFileSystem fs;
};

Bytes U16(std::uint16_t value);
Bytes U32(std::uint32_t value);
Bytes Text(const char* fourCC);
Bytes Join(std::initializer_list<Bytes> parts);
// A chunk: identifier, size (the payload's unless stated), payload, pad byte.
Bytes Chunk(const Bytes& id, const Bytes& payload);
Bytes ChunkStated(const Bytes& id, std::uint32_t statedSize, const Bytes& payload);
Bytes Riff(const Bytes& payload); // "RIFF", size, "WAVE", payload
// A "fmt " payload: tag, channels, rate, average bytes, block align, bits.
Bytes Fmt(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
          std::uint16_t bits);
Bytes Ramp(std::size_t n, std::uint8_t start = 1);
// A calibration block whose bytes count up from `start`.
Bytes CalibrationBytes(std::uint8_t start);
