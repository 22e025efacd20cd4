// SPDX-License-Identifier: GPL-3.0-or-later
// The program's back ends on Windows: the WinMM devices, then the virtual ones.
#include <cstdlib>

#include "audio/backends/WinMmWaveApi.h"
#include "audio/backends/CompositeWaveApi.h"
#include "audio/backends/VirtualWaveApi.h"

AudioBackEndChoice AudioBackEndFromEnvironment()
{
    return AudioBackEndFromText(std::getenv("TALLOWMERE_AUDIO"), "winmm", AudioBackEndChoice::WinMm);
}

std::unique_ptr<CWaveApi> CreateWaveApi(AudioBackEndChoice choice)
{
    std::vector<std::unique_ptr<CWaveApi>> backEnds;
    if (choice == AudioBackEndChoice::Auto || choice == AudioBackEndChoice::WinMm)
        backEnds.push_back(std::make_unique<CWinMmWaveApi>());
    if (choice != AudioBackEndChoice::WinMm) {
        auto virtualApi = std::make_unique<CVirtualWaveApi>();
        virtualApi->loopbackChain = VirtualLoopbackChainFromEnvironment();
        backEnds.push_back(std::move(virtualApi));
    }
    return std::make_unique<CCompositeWaveApi>(std::move(backEnds));
}
