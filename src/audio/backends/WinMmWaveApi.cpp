// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/WinMmWaveApi.h"

#include "audio/WaveHeaderRules.h"

// Our constants have names of their own (WaveNoError, WaveHeaderDone...),
// with the platform's values, so the platform's headers may come in any order.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstring>
#include <string>

namespace {

WaveResult Cut(MMRESULT result)
{
    return static_cast<WaveResult>(result & 0xFFFFu);
}

struct Prepared {
    WaveHeader* header;
    WAVEHDR platform;
};

} // namespace

struct CWinMmWaveApi::Stream {
    WaveDirection direction;
    std::uint32_t device;
    HWAVEOUT out = nullptr;
    HWAVEIN in = nullptr;
    // Node-based, so each WAVEHDR keeps its address while the platform holds it.
    std::map<WaveHeader*, std::unique_ptr<Prepared>> headers;
};

namespace {

// The platform writes dwFlags from its own thread; read it as an atomic
// (an aligned DWORD) so the done bit is seen with the bytes before it.
void Mirror(Prepared& prepared)
{
    DWORD flags = std::atomic_ref<DWORD>(prepared.platform.dwFlags).load(std::memory_order_acquire);
    DWORD recorded = std::atomic_ref<DWORD>(prepared.platform.dwBytesRecorded).load(std::memory_order_relaxed);
    prepared.header->bytesRecorded.store(static_cast<std::uint32_t>(recorded), std::memory_order_relaxed);
    prepared.header->flags.store(static_cast<std::uint32_t>(flags), std::memory_order_release);
}

void MirrorAll(CWinMmWaveApi::Stream& stream)
{
    for (auto& entry : stream.headers)
        Mirror(*entry.second);
}

bool IsOutput(const CWinMmWaveApi::Stream& stream)
{
    return stream.direction == WaveDirection::Output;
}

std::string ErrorText(WaveDirection direction, MMRESULT result)
{
    char text[MAXERRORLENGTH] = {};
    MMRESULT got = direction == WaveDirection::Output ? waveOutGetErrorTextA(result, text, sizeof text)
                                                      : waveInGetErrorTextA(result, text, sizeof text);
    return got == WaveNoError ? std::string(text) : std::string();
}

} // namespace

CWinMmWaveApi::CWinMmWaveApi() = default;

CWinMmWaveApi::~CWinMmWaveApi()
{
    std::lock_guard lock(mutex);
    for (auto& entry : streams) {
        Stream& stream = *entry.second;
        for (auto& prepared : stream.headers) {
            WAVEHDR* header = &prepared.second->platform;
            if (IsOutput(stream)) {
                waveOutReset(stream.out);
                waveOutUnprepareHeader(stream.out, header, sizeof(WAVEHDR));
            } else {
                waveInReset(stream.in);
                waveInUnprepareHeader(stream.in, header, sizeof(WAVEHDR));
            }
            Mirror(*prepared.second);
        }
        if (IsOutput(stream))
            waveOutClose(stream.out);
        else
            waveInClose(stream.in);
    }
}

CWinMmWaveApi::Stream* CWinMmWaveApi::Find(WaveHandle handle)
{
    auto found = streams.find(handle);
    return found == streams.end() ? nullptr : found->second.get();
}

void CWinMmWaveApi::Fail(WaveDirection direction, std::uint32_t device, const char* call, unsigned result)
{
    WaveHostDetail& detail = details[{direction, device}];
    detail.call = call;
    detail.error = static_cast<int>(result);
    detail.text = ErrorText(direction, result);
}

void CWinMmWaveApi::Fail(const Stream& stream, const char* call, unsigned result)
{
    Fail(stream.direction, stream.device, call, result);
}

std::uint16_t CWinMmWaveApi::GetDeviceCount(WaveDirection direction)
{
    UINT count = direction == WaveDirection::Output ? waveOutGetNumDevs() : waveInGetNumDevs();
    return static_cast<std::uint16_t>(count > 0xFFFF ? 0xFFFF : count);
}

WaveResult CWinMmWaveApi::GetDeviceCaps(WaveDirection direction, std::uint32_t device, WaveDeviceCaps& caps)
{
    caps = WaveDeviceCaps{};
    MMRESULT result;
    if (direction == WaveDirection::Output) {
        WAVEOUTCAPSA record{};
        result = waveOutGetDevCapsA(device, &record, sizeof record);
        if (result == WaveNoError) {
            caps.manufacturerId = record.wMid;
            caps.productId = record.wPid;
            caps.driverVersion = record.vDriverVersion;
            std::memcpy(caps.productName, record.szPname, sizeof caps.productName);
            caps.formats = record.dwFormats;
            caps.channels = record.wChannels;
        }
    } else {
        WAVEINCAPSA record{};
        result = waveInGetDevCapsA(device, &record, sizeof record);
        if (result == WaveNoError) {
            caps.manufacturerId = record.wMid;
            caps.productId = record.wPid;
            caps.driverVersion = record.vDriverVersion;
            std::memcpy(caps.productName, record.szPname, sizeof caps.productName);
            caps.formats = record.dwFormats;
            caps.channels = record.wChannels;
        }
    }
    // The platform's name is terminated within its 32 bytes; never trust it.
    caps.productName[WaveProductNameLength - 1] = '\0';
    return Cut(result);
}

WaveResult CWinMmWaveApi::Open(WaveDirection direction, WaveHandle& handle, std::uint32_t device,
                               const void* format, WindowHandle callbackWindow, std::uintptr_t instance,
                               std::uint32_t flags)
{
    handle = 0;
    if (format == nullptr)
        return WaveErrInvalidParam;
    std::uint16_t tag;
    std::memcpy(&tag, format, sizeof tag);
    // The plain description has no size member; the platform reads one, so
    // give it the same 16 bytes followed by a size of 0.
    WAVEFORMATEX pcm{};
    const WAVEFORMATEX* description;
    if (tag == WaveFormatTagPcm) {
        std::memcpy(&pcm, format, sizeof(PcmWaveFormat));
        pcm.cbSize = 0;
        description = &pcm;
    } else if (tag == WaveFormatTagExtensible) {
        description = static_cast<const WAVEFORMATEX*>(format);
    } else {
        return WaveErrInvalidParam;
    }
    auto stream = std::make_unique<Stream>();
    stream->direction = direction;
    stream->device = device;
    DWORD_PTR callback = reinterpret_cast<DWORD_PTR>(callbackWindow);
    DWORD openFlags = flags | WAVE_FORMAT_DIRECT;
    std::lock_guard lock(mutex);
    MMRESULT result;
    if (direction == WaveDirection::Output)
        result = waveOutOpen(&stream->out, device, description, callback, instance, openFlags);
    else
        result = waveInOpen(&stream->in, device, description, callback, instance, openFlags);
    WaveHostDetail& detail = details[{direction, device}];
    detail = WaveHostDetail{};
    WaveDeviceCaps caps;
    if (GetDeviceCaps(direction, device, caps) == WaveNoError)
        detail.deviceName = caps.productName;
    if (result != WaveNoError) {
        Fail(direction, device, direction == WaveDirection::Output ? "waveOutOpen" : "waveInOpen", result);
        return Cut(result);
    }
    handle = nextHandle++;
    streams[handle] = std::move(stream);
    return WaveNoError;
}

WaveResult CWinMmWaveApi::Close(WaveHandle handle)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    MMRESULT result = IsOutput(*stream) ? waveOutClose(stream->out) : waveInClose(stream->in);
    if (result != WaveNoError) {
        Fail(*stream, IsOutput(*stream) ? "waveOutClose" : "waveInClose", result);
        MirrorAll(*stream);
        return Cut(result);
    }
    // Closed: the platform holds none of the WAVEHDRs any more.
    MirrorAll(*stream);
    streams.erase(handle);
    return WaveNoError;
}

WaveResult CWinMmWaveApi::PrepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
        return refusal;
    auto& slot = stream->headers[header];
    bool fresh = slot == nullptr;
    if (fresh)
        slot = std::make_unique<Prepared>();
    Prepared& prepared = *slot;
    if (fresh || !(prepared.platform.dwFlags & WaveHeaderPrepared)) {
        prepared.header = header;
        prepared.platform = WAVEHDR{};
        prepared.platform.lpData = reinterpret_cast<LPSTR>(header->data);
        prepared.platform.dwBufferLength = header->bufferLength;
        prepared.platform.dwUser = header->user;
        prepared.platform.dwFlags = header->flags.load() & (WaveHeaderBeginLoop | WaveHeaderEndLoop);
        prepared.platform.dwLoops = header->loops;
    }
    MMRESULT result = IsOutput(*stream) ? waveOutPrepareHeader(stream->out, &prepared.platform, sizeof(WAVEHDR))
                                        : waveInPrepareHeader(stream->in, &prepared.platform, sizeof(WAVEHDR));
    if (result != WaveNoError) {
        Fail(*stream, IsOutput(*stream) ? "waveOutPrepareHeader" : "waveInPrepareHeader", result);
        if (fresh)
            stream->headers.erase(header);
        return Cut(result);
    }
    Mirror(prepared);
    return WaveNoError;
}

WaveResult CWinMmWaveApi::UnprepareHeader(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckPrepareHeader(header, headerSize))
        return refusal;
    auto found = stream->headers.find(header);
    if (found == stream->headers.end()) {
        // Never prepared here: nothing for the platform to give back.
        header->flags.fetch_and(~WaveHeaderPrepared);
        return WaveNoError;
    }
    // The caller may have rewritten the flags; the platform's are the truth.
    Mirror(*found->second);
    if (WaveResult refusal = CheckUnprepareHeader(header, headerSize))
        return refusal;
    WAVEHDR* platform = &found->second->platform;
    MMRESULT result = IsOutput(*stream) ? waveOutUnprepareHeader(stream->out, platform, sizeof(WAVEHDR))
                                        : waveInUnprepareHeader(stream->in, platform, sizeof(WAVEHDR));
    Mirror(*found->second);
    if (result != WaveNoError) {
        Fail(*stream, IsOutput(*stream) ? "waveOutUnprepareHeader" : "waveInUnprepareHeader", result);
        return Cut(result);
    }
    stream->headers.erase(found);
    return WaveNoError;
}

WaveResult CWinMmWaveApi::QueueBuffer(WaveHandle handle, WaveHeader* header, std::uint32_t headerSize)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    if (WaveResult refusal = CheckHeaderBuffer(header, headerSize))
        return refusal;
    auto found = stream->headers.find(header);
    if (found == stream->headers.end() || !(found->second->platform.dwFlags & WaveHeaderPrepared))
        return WaveErrUnprepared;
    Mirror(*found->second);
    bool inPlatformQueue = (found->second->platform.dwFlags & WaveHeaderInQueue) != 0;
    if (WaveResult refusal = CheckQueueHeader(header, inPlatformQueue))
        return refusal;
    WAVEHDR* platform = &found->second->platform;
    MMRESULT result = IsOutput(*stream) ? waveOutWrite(stream->out, platform, sizeof(WAVEHDR))
                                        : waveInAddBuffer(stream->in, platform, sizeof(WAVEHDR));
    if (result != WaveNoError)
        Fail(*stream, IsOutput(*stream) ? "waveOutWrite" : "waveInAddBuffer", result);
    Mirror(*found->second);
    return Cut(result);
}

WaveResult CWinMmWaveApi::Control(WaveHandle handle, WaveDirection direction, const char* call,
                                  unsigned (*control)(Stream&))
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr || stream->direction != direction)
        return WaveErrInvalidHandle;
    MMRESULT result = control(*stream);
    if (result != WaveNoError)
        Fail(*stream, call, result);
    return Cut(result);
}

WaveResult CWinMmWaveApi::Start(WaveHandle handle)
{
    return Control(handle, WaveDirection::Input, "waveInStart",
                   [](Stream& stream) -> unsigned { return waveInStart(stream.in); });
}

WaveResult CWinMmWaveApi::Pause(WaveHandle handle)
{
    return Control(handle, WaveDirection::Output, "waveOutPause",
                   [](Stream& stream) -> unsigned { return waveOutPause(stream.out); });
}

WaveResult CWinMmWaveApi::Restart(WaveHandle handle)
{
    return Control(handle, WaveDirection::Output, "waveOutRestart",
                   [](Stream& stream) -> unsigned { return waveOutRestart(stream.out); });
}

WaveResult CWinMmWaveApi::Reset(WaveHandle handle)
{
    std::lock_guard lock(mutex);
    Stream* stream = Find(handle);
    if (stream == nullptr)
        return WaveErrInvalidHandle;
    MMRESULT result = IsOutput(*stream) ? waveOutReset(stream->out) : waveInReset(stream->in);
    if (result != WaveNoError)
        Fail(*stream, IsOutput(*stream) ? "waveOutReset" : "waveInReset", result);
    MirrorAll(*stream);
    return Cut(result);
}

void CWinMmWaveApi::Update(WaveHandle handle)
{
    std::lock_guard lock(mutex);
    if (Stream* stream = Find(handle))
        MirrorAll(*stream);
}

WaveHostDetail CWinMmWaveApi::HostDetail(WaveDirection direction, std::uint32_t device)
{
    std::lock_guard lock(mutex);
    auto found = details.find({direction, device});
    return found == details.end() ? WaveHostDetail{} : found->second;
}
