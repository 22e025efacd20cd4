// One open ALSA device and the worker thread that moves its data. After the
// open every alsa-lib call on the device happens on the worker: the caller's
// controls (start, pause, restart, reset, close) are handed to it and
// waited for, so no two threads touch the PCM at once.
#pragma once

#include <alsa/asoundlib.h>

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

class CAlsaStream {
public:
    // Opens `pcmName` in exactly `format`; on success `stream` holds the
    // running worker.
    static WaveResult Open(const std::string& pcmName, WaveDirection direction, const WaveFormatInfo& format,
                           std::shared_ptr<CAlsaStream>& stream);
    ~CAlsaStream();
    CAlsaStream(const CAlsaStream&) = delete;
    CAlsaStream& operator=(const CAlsaStream&) = delete;

    WaveDirection Direction() const { return direction; }
    WaveResult Queue(WaveHeader* header);
    WaveResult Start();
    WaveResult Pause();
    WaveResult Restart();
    WaveResult Reset();
    // Stops the worker and releases the device; WAVERR_STILLPLAYING while
    // buffers are queued.
    WaveResult Close();

private:
    enum class Command { None, Start, Pause, Restart, Reset, Stop };

    CAlsaStream(snd_pcm_t* pcm, WaveDirection direction, const WaveFormatInfo& format, snd_pcm_uframes_t period,
                bool canPause);

    WaveResult Post(Command command);
    WaveResult Execute(Command command);
    void Run();
    void CaptureStep(std::unique_lock<std::mutex>& lock);
    void PlaybackStep(std::unique_lock<std::mutex>& lock);
    void CompletePlayed(std::unique_lock<std::mutex>& lock);
    // Mends an xrun or a suspend; false when the device is gone for good.
    bool Recover(int error);
    void Complete(WaveHeader* header, std::uint32_t bytes);
    void CompleteAll();

    snd_pcm_t* pcm;
    WaveDirection direction;
    WaveFormatInfo format;
    std::uint32_t frameBytes;
    snd_pcm_uframes_t period;
    bool canPause;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    Command command = Command::None;
    WaveResult commandResult = MMSYSERR_NOERROR;
    bool stopped = false;
    bool running = false;
    // Gone for good: no buffer will complete any more.
    bool failed = false;
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
    std::size_t writeIndex = 0;      // playback: queue index being written
    std::uint32_t writeOffset = 0;   // playback: bytes of that buffer written
    std::uint32_t loopsLeft = 0;
    std::uint64_t framesWritten = 0;
    std::deque<std::uint64_t> endFrames; // playback: where each fully written buffer ends
    std::vector<std::uint8_t> scratch;

    std::thread worker;
};
