// SPDX-License-Identifier: GPL-3.0-or-later
// Opens arbitrary bytes as a WAVE file in file mode, streams through it,
// writes past its end and saves it in place and under another name.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzFile.h"
#include "core/ZeroBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzQuietServices();
    CZeroBlock::SetLimit(size + 64);
    CFuzzFile input(data, size);
    CWaveFile wave(input.name, WaveFileMode::FileMode, size % 2 == 1, input.directory);
    RequireReason(wave.IsFailed());
    if (wave.IsFailed())
        return 0;
    // An unaligned read count, taken from the input, must still stop at the data.
    std::uint32_t count = 1 + (size > 0 ? data[0] : 0);
    std::vector<std::uint8_t> bytes(count);
    wave.SetPosition(1);
    for (int reads = 0; reads < 64 && wave.Read(bytes.data(), count); ++reads) {
    }
    wave.SetPosition(wave.GetFrameCount());
    RequireReason(wave.Write(data, static_cast<std::uint32_t>(std::min<std::size_t>(size, 512))) == 0);
    RequireReason(wave.Save() == 0);
    wave.SetFileName(input.directory + "/copy.wav");
    RequireReason(wave.Save() == 0);
    return 0;
}
