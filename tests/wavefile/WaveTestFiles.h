// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the wave-file tests: a private directory per test, whole-file
// reads and writes, and a builder for hand-made RIFF files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

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

class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    std::string File(const std::string& name) const { return path + "/" + name; }
    // Names of the entries, sorted.
    std::vector<std::string> List() const;
    std::string path;
};

Bytes ReadAll(const std::string& path);
void WriteAll(const std::string& path, const Bytes& bytes);
bool Exists(const std::string& path);

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
