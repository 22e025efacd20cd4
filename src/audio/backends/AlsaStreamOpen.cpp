// SPDX-License-Identifier: GPL-3.0-or-later
// Opening an ALSA device in exactly the format asked for, with the ring
// sizes the stream needs, keeping the name of the call that refused.
#include <algorithm>
#include <cerrno>
#include <new>
#include <string_view>
#include <system_error>

#include "audio/backends/AlsaStream.h"
#include "audio/backends/AlsaWaveApi.h"

namespace {

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

// The first failing call of a chain of alsa-lib calls, and its error.
struct CallChain {
    const char* call = nullptr;
    int error = 0;

    bool Ok(const char* name, int result)
    {
        if (call != nullptr)
            return false;
        if (result >= 0)
            return true;
        call = name;
        error = result;
        return false;
    }
};

void Describe(WaveHostDetail& detail, const CallChain& chain)
{
    if (chain.call == nullptr)
        return;
    try {
        detail.call = chain.call;
        detail.error = -chain.error;
        detail.text = snd_strerror(chain.error);
    } catch (const std::bad_alloc&) {
        // The code still says what happened; only the words are missing.
    }
}

struct Configured {
    snd_pcm_uframes_t period = 0;
    snd_pcm_uframes_t buffer = 0;
    bool canPause = false;
};

// Exact format, then the ring; false with the failing call in `chain`.
bool SetHardware(snd_pcm_t* pcm, WaveDirection direction, const WaveFormatInfo& format, CallChain& chain,
                 Configured& result)
{
    HwParams hw;
    if (hw.params == nullptr)
        return chain.Ok("snd_pcm_hw_params_malloc", -ENOMEM);
    snd_pcm_format_t sampleFormat = ContainerFormat(format.containerBytes);
    // Left alone some plugins choose enormous buffers; ask for 20 ms periods.
    snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(format.sampleRate / AlsaPeriodsPerSecond, 16);
    snd_pcm_uframes_t buffer =
        period * (direction == WaveDirection::Input ? AlsaInputPeriods : AlsaOutputPeriods);
    if (!(chain.Ok("snd_pcm_hw_params_any", snd_pcm_hw_params_any(pcm, hw.params)) &&
          chain.Ok("snd_pcm_hw_params_set_rate_resample", snd_pcm_hw_params_set_rate_resample(pcm, hw.params, 0)) &&
          chain.Ok("snd_pcm_hw_params_set_access",
                   snd_pcm_hw_params_set_access(pcm, hw.params, SND_PCM_ACCESS_RW_INTERLEAVED)) &&
          chain.Ok("snd_pcm_hw_params_set_format", snd_pcm_hw_params_set_format(pcm, hw.params, sampleFormat)) &&
          chain.Ok("snd_pcm_hw_params_set_channels",
                   snd_pcm_hw_params_set_channels(pcm, hw.params, format.channels)) &&
          chain.Ok("snd_pcm_hw_params_set_rate", snd_pcm_hw_params_set_rate(pcm, hw.params, format.sampleRate, 0)) &&
          chain.Ok("snd_pcm_hw_params_set_buffer_size_near",
                   snd_pcm_hw_params_set_buffer_size_near(pcm, hw.params, &buffer)) &&
          chain.Ok("snd_pcm_hw_params_set_period_size_near",
                   snd_pcm_hw_params_set_period_size_near(pcm, hw.params, &period, nullptr)) &&
          chain.Ok("snd_pcm_hw_params", snd_pcm_hw_params(pcm, hw.params))))
        return false;
    snd_pcm_hw_params_get_period_size(hw.params, &result.period, nullptr);
    snd_pcm_hw_params_get_buffer_size(hw.params, &result.buffer);
    result.canPause = snd_pcm_hw_params_can_pause(hw.params) != 0;

    // Valid bits beyond what the device declares significant are a format it
    // does not do, even though the container fits.
    int significant = snd_pcm_hw_params_get_sbits(hw.params);
    int width = snd_pcm_format_width(sampleFormat);
    if (significant <= 0 || significant > width)
        significant = width;
    return chain.Ok("snd_pcm_hw_params_get_sbits", format.validBits > significant ? -EINVAL : 0);
}

bool SetSoftware(snd_pcm_t* pcm, WaveDirection direction, const Configured& ring, CallChain& chain)
{
    SwParams sw;
    if (sw.params == nullptr)
        return chain.Ok("snd_pcm_sw_params_malloc", -ENOMEM);
    snd_pcm_uframes_t start = direction == WaveDirection::Output ? std::min(ring.period, ring.buffer) : 1;
    return chain.Ok("snd_pcm_sw_params_current", snd_pcm_sw_params_current(pcm, sw.params)) &&
           chain.Ok("snd_pcm_sw_params_set_avail_min", snd_pcm_sw_params_set_avail_min(pcm, sw.params, ring.period)) &&
           chain.Ok("snd_pcm_sw_params_set_start_threshold",
                    snd_pcm_sw_params_set_start_threshold(pcm, sw.params, start)) &&
           chain.Ok("snd_pcm_sw_params", snd_pcm_sw_params(pcm, sw.params)) &&
           chain.Ok("snd_pcm_prepare", snd_pcm_prepare(pcm));
}

} // namespace

WaveResult CAlsaStream::Open(const std::string& pcmName, WaveDirection direction, const WaveFormatInfo& format,
                             std::shared_ptr<CAlsaStream>& stream, WaveHostDetail& detail)
{
    detail = WaveHostDetail{};
    try {
        detail.deviceName = pcmName;
    } catch (const std::bad_alloc&) {
        return WaveErrNoMemory;
    }
    snd_pcm_stream_t kind = direction == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    snd_pcm_t* pcm = nullptr;
    CallChain chain;
    // No automatic conversion anywhere: the device must take the format as asked.
    if (!chain.Ok("snd_pcm_open", snd_pcm_open(&pcm, pcmName.c_str(), kind,
                                               SND_PCM_NONBLOCK | SND_PCM_NO_AUTO_RESAMPLE |
                                                   SND_PCM_NO_AUTO_CHANNELS | SND_PCM_NO_AUTO_FORMAT))) {
        Describe(detail, chain);
        return AlsaErrorToResult(chain.error, false);
    }
    Configured ring;
    bool formatStep = true;
    if (!SetHardware(pcm, direction, format, chain, ring) ||
        !(formatStep = false, SetSoftware(pcm, direction, ring, chain))) {
        Describe(detail, chain);
        snd_pcm_close(pcm);
        // Only the format's own settings answer EINVAL for "not this format".
        if (chain.call != nullptr && std::string_view(chain.call) == "snd_pcm_hw_params_any")
            formatStep = false;
        return AlsaErrorToResult(chain.error, formatStep);
    }
    try {
        stream.reset(new CAlsaStream(pcm, direction, format, ring.period, ring.buffer, ring.canPause, detail));
    } catch (const std::exception&) {
        // No memory for the stream, or no thread for its worker.
        chain.Ok("pthread_create", -ENOMEM);
        Describe(detail, chain);
        snd_pcm_close(pcm);
        return WaveErrNoMemory;
    }
    return WaveNoError;
}
