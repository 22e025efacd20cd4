#include "audio/backends/AlsaStream.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

#include "audio/backends/AlsaWaveApi.h"

namespace {

// Short enough that a control handed to the worker is taken up at once,
// long enough not to spin.
constexpr int WaitMilliseconds = 10;
constexpr unsigned PeriodsPerSecond = 50;
constexpr unsigned PeriodsPerBuffer = 4;

std::atomic<std::uint32_t> recoveredXruns{0};

snd_pcm_format_t ContainerFormat(std::uint16_t containerBytes)
{
    switch (containerBytes) {
    case 1: return SND_PCM_FORMAT_U8;
    case 2: return SND_PCM_FORMAT_S16_LE;
    case 3: return SND_PCM_FORMAT_S24_3LE;
    default: return SND_PCM_FORMAT_S32_LE;
    }
}

struct HwParams {
    snd_pcm_hw_params_t* params = nullptr;
    HwParams() { snd_pcm_hw_params_malloc(&params); }
    ~HwParams() { snd_pcm_hw_params_free(params); }
    HwParams(const HwParams&) = delete;
    HwParams& operator=(const HwParams&) = delete;
};

struct SwParams {
    snd_pcm_sw_params_t* params = nullptr;
    SwParams() { snd_pcm_sw_params_malloc(&params); }
    ~SwParams() { snd_pcm_sw_params_free(params); }
    SwParams(const SwParams&) = delete;
    SwParams& operator=(const SwParams&) = delete;
};

} // namespace

std::uint32_t AlsaRecoveredXruns()
{
    return recoveredXruns.load();
}

WaveResult CAlsaStream::Open(const std::string& pcmName, WaveDirection direction, const WaveFormatInfo& format,
                             std::shared_ptr<CAlsaStream>& stream)
{
    snd_pcm_stream_t kind = direction == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    snd_pcm_t* pcm = nullptr;
    // No automatic conversion anywhere: the device must take the format as asked.
    int error = snd_pcm_open(&pcm, pcmName.c_str(), kind,
                             SND_PCM_NONBLOCK | SND_PCM_NO_AUTO_RESAMPLE | SND_PCM_NO_AUTO_CHANNELS |
                                 SND_PCM_NO_AUTO_FORMAT);
    if (error < 0)
        return AlsaErrorToResult(error, false);

    auto fail = [&](int code, bool formatStep) {
        snd_pcm_close(pcm);
        return AlsaErrorToResult(code, formatStep);
    };

    HwParams hw;
    if (hw.params == nullptr)
        return fail(-ENOMEM, false);
    snd_pcm_format_t sampleFormat = ContainerFormat(format.containerBytes);
    if ((error = snd_pcm_hw_params_any(pcm, hw.params)) < 0)
        return fail(error, false);
    if ((error = snd_pcm_hw_params_set_rate_resample(pcm, hw.params, 0)) < 0 ||
        (error = snd_pcm_hw_params_set_access(pcm, hw.params, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (error = snd_pcm_hw_params_set_format(pcm, hw.params, sampleFormat)) < 0 ||
        (error = snd_pcm_hw_params_set_channels(pcm, hw.params, format.channels)) < 0 ||
        (error = snd_pcm_hw_params_set_rate(pcm, hw.params, format.sampleRate, 0)) < 0)
        return fail(error, true);
    // Left alone some plugins choose enormous buffers; ask for 20 ms periods.
    snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(format.sampleRate / PeriodsPerSecond, 16);
    snd_pcm_uframes_t bufferSize = period * PeriodsPerBuffer;
    if ((error = snd_pcm_hw_params_set_buffer_size_near(pcm, hw.params, &bufferSize)) < 0 ||
        (error = snd_pcm_hw_params_set_period_size_near(pcm, hw.params, &period, nullptr)) < 0)
        return fail(error, true);
    if ((error = snd_pcm_hw_params(pcm, hw.params)) < 0)
        return fail(error, true);
    snd_pcm_hw_params_get_period_size(hw.params, &period, nullptr);
    snd_pcm_hw_params_get_buffer_size(hw.params, &bufferSize);

    // Valid bits beyond what the device declares significant are a format it
    // does not do, even though the container fits.
    int significant = snd_pcm_hw_params_get_sbits(hw.params);
    int width = snd_pcm_format_width(sampleFormat);
    if (significant <= 0 || significant > width)
        significant = width;
    if (format.validBits > significant)
        return fail(-EINVAL, true);
    bool canPause = snd_pcm_hw_params_can_pause(hw.params) != 0;

    SwParams sw;
    if (sw.params == nullptr)
        return fail(-ENOMEM, false);
    if ((error = snd_pcm_sw_params_current(pcm, sw.params)) < 0 ||
        (error = snd_pcm_sw_params_set_avail_min(pcm, sw.params, period)) < 0 ||
        (error = snd_pcm_sw_params_set_start_threshold(
             pcm, sw.params, direction == WaveDirection::Output ? std::min(period, bufferSize) : 1)) < 0 ||
        (error = snd_pcm_sw_params(pcm, sw.params)) < 0)
        return fail(error, false);
    if ((error = snd_pcm_prepare(pcm)) < 0)
        return fail(error, false);

    stream.reset(new CAlsaStream(pcm, direction, format, period, canPause));
    return MMSYSERR_NOERROR;
}

CAlsaStream::CAlsaStream(snd_pcm_t* device, WaveDirection streamDirection, const WaveFormatInfo& streamFormat,
                         snd_pcm_uframes_t periodFrames, bool pauses)
    : pcm(device), direction(streamDirection), format(streamFormat), frameBytes(streamFormat.blockAlign),
      period(periodFrames), canPause(pauses), scratch(periodFrames * streamFormat.blockAlign)
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

WaveResult CAlsaStream::Queue(WaveHeader* header)
{
    std::lock_guard lock(mutex);
    if (stopped)
        return MMSYSERR_INVALHANDLE;
    // Rewriting a header wipes its in-queue mark, so look for it as well.
    if (std::any_of(queue.begin(), queue.end(), [header](const Queued& entry) { return entry.header == header; }))
        return WAVERR_STILLPLAYING;
    if (direction == WaveDirection::Input)
        header->bytesRecorded.store(0, std::memory_order_relaxed);
    std::uint32_t flags = header->flags.load();
    header->flags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
    bool looping = direction == WaveDirection::Output && (flags & WHDR_BEGINLOOP);
    queue.push_back({header, header->data, header->bufferLength,
                     looping ? std::max<std::uint32_t>(header->loops, 1) : 1});
    wake.notify_all();
    return MMSYSERR_NOERROR;
}

WaveResult CAlsaStream::Start()
{
    return direction == WaveDirection::Input ? Post(Command::Start) : MMSYSERR_INVALHANDLE;
}

WaveResult CAlsaStream::Pause()
{
    return direction == WaveDirection::Output ? Post(Command::Pause) : MMSYSERR_INVALHANDLE;
}

WaveResult CAlsaStream::Restart()
{
    return direction == WaveDirection::Output ? Post(Command::Restart) : MMSYSERR_INVALHANDLE;
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
            return MMSYSERR_INVALHANDLE;
        if (!queue.empty())
            return WAVERR_STILLPLAYING;
    }
    Post(Command::Stop);
    worker.join();
    snd_pcm_close(pcm);
    pcm = nullptr;
    return MMSYSERR_NOERROR;
}

WaveResult CAlsaStream::Post(Command next)
{
    std::unique_lock lock(mutex);
    if (stopped)
        return MMSYSERR_INVALHANDLE;
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
            if (state != SND_PCM_STATE_RUNNING && (error = snd_pcm_start(pcm)) < 0)
                return AlsaErrorToResult(error, false);
            running = true;
        }
        return MMSYSERR_NOERROR;
    case Command::Pause:
        // Devices that cannot pause simply stop being fed: what is in their
        // ring still plays, then they underrun until restarted.
        if (running && canPause && state == SND_PCM_STATE_RUNNING && (error = snd_pcm_pause(pcm, 1)) < 0)
            return AlsaErrorToResult(error, false);
        running = false;
        return MMSYSERR_NOERROR;
    case Command::Restart:
        if (state == SND_PCM_STATE_PAUSED && (error = snd_pcm_pause(pcm, 0)) < 0)
            return AlsaErrorToResult(error, false);
        running = true;
        return MMSYSERR_NOERROR;
    case Command::Reset:
        snd_pcm_drop(pcm);
        snd_pcm_prepare(pcm);
        CompleteAll();
        if (direction == WaveDirection::Input)
            running = false;
        return MMSYSERR_NOERROR;
    case Command::Stop:
        snd_pcm_drop(pcm);
        stopped = true;
        return MMSYSERR_NOERROR;
    case Command::None:
        break;
    }
    return MMSYSERR_NOERROR;
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

bool CAlsaStream::Recover(int error)
{
    if (snd_pcm_recover(pcm, error, 1) < 0) {
        failed = true;
        return false;
    }
    ++recoveredXruns;
    // A resumed device runs on by itself; one prepared afresh must be started.
    if (direction == WaveDirection::Input && snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED && snd_pcm_start(pcm) < 0) {
        failed = true;
        return false;
    }
    return true;
}

void CAlsaStream::Complete(WaveHeader* header, std::uint32_t bytes)
{
    header->bytesRecorded.store(bytes, std::memory_order_relaxed);
    std::uint32_t flags = header->flags.load();
    header->flags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
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
}

void CAlsaStream::CaptureStep(std::unique_lock<std::mutex>& lock)
{
    Queued buffer = queue.empty() ? Queued{} : queue.front();
    WaveHeader* header = buffer.header;
    std::uint32_t filled = frontFilled;
    lock.unlock();

    int ready = snd_pcm_wait(pcm, WaitMilliseconds);
    snd_pcm_sframes_t moved = 0;
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
        if (frames > 0)
            moved = snd_pcm_readi(pcm, target, frames);
    }

    lock.lock();
    if (moved == -EAGAIN)
        return;
    if (moved < 0) {
        Recover(static_cast<int>(moved));
        return;
    }
    if (header == nullptr || command == Command::Reset || stopped || queue.empty() || queue.front().header != header)
        return;
    frontFilled += static_cast<std::uint32_t>(moved) * frameBytes;
    if (finished || (buffer.length - frontFilled) / frameBytes == 0) {
        Complete(header, frontFilled);
        queue.pop_front();
        frontFilled = 0;
    }
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
            } else if (room > 0) {
                snd_pcm_uframes_t frames =
                    std::min<snd_pcm_uframes_t>({static_cast<snd_pcm_uframes_t>(room), period, left});
                room = snd_pcm_writei(pcm, buffer.data + offset, frames);
            }
            moved = room;
        }
    } else {
        // Everything is written: make sure the tail is heard even when it is
        // shorter than the start threshold, then wait for it to play out.
        if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED && framesWritten > 0)
            snd_pcm_start(pcm);
    }

    lock.lock();
    if (moved == -EAGAIN)
        moved = 0;
    if (moved < 0) {
        // An underrun after the last frame was written means it all played.
        if (!Recover(static_cast<int>(moved)))
            return;
    }
    if (header != nullptr && command != Command::Reset && !stopped && writeIndex < queue.size() &&
        queue[writeIndex].header == header) {
        if (moved > 0) {
            writeOffset += static_cast<std::uint32_t>(moved) * frameBytes;
            framesWritten += static_cast<std::uint64_t>(moved);
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
    CompletePlayed(lock);
    // A device with room to spare reports ready at once: wait on the clock
    // (or a control) while the written tail plays out.
    if (header == nullptr && !queue.empty() && command == Command::None)
        wake.wait_for(lock, std::chrono::milliseconds(WaitMilliseconds));
}

void CAlsaStream::CompletePlayed(std::unique_lock<std::mutex>&)
{
    if (endFrames.empty())
        return;
    std::uint64_t played = framesWritten;
    switch (snd_pcm_state(pcm)) {
    case SND_PCM_STATE_XRUN:
        // The ring ran dry: everything written has been heard.
        break;
    case SND_PCM_STATE_RUNNING:
    case SND_PCM_STATE_DRAINING:
    case SND_PCM_STATE_PREPARED:
    case SND_PCM_STATE_PAUSED: {
        // What the device still holds (not started yet, held, or queued
        // ahead of the speaker) has not been heard.
        snd_pcm_sframes_t delay = 0;
        int error = snd_pcm_delay(pcm, &delay);
        if (error < 0 && error != -EPIPE)
            return;
        if (error == 0 && delay > 0)
            played -= std::min<std::uint64_t>(static_cast<std::uint64_t>(delay), framesWritten);
        break;
    }
    default:
        // Suspended, disconnected or not set up: nothing more is known to
        // have played, and a lost device leaves its buffers not done.
        return;
    }
    while (!endFrames.empty() && endFrames.front() <= played && !queue.empty()) {
        Complete(queue.front().header, queue.front().length);
        queue.pop_front();
        endFrames.pop_front();
        --writeIndex;
    }
}
