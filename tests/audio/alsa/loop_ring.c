// SPDX-License-Identifier: GPL-3.0-or-later
#include "loop_ring.h"

#include <errno.h>
#include <math.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* One start-to-stop run of the playback end: its stream position p is kept
 * at ring position origin + p. */
struct loop_session {
    int started;
    struct loop_clock clock;
    int64_t origin;
    int64_t written; /* one past the highest stream position written */
    int64_t stopped; /* where it stopped; INT64_MAX while it runs */
};

struct loop_ring {
    struct loop_ring *next;
    char *name;
    long delay;
    int ends;
    int playback;   /* a playback end is attached */
    int configured; /* ends set up */
    snd_pcm_format_t format;
    unsigned channels;
    unsigned rate;
    size_t frame_bytes;
    unsigned char *data;
    int64_t capacity; /* frames */
    int64_t end;      /* one past the highest ring position written */
    /* The run before the current one still reaches the capture end while
     * its last frames travel the delay. */
    struct loop_session before;
    struct loop_session now;
};

static pthread_mutex_t loop_lock = PTHREAD_MUTEX_INITIALIZER;
static struct loop_ring *loop_rings;

static int64_t max64(int64_t a, int64_t b) { return a > b ? a : b; }
static int64_t min64(int64_t a, int64_t b) { return a < b ? a : b; }

static struct loop_session fresh_session(int64_t origin)
{
    struct loop_session s;
    memset(&s, 0, sizeof s);
    s.origin = origin;
    s.stopped = INT64_MAX;
    return s;
}

int loop_ring_attach(const char *name, long delay, snd_pcm_stream_t stream, struct loop_ring **ring)
{
    if (delay < 0 || delay > LOOP_RING_MAX_DELAY)
        return -EINVAL;
    int err = 0;
    pthread_mutex_lock(&loop_lock);
    struct loop_ring *r = loop_rings;
    while (r != NULL && strcmp(r->name, name) != 0)
        r = r->next;
    if (r == NULL) {
        r = calloc(1, sizeof *r);
        if (r == NULL || (r->name = strdup(name)) == NULL) {
            free(r);
            err = -ENOMEM;
        } else {
            r->delay = delay;
            r->before = fresh_session(0);
            r->now = fresh_session(0);
            r->next = loop_rings;
            loop_rings = r;
        }
    } else if (r->delay != delay) {
        err = -EINVAL;
    } else if (stream == SND_PCM_STREAM_PLAYBACK && r->playback) {
        err = -EBUSY;
    }
    if (err == 0) {
        r->ends++;
        if (stream == SND_PCM_STREAM_PLAYBACK)
            r->playback = 1;
        *ring = r;
    }
    pthread_mutex_unlock(&loop_lock);
    return err;
}

void loop_ring_detach(struct loop_ring *ring, snd_pcm_stream_t stream)
{
    pthread_mutex_lock(&loop_lock);
    if (stream == SND_PCM_STREAM_PLAYBACK)
        ring->playback = 0;
    if (--ring->ends == 0) {
        struct loop_ring **link = &loop_rings;
        while (*link != ring)
            link = &(*link)->next;
        *link = ring->next;
        free(ring->data);
        free(ring->name);
        free(ring);
    }
    pthread_mutex_unlock(&loop_lock);
}

/* A new cable for the playback end's format: nothing played so far is kept. */
static int renew(struct loop_ring *r, size_t frame_bytes)
{
    int64_t capacity = r->delay + 3 * (int64_t)(LOOP_RING_MAX_BUFFER_BYTES / frame_bytes);
    unsigned char *data = calloc((size_t)capacity, frame_bytes);
    if (data == NULL)
        return -ENOMEM;
    free(r->data);
    r->data = data;
    r->capacity = capacity;
    r->end = 0;
    r->before = fresh_session(0);
    r->now = fresh_session(0);
    return 0;
}

int loop_ring_configure(struct loop_ring *ring, snd_pcm_format_t format, unsigned channels, unsigned rate,
                        snd_pcm_stream_t stream)
{
    ssize_t width = snd_pcm_format_physical_width(format);
    if (width <= 0 || width % 8 != 0 || channels == 0 || rate == 0)
        return -EINVAL;
    size_t frame_bytes = (size_t)width / 8 * channels;
    int err = 0;
    pthread_mutex_lock(&loop_lock);
    int differs = format != ring->format || channels != ring->channels || rate != ring->rate;
    if (ring->configured > 0 && differs) {
        err = -EINVAL;
    } else if (stream == SND_PCM_STREAM_PLAYBACK) {
        err = renew(ring, frame_bytes);
    } else if (differs && ring->data != NULL) {
        /* What a closed playback end left is in another format. */
        free(ring->data);
        ring->data = NULL;
    }
    if (err == 0) {
        ring->format = format;
        ring->channels = channels;
        ring->rate = rate;
        ring->frame_bytes = frame_bytes;
        ring->configured++;
    }
    pthread_mutex_unlock(&loop_lock);
    return err;
}

void loop_ring_unconfigure(struct loop_ring *ring, snd_pcm_stream_t stream)
{
    (void)stream;
    pthread_mutex_lock(&loop_lock);
    if (ring->configured > 0)
        ring->configured--;
    pthread_mutex_unlock(&loop_lock);
}

void loop_ring_play_start(struct loop_ring *ring, const struct loop_clock *clock)
{
    pthread_mutex_lock(&loop_lock);
    ring->now.started = 1;
    ring->now.clock = *clock;
    ring->now.stopped = INT64_MAX;
    pthread_mutex_unlock(&loop_lock);
}

void loop_ring_play_stop(struct loop_ring *ring, snd_pcm_uframes_t played)
{
    pthread_mutex_lock(&loop_lock);
    if (ring->now.started) {
        /* Run dry, it played all it was given. */
        ring->now.stopped = min64((int64_t)played, ring->now.written);
        ring->before = ring->now;
    }
    ring->now = fresh_session(ring->end);
    pthread_mutex_unlock(&loop_lock);
}

void loop_ring_write(struct loop_ring *ring, snd_pcm_uframes_t position, const unsigned char *frames,
                     snd_pcm_uframes_t count)
{
    pthread_mutex_lock(&loop_lock);
    if (ring->data != NULL && (int64_t)count <= ring->capacity) {
        int64_t at = ring->now.origin + (int64_t)position;
        for (int64_t done = 0; done < (int64_t)count;) {
            int64_t slot = (at + done) % ring->capacity;
            int64_t n = (int64_t)count - done;
            if (n > ring->capacity - slot)
                n = ring->capacity - slot;
            memcpy(ring->data + slot * ring->frame_bytes, frames + done * ring->frame_bytes,
                   (size_t)n * ring->frame_bytes);
            done += n;
        }
        if ((int64_t)(position + count) > ring->now.written)
            ring->now.written = (int64_t)(position + count);
        if (at + (int64_t)count > ring->end)
            ring->end = at + (int64_t)count;
    }
    pthread_mutex_unlock(&loop_lock);
}

/* What one playback run put into frames [position, position + count) of
 * the capture end's stream. */
static void copy_heard(const struct loop_ring *r, const struct loop_session *s, const struct loop_clock *clock,
                       snd_pcm_uframes_t position, unsigned char *out, snd_pcm_uframes_t count)
{
    if (!s->started)
        return;
    int64_t apart_ns = (int64_t)(clock->started.tv_sec - s->clock.started.tv_sec) * 1000000000 +
                       (clock->started.tv_nsec - s->clock.started.tv_nsec);
    int64_t shift = llround((double)apart_ns * r->rate / 1e9);
    /* The playback position heard at the capture's first frame asked. */
    int64_t first = (int64_t)(position - clock->base) + (int64_t)s->clock.base + shift - r->delay;
    int64_t from = max64(max64(first, (int64_t)s->clock.base), r->end - r->capacity - s->origin);
    int64_t to = min64(min64(first + (int64_t)count, s->written), s->stopped);
    for (int64_t p = from; p < to;) {
        int64_t slot = (s->origin + p) % r->capacity;
        int64_t n = min64(to - p, r->capacity - slot);
        memcpy(out + (p - first) * r->frame_bytes, r->data + slot * r->frame_bytes, (size_t)n * r->frame_bytes);
        p += n;
    }
}

void loop_ring_read(struct loop_ring *ring, const struct loop_clock *clock, snd_pcm_uframes_t position,
                    unsigned char *out, snd_pcm_uframes_t count)
{
    pthread_mutex_lock(&loop_lock);
    if (ring->configured > 0)
        snd_pcm_format_set_silence(ring->format, out, (unsigned)(count * ring->channels));
    if (ring->data != NULL) {
        copy_heard(ring, &ring->before, clock, position, out, count);
        copy_heard(ring, &ring->now, clock, position, out, count);
    }
    pthread_mutex_unlock(&loop_lock);
}
