// Loads arbitrary bytes as a WAVE file in memory mode, and saves what loaded.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzFile.h"
#include "core/ZeroBlock.h"
#include "wavefile/WaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzQuietServices();
    // Nothing may allocate more than the input holds, plus a constant.
    CZeroBlock::SetLimit(size + 64);
    CFuzzFile input(data, size);
    {
        CWaveFile wave(input.name, WaveFileMode::MemoryMode, false, input.directory);
        if (!wave.IsFailed() && wave.GetByteSize() > size)
            std::abort();
        if (!wave.IsFailed()) {
            wave.SetFileName(input.directory + "/saved.wav");
            wave.Save();
            std::remove((input.directory + "/saved.wav").c_str());
        }
    }
    return 0;
}
