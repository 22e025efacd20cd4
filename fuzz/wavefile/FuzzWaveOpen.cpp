// Opens arbitrary bytes as a WAVE file in file mode, streams through it,
// writes past its end and saves it in place and under another name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "core/ZeroBlock.h"
#include "wavefile/WaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzQuietServices();
    CZeroBlock::SetLimit(size + 64);
    CFuzzFile input(data, size);
    {
        CWaveFile wave(input.name, WaveFileMode::FileMode, size % 2 == 1, input.directory);
        if (!wave.IsFailed()) {
            std::vector<std::uint8_t> bytes(256);
            wave.SetPosition(1);
            wave.Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
            wave.SetPosition(wave.GetFrameCount());
            wave.Write(data, static_cast<std::uint32_t>(std::min<std::size_t>(size, 512)));
            wave.Save();
            wave.SetFileName(input.directory + "/copy.wav");
            wave.Save();
        }
    }
    std::remove((input.directory + "/copy.wav").c_str());
    return 0;
}
