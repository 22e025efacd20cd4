// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/WasapiStream.h"

#include <algorithm>
#include <cstring>

#include "audio/WaveHeaderRules.h"

CWasapiStream::CWasapiStream(IAudioClient* client_, IAudioRenderClient* render_, IAudioCaptureClient* capture_,
                             std::uint32_t blockAlign_, std::uint32_t bufferFrames_)
    : client(client_), render(render_), capture(capture_), blockAlign(blockAlign_ == 0 ? 1 : blockAlign_),
      bufferFrames(bufferFrames_)
{
}

void CWasapiStream::Queue(WaveHeader* header)
{
    std::lock_guard lock(mutex);
    const std::uint32_t whole = header->bufferLength - header->bufferLength % blockAlign;
    pending.push_back({header, whole});
}

bool CWasapiStream::Holds(const WaveHeader* header) const
{
    std::lock_guard lock(mutex);
    return std::any_of(pending.begin(), pending.end(), [&](const Pending& p) { return p.header == header; });
}

bool CWasapiStream::HasPending() const
{
    std::lock_guard lock(mutex);
    return !pending.empty();
}

HRESULT CWasapiStream::Start()
{
    if (running)
        return S_OK;
    if (render != nullptr) {
        const char* call = nullptr;
        HRESULT hr = Feed(call);
        if (FAILED(hr))
            return hr;
    }
    HRESULT hr = client->Start();
    running = SUCCEEDED(hr);
    return hr;
}

HRESULT CWasapiStream::Stop()
{
    if (!running)
        return S_OK;
    HRESULT hr = client->Stop();
    running = false;
    return hr;
}

HRESULT CWasapiStream::Reset()
{
    HRESULT stopped = Stop();
    HRESULT reset = client->Reset();
    std::deque<Pending> handedBack;
    {
        std::lock_guard lock(mutex);
        handedBack.swap(pending);
        framesWritten = 0;
    }
    for (Pending& p : handedBack)
        MarkHeaderDone(*p.header, capture != nullptr ? p.done : 0);
    return FAILED(stopped) ? stopped : reset;
}

HRESULT CWasapiStream::Pump(const char*& failedCall)
{
    if (!running)
        return S_OK;
    return render != nullptr ? Feed(failedCall) : Drain(failedCall);
}

HRESULT CWasapiStream::Feed(const char*& failedCall)
{
    UINT32 padding = 0;
    HRESULT hr = client->GetCurrentPadding(&padding);
    if (FAILED(hr)) {
        failedCall = "IAudioClient::GetCurrentPadding";
        return hr;
    }
    padding = std::min(padding, bufferFrames);
    CompletePlayed(framesWritten - std::min<std::uint64_t>(framesWritten, padding));
    const std::uint32_t room = bufferFrames - padding;
    if (room == 0)
        return S_OK;
    BYTE* to = nullptr;
    hr = render->GetBuffer(room, &to);
    if (FAILED(hr)) {
        failedCall = "IAudioRenderClient::GetBuffer";
        return hr;
    }
    const std::uint32_t copied = CopyOut(to, room);
    // Silence after the last queued frame: the device never replays stale data.
    if (copied < room)
        std::memset(to + std::size_t{copied} * blockAlign, 0, std::size_t{room - copied} * blockAlign);
    hr = render->ReleaseBuffer(room, 0);
    if (FAILED(hr)) {
        failedCall = "IAudioRenderClient::ReleaseBuffer";
        return hr;
    }
    framesWritten += room;
    return S_OK;
}

std::uint32_t CWasapiStream::CopyOut(std::uint8_t* to, std::uint32_t frames)
{
    std::lock_guard lock(mutex);
    std::uint32_t copied = 0;
    for (Pending& p : pending) {
        if (copied == frames)
            break;
        if (p.done == p.bytes)
            continue;
        const std::uint32_t take = std::min((p.bytes - p.done) / blockAlign, frames - copied);
        std::memcpy(to + std::size_t{copied} * blockAlign, p.header->data + p.done, std::size_t{take} * blockAlign);
        p.done += take * blockAlign;
        copied += take;
        if (p.done == p.bytes)
            p.endFrame = framesWritten + copied;
    }
    return copied;
}

void CWasapiStream::CompletePlayed(std::uint64_t framesPlayed)
{
    std::lock_guard lock(mutex);
    // A buffer of no whole frame is done once everything before it is.
    while (!pending.empty() && pending.front().done == pending.front().bytes &&
           pending.front().endFrame <= framesPlayed) {
        WaveHeader* header = pending.front().header;
        pending.pop_front();
        MarkHeaderDone(*header, header->bufferLength);
    }
}

HRESULT CWasapiStream::Drain(const char*& failedCall)
{
    for (;;) {
        UINT32 packet = 0;
        HRESULT hr = capture->GetNextPacketSize(&packet);
        if (FAILED(hr)) {
            failedCall = "IAudioCaptureClient::GetNextPacketSize";
            return hr;
        }
        if (packet == 0)
            return S_OK;
        BYTE* from = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        hr = capture->GetBuffer(&from, &frames, &flags, nullptr, nullptr);
        if (FAILED(hr)) {
            failedCall = "IAudioCaptureClient::GetBuffer";
            return hr;
        }
        if (hr == AUDCLNT_S_BUFFER_EMPTY)
            return S_OK;
        if ((flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0)
            ++discontinuities;
        CopyIn(from, frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0);
        hr = capture->ReleaseBuffer(frames);
        if (FAILED(hr)) {
            failedCall = "IAudioCaptureClient::ReleaseBuffer";
            return hr;
        }
    }
}

void CWasapiStream::CopyIn(const std::uint8_t* from, std::uint32_t frames, bool silent)
{
    std::lock_guard lock(mutex);
    std::uint32_t copied = 0;
    while (copied < frames && !pending.empty()) {
        Pending& p = pending.front();
        const std::uint32_t take = std::min((p.bytes - p.done) / blockAlign, frames - copied);
        std::uint8_t* to = p.header->data + p.done;
        const std::size_t bytes = std::size_t{take} * blockAlign;
        if (silent || from == nullptr)
            std::memset(to, 0, bytes);
        else
            std::memcpy(to, from + std::size_t{copied} * blockAlign, bytes);
        p.done += static_cast<std::uint32_t>(bytes);
        copied += take;
        if (p.done == p.bytes) {
            WaveHeader* header = p.header;
            const std::uint32_t recorded = p.done;
            pending.pop_front();
            MarkHeaderDone(*header, recorded);
        }
    }
    framesDropped += frames - copied;
}
