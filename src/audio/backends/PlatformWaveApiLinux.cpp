// SPDX-License-Identifier: GPL-3.0-or-later
// The program's back ends on Linux: ALSA's devices, then the virtual ones.
#include <cstdlib>

#include "audio/backends/AlsaWaveApi.h"
#include "audio/backends/CompositeWaveApi.h"
#include "audio/backends/VirtualWaveApi.h"

AudioBackEndChoice AudioBackEndFromEnvironment()
{
    return AudioBackEndFromText(std::getenv("TALLOWMERE_AUDIO"), "alsa", AudioBackEndChoice::Alsa);
}

std::unique_ptr<CWaveApi> CreateWaveApi(AudioBackEndChoice choice)
{
    std::vector<std::unique_ptr<CWaveApi>> backEnds;
    if (choice == AudioBackEndChoice::Auto || choice == AudioBackEndChoice::Alsa)
        backEnds.push_back(std::make_unique<CAlsaWaveApi>());
    if (choice != AudioBackEndChoice::Alsa) {
        auto virtualApi = std::make_unique<CVirtualWaveApi>();
        virtualApi->loopbackChain = VirtualLoopbackChainFromEnvironment();
        backEnds.push_back(std::move(virtualApi));
    }
    return std::make_unique<CCompositeWaveApi>(std::move(backEnds));
}

std::string AudioEngineAnswerNote(const std::string&)
{
    return {};
}
