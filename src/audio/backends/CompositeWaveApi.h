// The device lists the user sees: the devices of several back ends in turn
// (ALSA first, then the virtual ones), numbered in that order per direction.
// Each call goes to the back end that owns the device or the handle.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/WaveApi.h"

class CCompositeWaveApi : public CWaveApi {
public:
    // Back ends in listing order; the composite owns them.
    explicit CCompositeWaveApi(std::vector<std::unique_ptr<CWaveApi>> backEnds);

    std::uint16_t GetDeviceCount(WaveDirection direction) override;
    WaveResult GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps) override;
    WaveResult Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device, const void* format,
                    WindowHandle callbackWindow, std::uintptr_t instance, std::uint32_t flags) override;
    WaveResult Close(WaveHandle handle) override;
    WaveResult PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize) override;
    WaveResult Start(WaveHandle handle) override;
    WaveResult Pause(WaveHandle handle) override;
    WaveResult Restart(WaveHandle handle) override;
    WaveResult Reset(WaveHandle handle) override;
    void Update(WaveHandle handle) override;
    WaveHostDetail HostDetail(WaveDirection direction, std::uint32_t device) override;

private:
    struct Route {
        CWaveApi* backEnd;
        WaveHandle inner;
    };

    // The back end holding device `device` of the direction, and the device's
    // number there; null when the number is beyond every list.
    CWaveApi* Locate(WaveDirection direction, std::uint32_t& device);
    bool Find(WaveHandle handle, Route& route);

    std::vector<std::unique_ptr<CWaveApi>> backEnds;
    std::mutex mutex;
    std::map<WaveHandle, Route> routes;
    WaveHandle nextHandle = 1;
};

// Which back ends the program lists, from TALLOWMERE_AUDIO: "alsa", "virtual"
// or "auto" (both; also when unset or unknown).
enum class AudioBackEndChoice { Auto, Alsa, Virtual };
AudioBackEndChoice AudioBackEndFromEnvironment();

// The program's wave API for that choice.
std::unique_ptr<CWaveApi> CreateWaveApi(AudioBackEndChoice choice);
