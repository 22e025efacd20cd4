// SPDX-License-Identifier: GPL-3.0-or-later
// The program's back ends on Windows: the WASAPI devices in exclusive mode
// (the driver's own answer), then WinMM's (on Vista and later the shared
// audio engine's answer: it converts), then the virtual ones. Each WASAPI
// and WinMM name begins with its interface ("WASAPI: ", "WinMM: "), since
// both list the same endpoints.
#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>
#include <versionhelpers.h>

#include "audio/DeviceName.h"
#include "audio/backends/CompositeWaveApi.h"
#include "audio/backends/VirtualWaveApi.h"
#include "audio/backends/WasapiWaveApi.h"
#include "audio/backends/WinMmWaveApi.h"

namespace {

// WinMM as it is, its device names marked with the interface.
class CNamedWinMmWaveApi : public CWinMmWaveApi {
public:
    WaveResult GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps) override
    {
        WaveResult result = CWinMmWaveApi::GetDeviceCaps(direction, device, caps);
        if (result == WaveNoError) {
            const std::string name(caps.productName, strnlen(caps.productName, sizeof caps.productName));
            SetProductName(caps, WinMmNamePrefix + name);
        }
        return result;
    }
};

} // namespace

AudioBackEndChoice AudioBackEndFromEnvironment()
{
    return AudioBackEndFromText(std::getenv("TALLOWMERE_AUDIO"), "wasapi", AudioBackEndChoice::Wasapi, "winmm",
                                AudioBackEndChoice::WinMm);
}

std::unique_ptr<CWaveApi> CreateWaveApi(AudioBackEndChoice choice)
{
    using enum AudioBackEndChoice;
    std::vector<std::unique_ptr<CWaveApi>> backEnds;
    if (choice == Auto || choice == Wasapi)
        backEnds.push_back(std::make_unique<CWasapiWaveApi>());
    if (choice == Auto || choice == WinMm)
        backEnds.push_back(std::make_unique<CNamedWinMmWaveApi>());
    if (choice == Auto || choice == Virtual) {
        auto virtualApi = std::make_unique<CVirtualWaveApi>();
        virtualApi->loopbackChain = VirtualLoopbackChainFromEnvironment();
        backEnds.push_back(std::move(virtualApi));
    }
    return std::make_unique<CCompositeWaveApi>(std::move(backEnds));
}

std::string AudioEngineAnswerNote(const std::string& deviceName)
{
    // Before Vista WinMM reached the driver itself; since, the shared audio
    // engine stands between, so its answer is the engine's.
    if (!deviceName.starts_with(WinMmNamePrefix) || !IsWindowsVistaOrGreater())
        return {};
    return "its answers are the Windows audio engine's, which converts formats, not the card's; "
           "the WASAPI device asks the driver";
}
