// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/WasapiWaveApi.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "audio/DeviceName.h"
#include "audio/WaveFormatRules.h"
#include "audio/WaveHeaderRules.h"
#include "audio/backends/NoThrow.h"
#include "audio/backends/WasapiExclusive.h"
#include "audio/backends/WasapiFormat.h"
#include "audio/backends/WasapiResult.h"
#include "audio/backends/WasapiStream.h"

namespace {

std::size_t Slot(WaveDirection direction)
{
    return direction == WaveDirection::Output ? 0 : 1;
}

// The standard formats of a capability record, as descriptions to ask about.
struct StandardFormat {
    std::uint32_t bit;
    std::uint32_t rate;
    std::uint16_t channels;
    std::uint16_t bits;
};
constexpr StandardFormat StandardFormats[] = {
    {WaveFormat1M08, 11025, 1, 8},  {WaveFormat1S08, 11025, 2, 8},  {WaveFormat1M16, 11025, 1, 16},
    {WaveFormat1S16, 11025, 2, 16}, {WaveFormat2M08, 22050, 1, 8},  {WaveFormat2S08, 22050, 2, 8},
    {WaveFormat2M16, 22050, 1, 16}, {WaveFormat2S16, 22050, 2, 16}, {WaveFormat4M08, 44100, 1, 8},
    {WaveFormat4S08, 44100, 2, 8},  {WaveFormat4M16, 44100, 1, 16}, {WaveFormat4S16, 44100, 2, 16},
};

} // namespace

struct CWasapiWaveApi::Stream {
    WaveDirection direction;
    std::uint32_t device;
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
    IAudioCaptureClient* capture = nullptr;
    HANDLE event = nullptr;
    DWORD waitMilliseconds = 20;
    std::unique_ptr<CWasapiStream> pump;
    std::thread thread;
    std::atomic<bool> quit{false};
    std::atomic<bool> lost{false};
    bool paused = false;

    ~Stream()
    {
        if (render != nullptr)
            render->Release();
        if (capture != nullptr)
            capture->Release();
        if (client != nullptr)
            client->Release();
        if (event != nullptr)
            CloseHandle(event);
    }
};

CWasapiWaveApi::CWasapiWaveApi()
{
    HRESULT error = S_OK;
    endpoints = CreateMMDeviceEndpoints(error);
    for (WaveDirection direction : {WaveDirection::Output, WaveDirection::Input})
        lists[Slot(direction)] = endpoints->List(direction);
}

CWasapiWaveApi::CWasapiWaveApi(std::unique_ptr<CWasapiEndpoints> endpoints_) : endpoints(std::move(endpoints_))
{
    for (WaveDirection direction : {WaveDirection::Output, WaveDirection::Input})
        lists[Slot(direction)] = endpoints->List(direction);
}

CWasapiWaveApi::~CWasapiWaveApi()
{
    for (auto& entry : streams) {
        StopStream(*entry.second);
        entry.second->pump->Reset();
    }
}

std::uint16_t CWasapiWaveApi::GetDeviceCount(WaveDirection direction)
{
    return static_cast<std::uint16_t>(std::min<std::size_t>(lists[Slot(direction)].size(), 0xFFFF));
}

WaveResult CWasapiWaveApi::GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps)
{
    if (device >= GetDeviceCount(direction))
        return WaveErrBadDeviceId;
    return NoThrow([&] {
        caps = WaveDeviceCaps{};
        SetProductName(caps, WasapiNamePrefix + lists[Slot(direction)][device].name);
        std::lock_guard lock(mutex);
        const FoundCaps& found = Probe(direction, device);
        caps.formats = found.formats;
        caps.channels = found.channels;
        return WaveNoError;
    });
}

const CWasapiWaveApi::FoundCaps& CWasapiWaveApi::Probe(WaveDirection direction, std::uint32_t device)
{
    auto known = capsFound.find({direction, device});
    if (known != capsFound.end())
        return known->second;
    FoundCaps found;
    IAudioClient* client = nullptr;
    const char* call = nullptr;
    if (SUCCEEDED(endpoints->Activate(direction, device, client, call))) {
        for (const StandardFormat& f : StandardFormats) {
            const std::uint16_t blockAlign = static_cast<std::uint16_t>(f.channels * f.bits / 8);
            PcmWaveFormat plain{WaveFormatTagPcm, f.channels, f.rate, f.rate * blockAlign, blockAlign, f.bits};
            std::vector<std::uint8_t> bytes = WasapiFormatBytes(&plain);
            if (client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                          reinterpret_cast<const WAVEFORMATEX*>(bytes.data()), nullptr) == S_OK)
                found.formats |= f.bit;
        }
        WAVEFORMATEX* mix = nullptr;
        if (SUCCEEDED(client->GetMixFormat(&mix)) && mix != nullptr && mix->nChannels > 0)
            found.channels = mix->nChannels;
        CoTaskMemFree(mix);
        client->Release();
    }
    return capsFound[{direction, device}] = found;
}

void CWasapiWaveApi::Fail(WaveDirection direction, std::uint32_t device, const char* call, long hresult)
{
    WaveHostDetail& detail = details[{direction, device}];
    detail.call = call;
    detail.error = static_cast<int>(hresult);
    detail.text = HresultText(static_cast<std::int32_t>(hresult));
    detail.lost = detail.lost || HresultMeansLost(static_cast<std::int32_t>(hresult));
}

WaveResult CWasapiWaveApi::Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device,
                                const void* format, WindowHandle, std::uintptr_t, std::uint32_t)
{
    handle = 0;
    if (device >= GetDeviceCount(direction))
        return WaveErrBadDeviceId;
    WaveFormatInfo info;
    if (WaveResult refusal = ReadWaveFormat(format, info))
        return refusal;
    return NoThrow([&] {
        std::lock_guard lock(mutex);
        for (const auto& entry : streams)
            if (entry.second->direction == direction && entry.second->device == device)
                return WaveErrAllocated;
        WaveHostDetail fresh;
        fresh.deviceName = lists[Slot(direction)][device].id;
        details[{direction, device}] = fresh;
        std::vector<std::uint8_t> bytes = WasapiFormatBytes(format);
        IAudioClient* client = nullptr;
        const char* call = nullptr;
        WasapiExclusiveMode mode;
        HRESULT hr = endpoints->Activate(direction, device, client, call);
        if (SUCCEEDED(hr))
            hr = InitialiseExclusive(*endpoints, direction, device, client,
                                     reinterpret_cast<const WAVEFORMATEX*>(bytes.data()), mode, call);
        if (FAILED(hr)) {
            if (client != nullptr)
                client->Release();
            Fail(direction, device, call, hr);
            return WaveResultOfHresult(hr);
        }
        return Opened(direction, device, client, mode, info.blockAlign, handle);
    });
}

// The rest of an open on an initialised client: its event, its service and
// the pump thread. Takes the client; on failure releases it.
WaveResult CWasapiWaveApi::Opened(WaveDirection direction, std::uint32_t device, IAudioClient* client,
                                  const WasapiExclusiveMode& mode, std::uint32_t blockAlign, WaveHandle& handle)
{
    auto stream = std::make_unique<Stream>();
    stream->direction = direction;
    stream->device = device;
    stream->client = client;
    stream->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const char* call = "CreateEvent";
    HRESULT hr = stream->event != nullptr ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    UINT32 bufferFrames = 0;
    if (SUCCEEDED(hr) && mode.eventDriven && FAILED(hr = client->SetEventHandle(stream->event)))
        call = "IAudioClient::SetEventHandle";
    if (SUCCEEDED(hr) && FAILED(hr = client->GetBufferSize(&bufferFrames)))
        call = "IAudioClient::GetBufferSize";
    // Event-driven: an event each period, and twice that should one be
    // missed. Timer-driven: polled twice a period.
    const REFERENCE_TIME periodMs = std::max<REFERENCE_TIME>(mode.period / 10000, 2);
    stream->waitMilliseconds = static_cast<DWORD>(mode.eventDriven ? 2 * periodMs + 1 : periodMs / 2);
    if (SUCCEEDED(hr) && direction == WaveDirection::Output &&
        FAILED(hr = client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&stream->render))))
        call = "IAudioClient::GetService";
    if (SUCCEEDED(hr) && direction == WaveDirection::Input &&
        FAILED(hr = client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&stream->capture))))
        call = "IAudioClient::GetService";
    if (FAILED(hr)) {
        stream->render = nullptr;
        stream->capture = nullptr;
        Fail(direction, device, call, hr);
        return WaveResultOfHresult(hr);
    }
    stream->pump = std::make_unique<CWasapiStream>(client, stream->render, stream->capture, blockAlign, bufferFrames);
    Stream* raw = stream.get();
    stream->thread = std::thread([this, raw] { Pump(*raw); });
    handle = nextHandle++;
    streams[handle] = std::move(stream);
    return WaveNoError;
}

// The stream's thread: every event or time-out (WasapiExclusive.h) moves
// what the endpoint can take or give. A failure is the device's host detail;
// a device that went away is not pumped again.
void CWasapiWaveApi::Pump(Stream& stream)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    while (!stream.quit.load()) {
        WaitForSingleObject(stream.event, stream.waitMilliseconds);
        // The calls on the stream from the caller's thread hold the lock too.
        std::lock_guard lock(mutex);
        if (stream.quit.load() || stream.lost.load())
            continue;
        const char* call = nullptr;
        HRESULT hr = stream.pump->Pump(call);
        if (FAILED(hr)) {
            Fail(stream.direction, stream.device, call, hr);
            if (HresultMeansLost(static_cast<std::int32_t>(hr)))
                stream.lost = true;
        }
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}

void CWasapiWaveApi::StopStream(Stream& stream)
{
    stream.quit = true;
    if (stream.event != nullptr)
        SetEvent(stream.event);
    if (stream.thread.joinable())
        stream.thread.join();
}

CWasapiWaveApi::Stream* CWasapiWaveApi::Find(WaveHandle handle)
{
    auto found = streams.find(handle);
    return found == streams.end() ? nullptr : found->second.get();
}

WaveResult CWasapiWaveApi::Close(WaveHandle handle)
{
    std::unique_ptr<Stream> closing;
    {
        std::lock_guard lock(mutex);
        Stream* stream = Find(handle);
        if (stream == nullptr)
            return WaveErrInvalidHandle;
        if (stream->pump->HasPending())
            return WaveErrStillPlaying;
        closing = std::move(streams[handle]);
        streams.erase(handle);
    }
    // Joined outside the lock: the thread takes it to record a failure.
    StopStream(*closing);
    closing->pump->Stop();
    return WaveNoError;
}

WaveResult CWasapiWaveApi::PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    std::lock_guard lock(mutex);
    if (Find(handle) == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
        return refusal;
    MarkHeaderPrepared(*header);
    return WaveNoError;
}

WaveResult CWasapiWaveApi::UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckUnprepareHeader(header, headerSize))
        return refusal;
    if (stream->pump->Holds(header))
        return WaveErrStillPlaying;
    MarkHeaderUnprepared(*header);
    return WaveNoError;
}

WaveResult CWasapiWaveApi::QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckHeaderBuffer(header, headerSize))
        return refusal;
    if (WaveResult refusal = CheckQueueHeader(header, stream->pump->Holds(header)))
        return refusal;
    return NoThrow([&] {
        MarkHeaderQueued(*header, stream->direction);
        stream->pump->Queue(header);
        // An output plays what is queued at once unless paused.
        if (stream->direction == WaveDirection::Output && !stream->paused && !stream->pump->Running()) {
            HRESULT hr = stream->pump->Start();
            if (FAILED(hr)) {
                Fail(stream->direction, stream->device, "IAudioClient::Start", hr);
                return WaveResultOfHresult(hr);
            }
        }
        return WaveNoError;
    });
}

WaveResult CWasapiWaveApi::Start(WaveHandle handle)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr || stream->direction != WaveDirection::Input)
        return WaveErrInvalidHandle;
    HRESULT hr = stream->pump->Start();
    if (FAILED(hr))
        Fail(stream->direction, stream->device, "IAudioClient::Start", hr);
    return WaveResultOfHresult(hr);
}

WaveResult CWasapiWaveApi::Pause(WaveHandle handle)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr || stream->direction != WaveDirection::Output)
        return WaveErrInvalidHandle;
    stream->paused = true;
    HRESULT hr = stream->pump->Stop();
    if (FAILED(hr))
        Fail(stream->direction, stream->device, "IAudioClient::Stop", hr);
    return WaveResultOfHresult(hr);
}

WaveResult CWasapiWaveApi::Restart(WaveHandle handle)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr || stream->direction != WaveDirection::Output)
        return WaveErrInvalidHandle;
    stream->paused = false;
    HRESULT hr = stream->pump->Start();
    if (FAILED(hr))
        Fail(stream->direction, stream->device, "IAudioClient::Start", hr);
    return WaveResultOfHresult(hr);
}

WaveResult CWasapiWaveApi::Reset(WaveHandle handle)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    HRESULT hr = stream->pump->Reset();
    if (FAILED(hr) && !stream->lost)
        Fail(stream->direction, stream->device, "IAudioClient::Reset", hr);
    // A lost device's buffers are handed back all the same.
    return WaveNoError;
}

WaveHostDetail CWasapiWaveApi::HostDetail(WaveDirection direction, std::uint32_t device)
{
    std::lock_guard lock(mutex);
    if (device >= lists[Slot(direction)].size())
        return {};
    try {
        auto found = details.find({direction, device});
        WaveHostDetail detail = found != details.end() ? found->second : WaveHostDetail{};
        detail.deviceName = lists[Slot(direction)][device].id;
        for (const auto& entry : streams)
            if (entry.second->direction == direction && entry.second->device == device) {
                detail.lost = detail.lost || entry.second->lost;
                detail.xruns = entry.second->pump->Discontinuities();
                detail.framesLost = entry.second->pump->FramesDropped();
            }
        return detail;
    } catch (...) {
        return {}; // no copy to be had
    }
}
