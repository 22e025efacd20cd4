// SPDX-License-Identifier: GPL-3.0-or-later
// Real sound devices through alsa-lib. Lists the default device, each card's
// PCM devices and the PCMs that the configuration names with a description;
// opens them in exactly the format asked for (no resampling, no conversion
// on hardware devices) and moves data with one worker thread per open
// device, a period at a time, recovering from under- and overruns.
//
// The list: "default" when it opens, each card's PCM devices ("card: device"
// names, hardware hw:N,M), then the PCMs the configuration describes with a
// hint (no per-card variants, no conversion plugins). The 12 format bits are
// found by testing each format on the device's parameter space at capability
// time. Open is exact: the container picks U8/S16_LE/S24_3LE/S32_LE, the
// rate is set without resampling, valid bits above the device's significant
// bits are refused with 8. Periods are 20 ms; output rings 4 periods, input
// rings 25 (500 ms, so a busy machine or a sound server does not overrun).
// The worker thread of an open device does every alsa-lib call after the
// open, completing an output buffer only once its last frame has played:
// after every step it calls snd_pcm_avail_update (plugins update their
// position only then) and reads the delay. A delay stuck at a small remnant
// (at most 2 periods or 50 ms) for 60 ms with nothing more to play is a
// sound-server plugin reporting its own latency, and the buffer is done (no
// blocking drain, which could hold the worker while a server stalls). A step
// that moves nothing waits 10 ms on the worker's condition variable. A
// disconnected device, or an error no recovery mends (anything but EPIPE,
// ESTRPIPE, EINTR, or a failed snd_pcm_recover), is lost: its buffers stay
// not done and the host detail says lost with the call and errno. Each xrun
// mended during a buffer is counted with the frames it cost; an output that
// ran dry because nothing was queued is not. Errors: ENOENT 2, EBUSY 4,
// ENODEV/ENXIO 6, ENOMEM 7, EINVAL while setting the format 8 (else 11),
// anything else 1. alsa-lib's own stderr chatter is silenced unless
// TALLOWMERE_ALSA_DEBUG is set.
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
    // The PCM name snd_pcm_open is given ("hw:1,0", "default", "pipewire").
    std::string HostDeviceName(WaveDirection direction, std::uint32_t device) override;
    // ReadAlsaHostSpace on that name (AlsaHostSpace.h).
    WaveHostSpace HostDeviceSpace(WaveDirection direction, std::uint32_t device) override;
    // Any PCM name alsa-lib can open in the direction ("plughw:1,0",
    // "sysdefault:CARD=PCH", what `aplay -L` prints), listed under that name
    // as its product name; a card's "hw:" device is opened as hardware.
    bool AddHostDevice(WaveDirection direction, const std::string& hostName) override;

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
