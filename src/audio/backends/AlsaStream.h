// SPDX-License-Identifier: GPL-3.0-or-later
// One open ALSA device and the worker thread that moves its data. After the
// open every alsa-lib call on the device happens on the worker: the caller's
// controls (start, pause, restart, reset, close) are handed to it and
// waited for, so no two threads touch the PCM at once.
//
// The worker never spins: a step that moves nothing waits one poll step on
// its condition variable, and a device gone for good (disconnected, or an
// error that no recovery mends) is left alone until reset or closed. What
// failed, and the xruns mended, are kept in the stream's host detail.
#pragma once

#include <alsa/asoundlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/WaveApi.h"
#include "audio/WaveFormatRules.h"

// The stream's ring sizes: 20 ms periods; output rings of 4 periods keep
// the delay after the last write short, input rings of 25 periods (500 ms)
// let a busy machine or a sound server fall behind without an overrun.
constexpr unsigned AlsaPeriodsPerSecond = 50;
constexpr unsigned AlsaOutputPeriods = 4;
constexpr unsigned AlsaInputPeriods = 25;

class CAlsaStream {
public:
    // Opens `pcmName` in exactly `format`. On success returns
    // WaveNoError and `stream` holds the running worker; on failure the
    // code of AlsaErrorToResult (8 for a format the device does not take,
    // 7 when memory or the worker thread cannot be had) and `detail` names
    // the alsa-lib call that failed with its errno and snd_strerror text.
    // `detail.deviceName` is `pcmName` either way.
    static WaveResult Open(const std::string& pcmName, WaveDirection direction, const WaveFormatInfo& format,
                           std::shared_ptr<CAlsaStream>& stream, WaveHostDetail& detail);
    ~CAlsaStream();
    CAlsaStream(const CAlsaStream&) = delete;
    CAlsaStream& operator=(const CAlsaStream&) = delete;

    WaveDirection Direction() const { return direction; }
    // The ring the device gave, in frames.
    snd_pcm_uframes_t BufferFrames() const { return bufferFrames; }

    // Checks the header against what the stream holds (WaveHeaderRules) and
    // queues it: WaveNoError, WaveErrUnprepared, WaveErrStillPlaying,
    // WaveErrNoMemory, or WaveErrInvalidHandle once closed.
    WaveResult Queue(WaveHeader* header);
    // WaveNoError, the code of the alsa-lib call that failed, or
    // WaveErrInvalidHandle for the wrong direction or once closed.
    WaveResult Start();
    WaveResult Pause();
    WaveResult Restart();
    // Stops the stream and marks every queued buffer done; an input keeps
    // the bytes recorded into the front buffer. A lost device may be reset.
    WaveResult Reset();
    // Stops the worker and releases the device; WaveErrStillPlaying while
    // buffers are queued, WaveErrInvalidHandle the second time.
    WaveResult Close();

    // A copy of the detail as it stands (the worker updates it). May throw
    // std::bad_alloc; the wave API catches it.
    WaveHostDetail Detail();

private:
    enum class Command { None, Start, Pause, Restart, Reset, Stop };
    using Clock = std::chrono::steady_clock;

    CAlsaStream(snd_pcm_t* pcm, WaveDirection direction, const WaveFormatInfo& format, snd_pcm_uframes_t period,
                snd_pcm_uframes_t bufferFrames, bool canPause, const WaveHostDetail& detail);

    WaveResult Post(Command command);
    WaveResult Execute(Command command);
    void Run();
    void CaptureStep(std::unique_lock<std::mutex>& lock);
    void PlaybackStep(std::unique_lock<std::mutex>& lock);
    void CompletePlayed();
    void CompleteWritten(std::uint64_t played);
    // The delay has stayed at a small remnant for a while without falling.
    bool DelayIsStuck(snd_pcm_sframes_t delay);
    // Mends an xrun or a suspend and counts it; anything else, or a mend
    // that fails, marks the device lost. False when it is lost.
    // `counted`: an output that ran dry because nothing was queued loses
    // no frame of a buffer, so its mend is no xrun of the stream's.
    bool Recover(int error, const char* call, bool counted = true);
    void MarkLost(int error, const char* call);
    void NoteFailure(const char* call, int error);
    // A step that moved nothing waits here instead of polling again at once.
    void Idle(std::unique_lock<std::mutex>& lock);
    // Frames that should have moved since the clock was last set but did
    // not: the gap an xrun left.
    std::uint64_t FramesMissed(std::uint64_t moved) const;
    void SetClock(std::uint64_t moved);
    void Complete(WaveHeader* header, std::uint32_t bytes);
    void CompleteAll();

    snd_pcm_t* pcm;
    WaveDirection direction;
    WaveFormatInfo format;
    std::uint32_t frameBytes;
    snd_pcm_uframes_t period;
    snd_pcm_uframes_t bufferFrames;
    bool canPause;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    Command command = Command::None;
    WaveResult commandResult = WaveNoError;
    bool stopped = false;
    bool running = false;
    // Gone for good: no buffer will complete any more.
    bool failed = false;
    WaveHostDetail detail;
    // A queued buffer as it was handed over: the caller may rewrite the
    // header of a slot in flight, which must not move what is filled.
    struct Queued {
        WaveHeader* header = nullptr;
        std::uint8_t* data = nullptr;
        std::uint32_t length = 0;
        std::uint32_t passes = 1; // a looping output buffer plays more than once
    };
    std::deque<Queued> queue;

    // Worker-only bookkeeping.
    std::uint32_t frontFilled = 0;   // capture: bytes of the front buffer recorded
    std::uint64_t framesRead = 0;    // capture: frames read since open
    std::size_t writeIndex = 0;      // playback: queue index being written
    std::uint32_t writeOffset = 0;   // playback: bytes of that buffer written
    std::uint32_t loopsLeft = 0;
    std::uint64_t framesWritten = 0;
    bool starved = false; // playback: every buffer was done when the device last ran
    int fruitlessMends = 0; // xruns mended in a row with no frame moved since
    bool fruitlessCounted = false; // the first of them was counted as an xrun
    std::uint64_t fruitlessMissed = 0; // with these frames lost
    std::deque<std::uint64_t> endFrames; // playback: where each fully written buffer ends
    // Where the stream's own time was last taken, to tell how much an xrun cost.
    Clock::time_point clockStart{};
    std::uint64_t clockFrames = 0;
    bool clockSet = false;
    // Playback: the last delay seen and since when it has not moved.
    snd_pcm_sframes_t lastDelay = -1;
    Clock::time_point delaySince{};
    std::vector<std::uint8_t> scratch;

    std::thread worker;
};
