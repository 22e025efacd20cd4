// SPDX-License-Identifier: GPL-3.0-or-later
/* What a sound server does to audio on its way from a playback stream to a
 * capture stream, for the test device's converting cable: the server runs at
 * its own rate and precision, so a stream at another rate is resampled there
 * and back, samples lose the bits below the server's precision, and dither
 * noise may be added before they are cut. Each step's formula is here, so a
 * test knows the truth:
 *   - samples are taken MSB-aligned in 32 bits (U8 around 128);
 *   - resampling (stream rate R other than the server's S): frame n becomes
 *     x[n] - (x[n] - x[n - 1]) a with a = frac(n S / R) (the product
 *     rounded towards zero), the round trip of a linear interpolator at the
 *     server's phase; frame -1 is silence, and
 *     where n S / R is whole the frame passes unchanged;
 *   - dither: a uniform integer in [-d L, d L] is added, where L is one step
 *     of the kept precision (2^(32 - bits)) and d the dither peak;
 *   - precision: the value is cut down to a multiple of L (the low bits
 *     dropped), clamped to the container's range, and stored.
 * No step set: the bytes pass unchanged. */
#pragma once

#include <alsa/asoundlib.h>

#include <stdint.h>

struct server_path {
    unsigned rate;    /* the server's rate; 0: no resampling */
    int bits;         /* precision kept, 1 to 32; 0: the container's */
    long dither;      /* dither peak in steps of that precision; 0: none */
    uint64_t random;  /* the dither's generator state */
    int32_t last[2];  /* the previous frame, MSB-aligned, for the resampler */
    unsigned char *scratch;
    size_t scratch_bytes;
};

/* Whether any step is set. */
int server_path_active(const struct server_path *path);
/* A stream starts afresh: no previous frame, the dither reseeded. */
void server_path_restart(struct server_path *path);
/* `count` frames at stream position `position` through the path; returns the
 * converted frames (in the path's scratch memory, valid until the next call),
 * or NULL when that memory cannot be had. Formats U8, S16_LE, S24_3LE and
 * S32_LE, one or two channels. */
const unsigned char *server_path_convert(struct server_path *path, snd_pcm_format_t format, unsigned channels,
                                         unsigned rate, snd_pcm_uframes_t position, const unsigned char *frames,
                                         snd_pcm_uframes_t count);
void server_path_free(struct server_path *path);
