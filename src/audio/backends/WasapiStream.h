// SPDX-License-Identifier: GPL-3.0-or-later
// One open exclusive-mode WASAPI stream and the buffers the device layer
// queued on it: an output's buffers are copied into the endpoint's buffer
// as it has room, an input's filled from the packets it captured. Pump()
// moves what can be moved now; the back end's thread calls it on every
// event of the stream, a test calls it directly on fake interfaces.
//
// An output buffer is done only once its last frame has left the
// endpoint's buffer (the frames written less the padding still queued
// reach past it); an input buffer once it is full. While an output has
// nothing queued it is fed silence, so the device never replays stale
// data; silence is not counted toward any buffer.
#pragma once

#include <windows.h>

#include <audioclient.h>

#include <cstdint>
#include <deque>
#include <mutex>

#include "audio/WaveApi.h"

class CWasapiStream {
public:
    // `client` is initialised; `render` (output) or `capture` (input) is its
    // service, the other null. `bufferFrames` is the client's buffer size.
    // The stream takes no reference: the caller keeps the interfaces alive
    // while it exists.
    CWasapiStream(IAudioClient* client, IAudioRenderClient* render, IAudioCaptureClient* capture,
                  std::uint32_t blockAlign, std::uint32_t bufferFrames);

    // Takes a queued header (its flags already moved by MarkHeaderQueued).
    void Queue(WaveHeader* header);
    // True when `header` is queued here and not yet done.
    bool Holds(const WaveHeader* header) const;
    bool HasPending() const;

    // IAudioClient::Start / Stop. Start pre-fills an output's buffer first,
    // as exclusive mode asks, so it starts with data, not a glitch.
    HRESULT Start();
    HRESULT Stop();
    bool Running() const { return running; }
    // Stops the client, empties its buffer and hands every pending buffer
    // back done; an input's front buffer keeps what it recorded.
    HRESULT Reset();

    // One step of the stream. S_OK, or the HRESULT of the call that failed,
    // which `failedCall` then names ("IAudioRenderClient::GetBuffer").
    HRESULT Pump(const char*& failedCall);

    // Frames an input captured with no buffer queued to take them, and
    // packets the endpoint flagged as a discontinuity.
    std::uint64_t FramesDropped() const { return framesDropped; }
    std::uint64_t Discontinuities() const { return discontinuities; }

private:
    struct Pending {
        WaveHeader* header;
        std::uint32_t bytes;    // the buffer's length, whole frames only
        std::uint32_t done = 0; // bytes written (output) or recorded (input)
        std::uint64_t endFrame = 0; // output: the frame count written once its last frame was
    };

    HRESULT Feed(const char*& failedCall);
    HRESULT Drain(const char*& failedCall);
    // Copies up to `frames` frames of queued output into `to`; the frames copied.
    std::uint32_t CopyOut(std::uint8_t* to, std::uint32_t frames);
    void CompletePlayed(std::uint64_t framesPlayed);
    void CopyIn(const std::uint8_t* from, std::uint32_t frames, bool silent);

    IAudioClient* client;
    IAudioRenderClient* render;
    IAudioCaptureClient* capture;
    std::uint32_t blockAlign;
    std::uint32_t bufferFrames;
    mutable std::mutex mutex;
    std::deque<Pending> pending;
    std::uint64_t framesWritten = 0;
    std::uint64_t framesDropped = 0;
    std::uint64_t discontinuities = 0;
    bool running = false;
};
