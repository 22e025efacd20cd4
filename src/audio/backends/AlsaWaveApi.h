// SPDX-License-Identifier: GPL-3.0-or-later
// Real sound devices through alsa-lib. Lists the default device, each card's
// PCM devices and the PCMs that the configuration names with a description;
// opens them in exactly the format asked for (no resampling, no conversion
// on hardware devices) and moves data with one worker thread per open
// device, a period at a time, recovering from under- and overruns.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "audio/WaveApi.h"

// One PCM device as listed.
struct AlsaDeviceEntry {
    std::string pcmName;     // what snd_pcm_open is given
    std::string productName; // at most 31 characters
    bool hardware = false;   // a card's own device: opened without conversion
};

class CAlsaStream;

class CAlsaWaveApi : public CWaveApi {
public:
    // Lists the devices now; Refresh lists them again.
    CAlsaWaveApi();
    ~CAlsaWaveApi() override;

    void Refresh();
    std::vector<AlsaDeviceEntry> Devices(WaveDirection direction);

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
    // The pcm name, the last alsa-lib call that failed with its errno and
    // snd_strerror text, whether the device was lost, and the xruns of its
    // last stream (live while it is open).
    WaveHostDetail HostDetail(WaveDirection direction, std::uint32_t device) override;

private:
    using DeviceKey = std::pair<WaveDirection, std::uint32_t>;
    struct Opened {
        std::shared_ptr<CAlsaStream> stream;
        DeviceKey device;
    };

    std::shared_ptr<CAlsaStream> Find(WaveHandle handle);
    WaveResult OpenStream(WaveDirection direction, WaveHandle& handle, std::uint32_t device, const void* format);

    std::mutex mutex;
    std::vector<AlsaDeviceEntry> inputs;
    std::vector<AlsaDeviceEntry> outputs;
    std::map<WaveHandle, Opened> streams;
    std::map<DeviceKey, WaveHostDetail> details;
    WaveHandle nextHandle = 1;
};

// Maps an alsa-lib error (a negative errno) to a result code. `formatStep`
// tells whether the error came from setting the format, where EINVAL means
// the device does not do it.
WaveResult AlsaErrorToResult(int error, bool formatStep);

// How many under- and overruns the streams of this process have mended.
std::uint32_t AlsaRecoveredXruns();
