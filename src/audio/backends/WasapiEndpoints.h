// SPDX-License-Identifier: GPL-3.0-or-later
// Where the WASAPI back end's devices come from: the active render and
// capture endpoints and an audio client for one of them. The real source is
// the MMDevice API (CreateMMDeviceEndpoints); tests give fake clients.
#pragma once

#include <windows.h>

#include <audioclient.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveApi.h"

struct WasapiEndpoint {
    std::string name; // the friendly name, UTF-8, whole
    std::string id;   // the endpoint's id string, UTF-8 (the host detail's device name)
};

class CWasapiEndpoints {
public:
    virtual ~CWasapiEndpoints() = default;
    // The active endpoints of the direction, in the platform's order.
    virtual std::vector<WasapiEndpoint> List(WaveDirection direction) = 0;
    // A new audio client on endpoint `index` of that list (the caller
    // releases it): S_OK with `client` set, or the failing HRESULT with
    // `call` naming the call ("IMMDevice::Activate").
    virtual HRESULT Activate(WaveDirection direction, std::uint32_t index, IAudioClient*& client,
                             const char*& call) = 0;
};

// The MMDevice API's endpoints. COM is set up for the calling thread
// (multithreaded apartment; a thread already in another keeps it). When
// the enumerator cannot be created the lists are empty and `error` holds
// its HRESULT.
std::unique_ptr<CWasapiEndpoints> CreateMMDeviceEndpoints(HRESULT& error);
