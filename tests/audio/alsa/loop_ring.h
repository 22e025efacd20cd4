// SPDX-License-Identifier: GPL-3.0-or-later
/* The cable between the test device's loopback ends: a ring, named in the
 * configuration and shared by the ends of one process, holding what the
 * playback end wrote. The capture end hears a frame `delay` frames of stream
 * time after the playback end played it, by the two streams' start times, as
 * through a cable; before the playback starts, after it stops and where it
 * fell behind, silence. Every call takes the one lock all rings share: the
 * ends are used from different threads. Memory is bounded: a ring holds
 * `delay` frames plus three of the largest buffers the device allows. */
#pragma once

#include <alsa/asoundlib.h>

#include <time.h>

/* The longest delay a ring takes (about 21 s at 48 kHz). */
#define LOOP_RING_MAX_DELAY (1L << 20)
/* The largest buffer, in bytes, the test device lets a stream have. */
#define LOOP_RING_MAX_BUFFER_BYTES (4 << 20)

struct loop_ring;

/* Where a stream's clock started: at `started` with its position at `base`. */
struct loop_clock {
    struct timespec started;
    snd_pcm_uframes_t base;
};

/* One more end of the ring named `name`, made when it is the first.
 * 0; -EINVAL for a delay outside 0 to LOOP_RING_MAX_DELAY or another delay
 * than the ring's; -EBUSY for a second playback end (one output feeds the
 * cable); -ENOMEM. */
int loop_ring_attach(const char *name, long delay, snd_pcm_stream_t stream, struct loop_ring **ring);
/* The end is gone; the last one frees the ring. What the playback end played
 * goes on reaching a capture end after it closed. */
void loop_ring_detach(struct loop_ring *ring, snd_pcm_stream_t stream);

/* The format an end was set up in. Both ends must agree: 0, or -EINVAL when
 * another end already set up has another format, channel count or rate;
 * -ENOMEM when the playback end finds no memory for the ring. The playback
 * end's set-up starts the ring afresh. */
int loop_ring_configure(struct loop_ring *ring, snd_pcm_format_t format, unsigned channels, unsigned rate,
                        snd_pcm_stream_t stream);
/* The end's set-up is undone (hw_free, close); a no-op when it had none. */
void loop_ring_unconfigure(struct loop_ring *ring, snd_pcm_stream_t stream);

/* The playback end started. */
void loop_ring_play_start(struct loop_ring *ring, const struct loop_clock *clock);
/* The playback end stopped with its clock at stream position `played`
 * (beyond what it was given when it ran dry): frames from there on were never
 * heard. What it writes next belongs to its next start. */
void loop_ring_play_stop(struct loop_ring *ring, snd_pcm_uframes_t played);
/* `count` frames written by the playback end at stream position `position`. */
void loop_ring_write(struct loop_ring *ring, snd_pcm_uframes_t position, const unsigned char *frames,
                     snd_pcm_uframes_t count);
/* `count` frames the capture end, started on `clock`, records at its stream
 * position `position`: what was played `delay` frames earlier, silence of the
 * ends' format elsewhere. The capture end must be set up. */
void loop_ring_read(struct loop_ring *ring, const struct loop_clock *clock, snd_pcm_uframes_t position,
                    unsigned char *out, snd_pcm_uframes_t count);
