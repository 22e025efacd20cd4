// SPDX-License-Identifier: GPL-3.0-or-later
// Audio clients in memory for the WASAPI pieces' tests: an endpoint buffer
// the test plays or fills between two pump calls, answers set per call,
// and a record of what the code under test asked. The tests own every
// object; reference counts are not kept.
#pragma once

#include <windows.h>

#include <audioclient.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "audio/backends/WasapiEndpoints.h"

class CFakeAudioClient : public IAudioClient {
public:
    struct InitializeCall {
        AUDCLNT_SHAREMODE mode;
        DWORD flags;
        REFERENCE_TIME duration, period;
    };

    explicit CFakeAudioClient(UINT32 frames = 8) : size(frames) {}
    virtual ~CFakeAudioClient() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return ++releases, 1; }
    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                         REFERENCE_TIME period, const WAVEFORMATEX*, LPCGUID) override
    {
        initializeCalls.push_back({mode, flags, duration, period});
        return initializeResult;
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* frames) override { return *frames = size, S_OK; }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32* padding) override { return *padding = queued, paddingResult; }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX*, WAVEFORMATEX**) override
    {
        return formatResult;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME* period, REFERENCE_TIME*) override
    {
        return *period = devicePeriod, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Start() override { return ++starts, S_OK; }
    HRESULT STDMETHODCALLTYPE Stop() override { return ++stops, S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return queued = 0, ++resets, S_OK; }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetService(REFIID, void**) override { return E_NOTIMPL; }

    UINT32 size;       // the endpoint buffer, in frames
    UINT32 queued = 0; // frames in it not yet played (output) or taken (input)
    REFERENCE_TIME devicePeriod = 100000;
    HRESULT initializeResult = S_OK, formatResult = S_OK, paddingResult = S_OK;
    std::vector<InitializeCall> initializeCalls;
    int starts = 0, stops = 0, resets = 0, releases = 0;
};

// An output endpoint: what is released is kept, and Play empties the buffer.
class CFakeRender : public CFakeAudioClient, public IAudioRenderClient {
public:
    CFakeRender(UINT32 frames, UINT32 blockAlign) : CFakeAudioClient(frames), buffer(frames * blockAlign), align(blockAlign) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** to) override { return CFakeAudioClient::QueryInterface(id, to); }
    ULONG STDMETHODCALLTYPE AddRef() override { return CFakeAudioClient::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CFakeAudioClient::Release(); }
    HRESULT STDMETHODCALLTYPE GetBuffer(UINT32 frames, BYTE** data) override
    {
        if (frames > size - queued)
            return AUDCLNT_E_BUFFER_TOO_LARGE;
        *data = buffer.data();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 frames, DWORD) override
    {
        played.insert(played.end(), buffer.begin(), buffer.begin() + frames * align);
        queued += frames;
        return S_OK;
    }
    // The device plays `frames` of what is queued.
    void Play(UINT32 frames) { queued -= std::min(queued, frames); }

    std::vector<BYTE> buffer;
    std::vector<BYTE> played; // every byte released, silence included
    UINT32 align;
};

// An input endpoint: packets the test captured, handed out in turn.
class CFakeCapture : public CFakeAudioClient, public IAudioCaptureClient {
public:
    struct Packet {
        std::vector<BYTE> bytes;
        DWORD flags = 0;
    };

    explicit CFakeCapture(UINT32 blockAlign) : align(blockAlign) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** to) override { return CFakeAudioClient::QueryInterface(id, to); }
    ULONG STDMETHODCALLTYPE AddRef() override { return CFakeAudioClient::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CFakeAudioClient::Release(); }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** data, UINT32* frames, DWORD* flags, UINT64*, UINT64*) override
    {
        if (packets.empty())
            return *frames = 0, AUDCLNT_S_BUFFER_EMPTY;
        *data = packets.front().bytes.data();
        *frames = static_cast<UINT32>(packets.front().bytes.size() / align);
        *flags = packets.front().flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32) override
    {
        packets.pop_front();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* frames) override
    {
        *frames = packets.empty() ? 0 : static_cast<UINT32>(packets.front().bytes.size() / align);
        return S_OK;
    }

    std::deque<Packet> packets;
    UINT32 align;
};

// Endpoints that hand out the test's clients in turn, one per Activate.
class CFakeEndpoints : public CWasapiEndpoints {
public:
    std::vector<WasapiEndpoint> List(WaveDirection) override { return {{"Speakers", "{endpoint}"}}; }
    HRESULT Activate(WaveDirection, std::uint32_t, IAudioClient*& client, const char*& call) override
    {
        call = "IMMDevice::Activate";
        if (activated == clients.size())
            return client = nullptr, E_OUTOFMEMORY;
        client = clients[activated++].get();
        return S_OK;
    }

    std::vector<std::unique_ptr<CFakeAudioClient>> clients;
    std::size_t activated = 0;
};
