// SPDX-License-Identifier: GPL-3.0-or-later
// Loads arbitrary bytes as a WAVE file in memory mode, and saves what loaded.
#include <cstdint>
#include <cstdlib>

#include "FuzzFile.h"
#include "core/ZeroBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzQuietServices();
    // Nothing may allocate more than the input holds, plus a constant.
    CZeroBlock::SetLimit(size + 64);
    CFuzzFile input(data, size);
    CWaveFile wave(input.name, WaveFileMode::MemoryMode, false, input.directory);
    RequireReason(wave.IsFailed());
    if (!wave.IsFailed()) {
        if (wave.GetByteSize() > size)
            std::abort();
        wave.SetFileName(input.directory + "/saved.wav");
        RequireReason(wave.Save() == 0);
    }
    return 0;
}
