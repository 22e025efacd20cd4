// SPDX-License-Identifier: GPL-3.0-or-later
// An audio client initialised in exclusive mode, in exactly the format
// given, at the device's default period.
//
// The driver is asked first whether it takes the format in exclusive mode
// (IsFormatSupported): Wine's Initialize opens the rate nearest the one
// asked where the device lacks it, while its IsFormatSupported answers
// exactly, as a Windows driver answers both. Anything but S_OK there is
// the refusal (AUDCLNT_E_UNSUPPORTED_FORMAT for a bare S_FALSE).
//
// Event-driven first (the buffer is one period, the client signals each
// one), as exclusive mode prefers. Wine refuses every event-driven
// exclusive stream with AUDCLNT_E_DEVICE_IN_USE on an idle device, so that
// answer is checked on a new client asked for a timer-driven stream (a
// buffer of four periods, polled): a device that is truly busy answers the
// same again and the refusal stands. A driver that wants its buffer
// aligned answers AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED with the size it would
// take; a new client is asked for that size.
#pragma once

#include <windows.h>

#include <audioclient.h>

#include <cstdint>

#include "audio/WaveApi.h"
#include "audio/backends/WasapiEndpoints.h"

// Buffer length of a timer-driven stream, in periods.
constexpr REFERENCE_TIME WasapiTimerBufferPeriods = 4;

struct WasapiExclusiveMode {
    bool eventDriven = true;
    REFERENCE_TIME period = 0; // 100 ns units, as asked of the client
};

// S_OK with `client` initialised and `mode` saying how it runs; otherwise
// the HRESULT of the call that failed, named by `call`
// ("IAudioClient::IsFormatSupported", "IAudioClient::Initialize"), and `client` the last one activated (null
// when its activation failed); the caller releases it either way. `client`
// may be replaced by a new one from `endpoints` on the way.
HRESULT InitialiseExclusive(CWasapiEndpoints& endpoints, WaveDirection direction, std::uint32_t device,
                            IAudioClient*& client, const WAVEFORMATEX* format, WasapiExclusiveMode& mode,
                            const char*& call);
