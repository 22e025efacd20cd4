// SPDX-License-Identifier: GPL-3.0-or-later
// Files for tests on any platform: a private directory per test and
// whole-file reads and writes, all through the C++ library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A new, empty directory under the system's temporary directory, with a
// name no other test (or test program) uses; removed with everything in it.
class CScratchDir {
public:
    explicit CScratchDir(const std::string& prefix = "tallowmere-test");
    ~CScratchDir();
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;
    // `name` inside the directory, joined with the platform's separator.
    std::string File(const std::string& name) const;
    // Names of the entries, sorted.
    std::vector<std::string> List() const;
    std::string path;
};

// The whole file; empty when it cannot be read.
std::vector<std::uint8_t> ReadAll(const std::string& path);
// Replaces the file with `bytes`; false when that failed.
bool WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool Exists(const std::string& path);
