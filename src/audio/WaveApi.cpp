// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/WaveApi.h"

#include <memory>
#include <mutex>

#include "audio/backends/CompositeWaveApi.h"

namespace {

std::atomic<CWaveApi*> current{nullptr};

CWaveApi& DefaultWaveApi()
{
    // Built on first use: listing ALSA devices costs time a test never needs.
    static std::unique_ptr<CWaveApi> instance = CreateWaveApi(AudioBackEndFromEnvironment());
    return *instance;
}

} // namespace

CWaveApi& WaveApi()
{
    CWaveApi* api = current.load();
    return api != nullptr ? *api : DefaultWaveApi();
}

CWaveApi* SetWaveApi(CWaveApi* api)
{
    return current.exchange(api);
}
