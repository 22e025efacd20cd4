// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/WasapiExclusive.h"

namespace {

constexpr double HundredNanosecondsPerSecond = 1e7;

HRESULT Reactivate(CWasapiEndpoints& endpoints, WaveDirection direction, std::uint32_t device,
                   IAudioClient*& client, const char*& call)
{
    client->Release();
    client = nullptr;
    return endpoints.Activate(direction, device, client, call);
}

HRESULT Initialize(IAudioClient* client, const WAVEFORMATEX* format, const WasapiExclusiveMode& mode,
                   REFERENCE_TIME duration, const char*& call)
{
    call = "IAudioClient::Initialize";
    const DWORD flags = mode.eventDriven ? AUDCLNT_STREAMFLAGS_EVENTCALLBACK : 0;
    return client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, flags, duration, mode.period, format, nullptr);
}

// One Initialize in `mode`, and once more on a new client at the size an
// aligning driver named.
HRESULT Attempt(CWasapiEndpoints& endpoints, WaveDirection direction, std::uint32_t device, IAudioClient*& client,
                const WAVEFORMATEX* format, WasapiExclusiveMode& mode, const char*& call)
{
    REFERENCE_TIME duration = mode.eventDriven ? mode.period : WasapiTimerBufferPeriods * mode.period;
    HRESULT hr = Initialize(client, format, mode, duration, call);
    if (hr != AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED)
        return hr;
    UINT32 frames = 0;
    call = "IAudioClient::GetBufferSize";
    if (FAILED(hr = client->GetBufferSize(&frames)))
        return hr;
    duration = static_cast<REFERENCE_TIME>(HundredNanosecondsPerSecond * frames / format->nSamplesPerSec + 0.5);
    if (mode.eventDriven)
        mode.period = duration;
    if (FAILED(hr = Reactivate(endpoints, direction, device, client, call)))
        return hr;
    return Initialize(client, format, mode, duration, call);
}

} // namespace

HRESULT InitialiseExclusive(CWasapiEndpoints& endpoints, WaveDirection direction, std::uint32_t device,
                            IAudioClient*& client, const WAVEFORMATEX* format, WasapiExclusiveMode& mode,
                            const char*& call)
{
    mode = WasapiExclusiveMode{};
    call = "IAudioClient::IsFormatSupported";
    HRESULT hr = client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, format, nullptr);
    if (hr != S_OK)
        return SUCCEEDED(hr) ? AUDCLNT_E_UNSUPPORTED_FORMAT : hr;
    call = "IAudioClient::GetDevicePeriod";
    hr = client->GetDevicePeriod(&mode.period, nullptr);
    if (FAILED(hr))
        return hr;
    const REFERENCE_TIME devicePeriod = mode.period;
    hr = Attempt(endpoints, direction, device, client, format, mode, call);
    if (hr != AUDCLNT_E_DEVICE_IN_USE)
        return hr;
    // The answer of an idle device under Wine: see the header.
    if (FAILED(hr = Reactivate(endpoints, direction, device, client, call)))
        return hr;
    mode.eventDriven = false;
    mode.period = devicePeriod;
    return Attempt(endpoints, direction, device, client, format, mode, call);
}
