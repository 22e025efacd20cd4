// SPDX-License-Identifier: GPL-3.0-or-later
// WASAPI in exclusive mode behind the wave API: the driver itself answers
// whether it takes a format, with no audio engine converting in between.
// The devices are the active endpoints (CWasapiEndpoints), named
// "WASAPI: " and the friendly name, cut to the product-name length.
//
// Open activates an audio client and initialises it exclusive at the
// device's default period (WasapiExclusive.h: event-driven, or timer-driven
// where that is refused as busy), in exactly the description the device
// layer built (WasapiFormat.h: WAVEFORMATEX for the plain
// description, WAVEFORMATEXTENSIBLE for the extensible one). A refusal is
// the HRESULT's wave code (WasapiResult.h: AUDCLNT_E_UNSUPPORTED_FORMAT 8,
// AUDCLNT_E_DEVICE_IN_USE 4, ...), and the failing call, the HRESULT and
// its text are kept as the device's host detail. Each open stream has a
// thread of its own that waits for the stream's event (or polls) and pumps
// the queued buffers (WasapiStream.h).
//
// Decided here before the platform is called: a number beyond the list 2,
// a device this object holds open already 4, an unknown handle 5 (also
// Start on an output, Pause and Restart on an input), a description that
// is neither plain PCM nor extensible 11 or 8 by ReadWaveFormat's rules.
// An output plays what is queued at once unless paused; Pause stops the
// client, Restart starts it again. Close with buffers pending gives 33.
// Destroying the object stops and releases every stream still open.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "audio/WaveApi.h"
#include "audio/backends/WasapiEndpoints.h"
#include "audio/backends/WasapiExclusive.h"

constexpr const char* WasapiNamePrefix = "WASAPI: ";

class CWasapiWaveApi : public CWaveApi {
public:
    // Over the MMDevice API's endpoints.
    CWasapiWaveApi();
    // Over the given endpoints (tests).
    explicit CWasapiWaveApi(std::unique_ptr<CWasapiEndpoints> endpoints);
    ~CWasapiWaveApi() override;
    CWasapiWaveApi(const CWasapiWaveApi&) = delete;
    CWasapiWaveApi& operator=(const CWasapiWaveApi&) = delete;

    std::uint16_t GetDeviceCount(WaveDirection direction) override;
    // The name, the channels of the engine's mix format (2 when it gives
    // none), and the standard formats the driver takes in exclusive mode
    // (IsFormatSupported); asked once per device. Ids and driver version 0.
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
    // The endpoint's id, the last call that failed with its HRESULT and
    // text, whether the device was lost, and the last stream's
    // discontinuities (xruns) and frames captured with no buffer to take them.
    WaveHostDetail HostDetail(WaveDirection direction, std::uint32_t device) override;

    struct Stream; // the client, its event, the pump thread: WasapiWaveApi.cpp

private:
    Stream* Find(WaveHandle handle);
    void Fail(WaveDirection direction, std::uint32_t device, const char* call, long hresult);
    WaveResult Opened(WaveDirection direction, std::uint32_t device, IAudioClient* client,
                      const WasapiExclusiveMode& mode, std::uint32_t blockAlign, WaveHandle& handle);
    void Pump(Stream& stream);
    void StopStream(Stream& stream);
    struct FoundCaps {
        std::uint32_t formats = 0;
        std::uint16_t channels = 2;
    };
    const FoundCaps& Probe(WaveDirection direction, std::uint32_t device);

    std::unique_ptr<CWasapiEndpoints> endpoints;
    std::vector<WasapiEndpoint> lists[2];
    std::mutex mutex;
    std::map<WaveHandle, std::unique_ptr<Stream>> streams;
    std::map<std::pair<WaveDirection, std::uint32_t>, WaveHostDetail> details;
    std::map<std::pair<WaveDirection, std::uint32_t>, FoundCaps> capsFound;
    WaveHandle nextHandle = 1;
};
