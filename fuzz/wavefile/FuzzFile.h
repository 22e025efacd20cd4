// SPDX-License-Identifier: GPL-3.0-or-later
// The fuzz input as a file in a file system held in memory, so nothing
// touches the disk, and services that swallow the messages.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Services.h"
#include "wavefile/MemoryFileSystem.h"
#include "wavefile/WaveFile.h"
#include "wavefile/WaveFileFailure.h"

class CQuietServices : public CDefaultServices {
public:
    void ShowMessage(const std::string&, MessageIcon) override {}
};

inline void FuzzQuietServices()
{
    static CQuietServices quiet;
    SetServices(&quiet);
}

class CFuzzFile {
public:
    CFuzzFile(const std::uint8_t* data, std::size_t size)
    {
        fs.Put(name, CMemoryFileSystem::Bytes(data, data + size));
        SetFileSystem(&fs);
        ClearWaveFileFailure();
    }
    ~CFuzzFile() { SetFileSystem(nullptr); }
    CFuzzFile(const CFuzzFile&) = delete;
    CFuzzFile& operator=(const CFuzzFile&) = delete;

    // Every file a run makes lives here and goes with it.
    CMemoryFileSystem fs;
    const std::string directory = "/fuzz";
    const std::string name = "/fuzz/input.wav";
};

// A failure that does not say why is a finding too.
inline void RequireReason(bool failed)
{
    if (failed && LastWaveFileFailure().reason == WaveFileReason::None)
        std::abort();
}
