// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/AlsaStream.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>

#include "audio/WaveHeaderRules.h"
#include "audio/backends/AlsaWaveApi.h"
#include "audio/backends/NoThrow.h"

namespace {

// Short enough that a control handed to the worker is taken up at once and
// a finished buffer is seen well within one of the caller's polling steps,
// long enough not to spin.
constexpr int WaitMilliseconds = 10;
// A delay that has not moved for this long while the device runs with
// nothing more to play is stuck (sound-server plugins that never report 0).
constexpr auto StuckDelayTime = std::chrono::milliseconds(60);
// Mends in a row, each followed by a poll step's wait, after which a device
// that moves nothing is taken as gone (about 50 ms).
constexpr int MaxFruitlessMends = 5;

std::atomic<std::uint32_t> recoveredXruns{0};

} // namespace

std::uint32_t AlsaRecoveredXruns()
{
    return recoveredXruns.load();
}

CAlsaStream::CAlsaStream(snd_pcm_t* device, WaveDirection streamDirection, const WaveFormatInfo& streamFormat,
                         snd_pcm_uframes_t periodFrames, snd_pcm_uframes_t ringFrames, bool pauses,
                         const WaveHostDetail& openDetail)
    : pcm(device), direction(streamDirection), format(streamFormat), frameBytes(streamFormat.blockAlign),
      period(periodFrames), bufferFrames(ringFrames), canPause(pauses), detail(openDetail),
      scratch(periodFrames * streamFormat.blockAlign)
{
    // An output plays as soon as it is written to, unless paused.
    running = direction == WaveDirection::Output;
    worker = std::thread([this] { Run(); });
}

CAlsaStream::~CAlsaStream()
{
    if (worker.joinable()) {
        Reset();
        Close();
    }
}

WaveHostDetail CAlsaStream::Detail()
{
    std::lock_guard lock(mutex);
    return detail;
}

WaveResult CAlsaStream::Queue(WaveHeader* header)
{
    std::lock_guard lock(mutex);
    if (stopped)
        return WaveErrInvalidHandle;
    bool held = std::any_of(queue.begin(), queue.end(), [header](const Queued& entry) { return entry.header == header; });
    if (WaveResult refusal = CheckQueueHeader(header, held))
        return refusal;
    bool looping = direction == WaveDirection::Output && (header->flags.load() & WaveHeaderBeginLoop);
    return NoThrow([&] {
        queue.push_back({header, header->data, header->bufferLength,
                         looping ? std::max<std::uint32_t>(header->loops, 1) : 1});
        MarkHeaderQueued(*header, direction);
        wake.notify_all();
        return WaveNoError;
    });
}

WaveResult CAlsaStream::Start()
{
    return direction == WaveDirection::Input ? Post(Command::Start) : WaveErrInvalidHandle;
}

WaveResult CAlsaStream::Pause()
{
    return direction == WaveDirection::Output ? Post(Command::Pause) : WaveErrInvalidHandle;
}

WaveResult CAlsaStream::Restart()
{
    return direction == WaveDirection::Output ? Post(Command::Restart) : WaveErrInvalidHandle;
}

WaveResult CAlsaStream::Reset()
{
    return Post(Command::Reset);
}

WaveResult CAlsaStream::Close()
{
    {
        std::lock_guard lock(mutex);
        if (stopped)
            return WaveErrInvalidHandle;
        if (!queue.empty())
            return WaveErrStillPlaying;
    }
    Post(Command::Stop);
    worker.join();
    snd_pcm_close(pcm);
    pcm = nullptr;
    return WaveNoError;
}

WaveResult CAlsaStream::Post(Command next)
{
    std::unique_lock lock(mutex);
    if (stopped)
        return WaveErrInvalidHandle;
    done.wait(lock, [this] { return command == Command::None; });
    command = next;
    wake.notify_all();
    done.wait(lock, [this] { return command == Command::None; });
    return commandResult;
}

// Runs on the worker, with the lock held: the caller is waiting anyway.
WaveResult CAlsaStream::Execute(Command what)
{
    int error = 0;
    snd_pcm_state_t state = snd_pcm_state(pcm);
    switch (what) {
    case Command::Start:
        if (!running && !failed) {
            if (state != SND_PCM_STATE_RUNNING && (error = snd_pcm_start(pcm)) < 0) {
                NoteFailure("snd_pcm_start", error);
                return AlsaErrorToResult(error, false);
            }
            running = true;
            SetClock(framesRead);
        }
        return WaveNoError;
    case Command::Pause:
        // Devices that cannot pause simply stop being fed: what is in their
        // ring still plays, then they underrun until restarted.
        if (running && canPause && state == SND_PCM_STATE_RUNNING && (error = snd_pcm_pause(pcm, 1)) < 0) {
            NoteFailure("snd_pcm_pause", error);
            return AlsaErrorToResult(error, false);
        }
        running = false;
        clockSet = false;
        return WaveNoError;
    case Command::Restart:
        if (state == SND_PCM_STATE_PAUSED && (error = snd_pcm_pause(pcm, 0)) < 0) {
            NoteFailure("snd_pcm_pause", error);
            return AlsaErrorToResult(error, false);
        }
        running = true;
        lastDelay = -1;
        return WaveNoError;
    case Command::Reset:
        snd_pcm_drop(pcm);
        snd_pcm_prepare(pcm);
        CompleteAll();
        clockSet = false;
        if (direction == WaveDirection::Input)
            running = false;
        return WaveNoError;
    case Command::Stop:
        snd_pcm_drop(pcm);
        stopped = true;
        return WaveNoError;
    case Command::None:
        break;
    }
    return WaveNoError;
}

void CAlsaStream::Run()
{
    std::unique_lock lock(mutex);
    while (!stopped) {
        if (command != Command::None) {
            commandResult = Execute(command);
            command = Command::None;
            done.notify_all();
            continue;
        }
        bool playbackPending = direction == WaveDirection::Output && !queue.empty();
        // A lost device is not polled again: only a control wakes the worker.
        if (failed || !running || (direction == WaveDirection::Output && !playbackPending)) {
            wake.wait(lock);
            continue;
        }
        if (direction == WaveDirection::Input)
            CaptureStep(lock);
        else
            PlaybackStep(lock);
    }
}

void CAlsaStream::Idle(std::unique_lock<std::mutex>& lock)
{
    wake.wait_for(lock, std::chrono::milliseconds(WaitMilliseconds),
                  [this] { return command != Command::None || stopped; });
}

void CAlsaStream::NoteFailure(const char* call, int error)
{
    try {
        detail.call = call;
        detail.error = -error;
        detail.text = snd_strerror(error);
    } catch (const std::bad_alloc&) {
        // The detail is for the user's information; the stream goes on.
    }
}

void CAlsaStream::MarkLost(int error, const char* call)
{
    failed = true;
    detail.lost = true;
    NoteFailure(call, error);
}

void CAlsaStream::SetClock(std::uint64_t moved)
{
    clockStart = Clock::now();
    clockFrames = moved;
    clockSet = true;
}

std::uint64_t CAlsaStream::FramesMissed(std::uint64_t moved) const
{
    if (!clockSet)
        return 0;
    auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - clockStart).count();
    auto due = static_cast<std::uint64_t>(elapsed) * format.sampleRate / 1000000;
    std::uint64_t movedSince = moved - clockFrames;
    return due > movedSince ? due - movedSince : 0;
}

bool CAlsaStream::Recover(int error, const char* call, bool counted)
{
    if (snd_pcm_state(pcm) == SND_PCM_STATE_DISCONNECTED) {
        MarkLost(-ENODEV, call);
        return false;
    }
    // Only an xrun, a suspend or an interrupted call can be mended; any other
    // error from a stream that was running means the device went away.
    if (error != -EPIPE && error != -ESTRPIPE && error != -EINTR) {
        MarkLost(error, call);
        return false;
    }
    // A server that went away leaves some plugins in an xrun that every
    // mend brings straight back: with nothing moved since, it is lost.
    if (fruitlessMends >= MaxFruitlessMends) {
        // The first of those mends was counted as an xrun; it was the loss.
        if (fruitlessCounted) {
            --detail.xruns;
            detail.framesLost -= fruitlessMissed;
        }
        MarkLost(error, call);
        return false;
    }
    std::uint64_t moved = direction == WaveDirection::Input ? framesRead : framesWritten;
    std::uint64_t missed = error == -EPIPE ? FramesMissed(moved) : 0;
    int result = snd_pcm_recover(pcm, error, 1);
    if (result < 0) {
        MarkLost(result, "snd_pcm_recover");
        return false;
    }
    ++recoveredXruns;
    lastDelay = -1;
    bool firstMend = fruitlessMends++ == 0;
    if (firstMend)
        fruitlessCounted = false;
    if (error == -EPIPE && counted && firstMend) {
        ++detail.xruns;
        detail.framesLost += missed;
        fruitlessCounted = true;
        fruitlessMissed = missed;
    }
    // A resumed device runs on by itself; one prepared afresh must be started.
    if (direction == WaveDirection::Input && snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED &&
        (result = snd_pcm_start(pcm)) < 0) {
        MarkLost(result, "snd_pcm_start");
        return false;
    }
    // From here on the stream's time counts afresh (an output restarts at
    // its start threshold, so its clock is set again by the next write).
    if (direction == WaveDirection::Input)
        SetClock(framesRead);
    else
        clockSet = false;
    return true;
}

void CAlsaStream::Complete(WaveHeader* header, std::uint32_t bytes)
{
    MarkHeaderDone(*header, bytes);
}

void CAlsaStream::CompleteAll()
{
    bool first = true;
    for (const Queued& entry : queue) {
        Complete(entry.header, direction == WaveDirection::Input && first ? frontFilled : 0);
        first = false;
    }
    queue.clear();
    frontFilled = 0;
    writeIndex = 0;
    writeOffset = 0;
    framesWritten = 0;
    endFrames.clear();
    lastDelay = -1;
}

void CAlsaStream::CaptureStep(std::unique_lock<std::mutex>& lock)
{
    Queued buffer = queue.empty() ? Queued{} : queue.front();
    WaveHeader* header = buffer.header;
    std::uint32_t filled = frontFilled;
    lock.unlock();

    int ready = snd_pcm_wait(pcm, WaitMilliseconds);
    snd_pcm_sframes_t moved = 0;
    const char* call = "snd_pcm_wait";
    bool finished = false;
    if (ready < 0) {
        moved = ready;
    } else if (ready > 0) {
        std::uint8_t* target = scratch.data();
        snd_pcm_uframes_t frames = period;
        if (header != nullptr) {
            snd_pcm_uframes_t room = (buffer.length - filled) / frameBytes;
            frames = std::min(frames, room);
            target = buffer.data + filled;
            finished = room == 0;
        }
        if (frames > 0) {
            moved = snd_pcm_readi(pcm, target, frames);
            call = "snd_pcm_readi";
        }
    }

    lock.lock();
    if (moved < 0 && moved != -EAGAIN && !Recover(static_cast<int>(moved), call))
        return;
    if (moved > 0) {
        framesRead += static_cast<std::uint64_t>(moved);
        fruitlessMends = 0;
    }
    bool current = header != nullptr && command != Command::Reset && !stopped && !queue.empty() &&
                   queue.front().header == header;
    if (current && (moved > 0 || finished)) {
        if (moved > 0)
            frontFilled += static_cast<std::uint32_t>(moved) * frameBytes;
        if (finished || (buffer.length - frontFilled) / frameBytes == 0) {
            Complete(header, frontFilled);
            queue.pop_front();
            frontFilled = 0;
        }
        return;
    }
    // Ready but nothing to read (a plugin whose server went quiet), or an
    // xrun just mended: do not ask again at once.
    if (moved < 0 || (moved == 0 && ready != 0))
        Idle(lock);
}

void CAlsaStream::PlaybackStep(std::unique_lock<std::mutex>& lock)
{
    Queued buffer = writeIndex < queue.size() ? queue[writeIndex] : Queued{};
    WaveHeader* header = buffer.header;
    if (header != nullptr && writeOffset == 0 && loopsLeft == 0)
        loopsLeft = buffer.passes;
    std::uint32_t offset = writeOffset;
    lock.unlock();

    snd_pcm_sframes_t moved = 0;
    const char* call = "snd_pcm_avail_update";
    bool wholeBuffer = false;
    if (header != nullptr) {
        snd_pcm_uframes_t left = (buffer.length - offset) / frameBytes;
        // A buffer of no whole frame has nothing to write (and the room the
        // device has is no count of frames written).
        wholeBuffer = left == 0;
        if (!wholeBuffer) {
            snd_pcm_sframes_t room = snd_pcm_avail_update(pcm);
            if (room == 0 || room == -EAGAIN) {
                // Its own error: a suspended device must be resumed, which
                // keeps what it holds, not prepared afresh, which drops it.
                int waited = snd_pcm_wait(pcm, WaitMilliseconds);
                room = waited < 0 ? waited : 0;
                call = "snd_pcm_wait";
            } else if (room > 0) {
                snd_pcm_uframes_t frames =
                    std::min<snd_pcm_uframes_t>({static_cast<snd_pcm_uframes_t>(room), period, left});
                room = snd_pcm_writei(pcm, buffer.data + offset, frames);
                call = "snd_pcm_writei";
            }
            moved = room;
        }
    } else if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED && framesWritten > 0) {
        // Everything is written: make sure the tail is heard even when it is
        // shorter than the start threshold, then wait for it to play out.
        snd_pcm_start(pcm);
    }

    lock.lock();
    if (moved == -EAGAIN)
        moved = 0;
    if (moved < 0) {
        // Running dry because the caller queued nothing is no xrun of the stream's.
        bool counted = !starved;
        starved = false;
        if (!Recover(static_cast<int>(moved), call, counted))
            return;
    }
    if (header != nullptr && command != Command::Reset && !stopped && writeIndex < queue.size() &&
        queue[writeIndex].header == header) {
        if (moved > 0) {
            writeOffset += static_cast<std::uint32_t>(moved) * frameBytes;
            framesWritten += static_cast<std::uint64_t>(moved);
            starved = false;
            fruitlessMends = 0;
        }
        if (wholeBuffer || (buffer.length - writeOffset) / frameBytes == 0) {
            writeOffset = 0;
            if (--loopsLeft == 0 || wholeBuffer) {
                endFrames.push_back(framesWritten);
                ++writeIndex;
                loopsLeft = 0;
            }
        }
    }
    CompletePlayed();
    // With the ring full, or with only the written tail left to play, wait on
    // the clock (or a control) rather than ask the device again at once.
    if ((header == nullptr || moved <= 0) && !queue.empty() && command == Command::None && !failed)
        Idle(lock);
}

void CAlsaStream::CompleteWritten(std::uint64_t played)
{
    while (!endFrames.empty() && endFrames.front() <= played && !queue.empty()) {
        Complete(queue.front().header, queue.front().length);
        queue.pop_front();
        endFrames.pop_front();
        --writeIndex;
        lastDelay = -1; // the next buffer's tail is watched afresh
    }
    if (queue.empty())
        starved = true;
}

bool CAlsaStream::DelayIsStuck(snd_pcm_sframes_t delay)
{
    Clock::time_point now = Clock::now();
    // A delay that wanders but keeps finding new lows is still playing out.
    if (lastDelay < 0 || delay < lastDelay) {
        lastDelay = delay;
        delaySince = now;
        return false;
    }
    // Only a remnant counts as stuck: a large delay that stops is a stalled
    // device, and draining it could hold the worker for as long as it stalls.
    auto remnant = static_cast<snd_pcm_sframes_t>(std::max<snd_pcm_uframes_t>(2 * period, format.sampleRate / 20));
    return delay <= remnant && now - delaySince >= StuckDelayTime;
}

void CAlsaStream::CompletePlayed()
{
    if (endFrames.empty() || failed)
        return;
    // Plugins bring their position (and so the delay) up to date only here.
    snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm);
    snd_pcm_state_t state = snd_pcm_state(pcm);
    if (avail == -EPIPE || state == SND_PCM_STATE_XRUN) {
        // The ring ran dry: everything written has been heard.
        CompleteWritten(framesWritten);
        return;
    }
    if (state == SND_PCM_STATE_DISCONNECTED || (avail < 0 && avail != -EAGAIN && avail != -ESTRPIPE)) {
        MarkLost(avail < 0 ? static_cast<int>(avail) : -ENODEV, "snd_pcm_avail_update");
        return;
    }
    if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_DRAINING && state != SND_PCM_STATE_PREPARED &&
        state != SND_PCM_STATE_PAUSED)
        return; // suspended or not set up: nothing more is known to have played
    // What the device still holds (not started yet, held, or queued ahead of
    // the speaker) has not been heard.
    snd_pcm_sframes_t delay = 0;
    int error = snd_pcm_delay(pcm, &delay);
    if (error < 0 && error != -EPIPE)
        return;
    if (error == -EPIPE || delay < 0)
        delay = 0;
    std::uint64_t held = std::min<std::uint64_t>(static_cast<std::uint64_t>(delay), framesWritten);
    if (state == SND_PCM_STATE_RUNNING && !clockSet)
        SetClock(framesWritten - held);
    // A remnant that stays while the device runs with nothing more to play
    // has been played: sound-server plugins keep reporting their own latency
    // after the last frame was heard. Draining would say the same, but a
    // blocking drain can hold the worker for as long as a server stalls.
    bool allWritten = writeIndex == queue.size();
    if (!allWritten || state != SND_PCM_STATE_RUNNING)
        lastDelay = -1; // the watch starts once the last frame is written
    else if (delay > 0 && DelayIsStuck(delay))
        held = 0;
    CompleteWritten(framesWritten - held);
}
