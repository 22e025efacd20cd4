// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/AlsaHostSpace.h"

#include <alsa/asoundlib.h>

namespace {

std::string Failure(const char* call, int error) { return std::string(call) + ": " + snd_strerror(error); }

void ReadSpace(snd_pcm_t* pcm, snd_pcm_hw_params_t* space, WaveHostSpace& out)
{
    for (int access = 0; access <= SND_PCM_ACCESS_LAST; ++access)
        if (snd_pcm_hw_params_test_access(pcm, space, static_cast<snd_pcm_access_t>(access)) == 0)
            out.access.emplace_back(snd_pcm_access_name(static_cast<snd_pcm_access_t>(access)));
    for (int format = 0; format <= SND_PCM_FORMAT_LAST; ++format) {
        const char* name = snd_pcm_format_name(static_cast<snd_pcm_format_t>(format));
        if (name != nullptr && snd_pcm_hw_params_test_format(pcm, space, static_cast<snd_pcm_format_t>(format)) == 0)
            out.formats.emplace_back(name);
    }
    // alsa-lib's intervals may be open at an end ("(0 2097152]": more than
    // 0); these counts are whole numbers, so an open end is the next one in.
    auto closed = [](auto value, int dir, bool minimum) {
        return dir == 0 ? value : minimum ? (dir > 0 ? value + 1 : value) : (dir < 0 && value > 0 ? value - 1 : value);
    };
    int dir = 0;
    snd_pcm_hw_params_get_channels_min(space, &out.channelsMin);
    snd_pcm_hw_params_get_channels_max(space, &out.channelsMax);
    unsigned rate = 0;
    if (snd_pcm_hw_params_get_rate_min(space, &rate, &dir) == 0)
        out.rateMin = closed(rate, dir, true);
    if (snd_pcm_hw_params_get_rate_max(space, &rate, &dir) == 0)
        out.rateMax = closed(rate, dir, false);
    snd_pcm_uframes_t frames = 0;
    if (snd_pcm_hw_params_get_period_size_min(space, &frames, &dir) == 0)
        out.periodMin = closed(frames, dir, true);
    if (snd_pcm_hw_params_get_period_size_max(space, &frames, &dir) == 0)
        out.periodMax = closed(frames, dir, false);
    if (snd_pcm_hw_params_get_buffer_size_min(space, &frames) == 0)
        out.bufferMin = frames;
    if (snd_pcm_hw_params_get_buffer_size_max(space, &frames) == 0)
        out.bufferMax = frames;
    unsigned periods = 0;
    if (snd_pcm_hw_params_get_periods_min(space, &periods, &dir) == 0)
        out.periodsMin = closed(periods, dir, true);
    if (snd_pcm_hw_params_get_periods_max(space, &periods, &dir) == 0)
        out.periodsMax = closed(periods, dir, false);
}

} // namespace

WaveHostSpace ReadAlsaHostSpace(const std::string& pcmName, WaveDirection direction)
{
    WaveHostSpace out;
    snd_pcm_t* pcm = nullptr;
    const snd_pcm_stream_t stream = direction == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    if (int error = snd_pcm_open(&pcm, pcmName.c_str(), stream,
                                 SND_PCM_NONBLOCK | SND_PCM_NO_AUTO_RESAMPLE | SND_PCM_NO_AUTO_CHANNELS |
                                     SND_PCM_NO_AUTO_FORMAT);
        error < 0) {
        out.failure = Failure("snd_pcm_open", error);
        return out;
    }
    snd_pcm_hw_params_t* space = nullptr;
    if (int error = snd_pcm_hw_params_malloc(&space); error < 0) {
        out.failure = Failure("snd_pcm_hw_params_malloc", error);
    } else if (error = snd_pcm_hw_params_any(pcm, space); error < 0) {
        out.failure = Failure("snd_pcm_hw_params_any", error);
    } else {
        ReadSpace(pcm, space, out);
        out.known = true;
    }
    snd_pcm_hw_params_free(space);
    snd_pcm_close(pcm);
    return out;
}
