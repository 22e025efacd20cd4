// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a file for --analyze-file's path: opened by the read-only
// wave reader and streamed through the analysis, in any channel count. The
// same bytes also go straight into the analysis in a format the first bytes
// choose. Neither may crash, and the analysis must hold no more than its
// fixed buffers.
#include <cstdint>
#include <cstdlib>

#include "../wavefile/FuzzFile.h"
#include "analysis/SignalAnalyzer.h"
#include "measure/WaveFileAnalysis.h"
#include "core/ZeroBlock.h"

namespace {

// FFT of 65536 points, two channels' rings and spectra, the read buffers.
constexpr std::size_t MemoryCeiling = 16u << 20;
// Each channel a file adds: its ring and spectrum of 65536 points (under 1 MiB).
constexpr std::size_t ChannelCeiling = 1u << 20;

void AnalyseRaw(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return;
    std::int32_t rate = static_cast<std::int32_t>(data[0] | data[1] << 8 | data[2] << 16) - 1000;
    CSampleFormat format(rate, static_cast<std::uint16_t>(1 + (data[3] & 1)),
                         static_cast<std::uint16_t>(1 + ((data[3] >> 1) & 3)));
    CSignalAnalyzer analyzer(format, data[3] >> 3, size);
    // Uneven pieces: frames straddle them.
    for (std::size_t at = 4; at < size; at += 1 + at % 13)
        analyzer.Feed(data + at, std::min<std::size_t>(1 + at % 13, size - at));
    if (analyzer.MemoryBytes() > MemoryCeiling)
        std::abort();
    SignalAnalysis a = analyzer.Finish();
    if (a.ok && (a.channel.size() != format.channels || a.dropouts.size() > MaxDropoutsKept))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzQuietServices();
    CZeroBlock::SetLimit(size + 64);
    {
        CFuzzFile input(data, size);
        WaveFileAnalysis result = AnalyseWaveFile(input.name, static_cast<int>(size % 34));
        const std::size_t channels = result.ok ? result.analysis.channel.size() : 0;
        if (result.analysisBytes > MemoryCeiling + channels * ChannelCeiling)
            std::abort();
        if (result.ok != result.analysis.ok || (!result.ok && result.error.empty()))
            std::abort();
    }
    AnalyseRaw(data, size);
    return 0;
}
