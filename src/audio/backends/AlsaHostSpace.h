// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration space of an ALSA PCM as the device states it, read
// from snd_pcm_hw_params_any on a handle opened the way the streams open
// theirs (non-blocking, no automatic resampling, channel or format
// conversion), so that --list shows what the wave devices will meet.
#pragma once

#include <string>

#include "audio/WaveApi.h"

// `known` with the access types, sample formats and the channel, rate,
// period, buffer and period-count intervals; otherwise `known` false and
// `failure` naming the call that failed and alsa-lib's words
// ("snd_pcm_open: Device or resource busy"). Never throws but bad_alloc.
WaveHostSpace ReadAlsaHostSpace(const std::string& pcmName, WaveDirection direction);
