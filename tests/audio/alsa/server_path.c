// SPDX-License-Identifier: GPL-3.0-or-later
#include "server_path.h"

#include <stdlib.h>
#include <string.h>

static const uint64_t dither_seed = 0x5EEDF00Dull;

int server_path_active(const struct server_path *path)
{
    return path->rate != 0 || path->bits != 0 || path->dither != 0;
}

void server_path_restart(struct server_path *path)
{
    path->last[0] = path->last[1] = 0;
    path->random = dither_seed;
}

void server_path_free(struct server_path *path)
{
    free(path->scratch);
    path->scratch = NULL;
    path->scratch_bytes = 0;
}

static int32_t load(const unsigned char *p, int width)
{
    switch (width) {
    case 1: return (int32_t)((uint32_t)(p[0] ^ 0x80) << 24);
    case 2: return (int32_t)((uint32_t)p[0] << 16 | (uint32_t)p[1] << 24);
    case 3: return (int32_t)((uint32_t)p[0] << 8 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 24);
    default: return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
    }
}

static void store(unsigned char *p, int32_t value, int width)
{
    uint32_t u = (uint32_t)value >> (32 - 8 * width);
    if (width == 1)
        u ^= 0x80;
    for (int b = 0; b < width; ++b)
        p[b] = (unsigned char)(u >> (8 * b));
}

/* splitmix64: the same noise on every run. */
static uint64_t next_random(struct server_path *path)
{
    uint64_t z = (path->random += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

static int32_t quantise(struct server_path *path, int64_t value, int width)
{
    int bits = path->bits > 0 && path->bits < 8 * width ? path->bits : 8 * width;
    int64_t step = (int64_t)1 << (32 - bits);
    if (path->dither > 0) {
        uint64_t span = (uint64_t)(2 * path->dither * step + 1);
        value += (int64_t)(next_random(path) % span) - path->dither * step;
    }
    /* Cut down to the precision: an arithmetic floor to a multiple of step. */
    value -= ((value % step) + step) % step;
    int64_t low = INT32_MIN, high = (int64_t)INT32_MAX - (step - 1);
    return (int32_t)(value < low ? low : value > high ? high : value);
}

const unsigned char *server_path_convert(struct server_path *path, snd_pcm_format_t format, unsigned channels,
                                         unsigned rate, snd_pcm_uframes_t position, const unsigned char *frames,
                                         snd_pcm_uframes_t count)
{
    int width = snd_pcm_format_physical_width(format) / 8;
    if (width < 1 || width > 4 || channels < 1 || channels > 2 || rate == 0)
        return NULL;
    size_t bytes = (size_t)count * channels * (size_t)width;
    if (bytes > path->scratch_bytes) {
        unsigned char *grown = realloc(path->scratch, bytes);
        if (grown == NULL)
            return NULL;
        path->scratch = grown;
        path->scratch_bytes = bytes;
    }
    int resample = path->rate != 0 && path->rate != rate;
    for (snd_pcm_uframes_t i = 0; i < count; ++i) {
        /* The server's phase at this frame, as a fraction of a frame. */
        uint64_t phase = resample ? (uint64_t)(position + i) * path->rate % rate : 0;
        for (unsigned c = 0; c < channels; ++c) {
            size_t at = ((size_t)i * channels + c) * (size_t)width;
            int32_t x = load(frames + at, width);
            int64_t y = x;
            if (phase != 0)
                y = x - ((int64_t)x - path->last[c]) * (int64_t)phase / (int64_t)rate;
            path->last[c] = x;
            store(path->scratch + at, quantise(path, y, width), width);
        }
    }
    return path->scratch;
}
