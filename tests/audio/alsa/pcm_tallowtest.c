// SPDX-License-Identifier: GPL-3.0-or-later
/* A test-only ALSA device: paced in real time by a timer, taking only
 * S16_LE, S24_3LE and S32_LE, 1 or 2 channels and 8000 to 192000 Hz, held
 * exclusively through a lock file, and reporting an xrun whenever the
 * application falls behind. Capture delivers a byte counter. With
 * `unplug N` the device is disconnected N ms after it starts and stays so;
 * with `suspend N` it is suspended once, N ms after it starts, and resumes
 * when asked. With `stickydelay N` a playback never underruns and reports a
 * delay of at least N frames until it is drained, as sound-server plugins
 * do. With `stall N` and `stallms M` the device stops delivering N ms after
 * it starts and goes on M ms later as if it had recorded all along: a
 * capture not read in time, which overruns when M exceeds its ring. With
 * `gone N` the device reports an xrun from N ms after it starts and after
 * every mend, as a sound-server plugin does once its server has gone.
 * With `ppm N` the device's clock runs N ppm fast (slow when negative)
 * against the monotonic clock: it moves rate x (1 + N / 1e6) frames a
 * second (not on a loopback end, whose cable keeps one clock).
 * With `loopback "name"` (and `loopdelay N`, frames) the device is one end of
 * a cable inside the process: what its playback plays, its capture records
 * N frames later (alsa/loop_ring.h), in any of the formats above or U8.
 *
 * A capability set narrows what opens, as a card's driver states it:
 * `rates [ 44100 48000 ]`, `formats [ "S16_LE" "S24_3LE" ]` and
 * `channels [ 2 ]`; anything else is refused with -EINVAL by the set_* calls
 * or by hw_params (a rate between two listed ones passes the interval that
 * the parameter space shows, as on hardware, and hw_params refuses it).
 * A converting cable behaves as a sound server: with `serverrate N`,
 * `serverbits B` or `dither D` (alsa/server_path.h) every format opens
 * (U8 to S32_LE, 1 or 2 channels, 8000 to 384000 Hz, unless a capability
 * set narrows it) and what the playback end plays is resampled through the
 * server's rate, dithered and cut to B bits on its way to the capture end. */
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include "loop_ring.h"
#include "server_path.h"

#define TT_MAX_LIST 16

/* A capability set: empty lists leave the device's own range. */
struct tt_caps {
    unsigned rates[TT_MAX_LIST];
    unsigned rate_count;
    unsigned formats[TT_MAX_LIST];
    unsigned format_count;
    unsigned channels[TT_MAX_LIST];
    unsigned channel_count;
};

struct tallowtest {
    snd_pcm_ioplug_t io;
    int lock_fd;
    struct timespec started;
    snd_pcm_uframes_t base;
    int running;
    unsigned char counter;
    long unplug_ms;
    int unplugged;
    long suspend_ms;
    int suspended;
    long sticky_delay;
    int drained;
    long stall_ms;
    long stall_length_ms;
    int stalled;
    long gone_ms;
    int gone;
    long ppm;
    struct loop_ring *ring; /* NULL unless a loopback end */
    int configured;         /* set up on the ring */
    struct tt_caps caps;
    struct server_path path; /* the converting cable's steps, at the playback end */
};

static snd_pcm_uframes_t elapsed_frames(struct tallowtest *t)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t ns = (int64_t)(now.tv_sec - t->started.tv_sec) * 1000000000 + (now.tv_nsec - t->started.tv_nsec);
    if (t->ppm != 0)
        return (snd_pcm_uframes_t)((long double)ns * t->io.rate * (1e6L + t->ppm) / 1e15L);
    return (snd_pcm_uframes_t)(ns * (int64_t)t->io.rate / 1000000000);
}

static int tt_start(snd_pcm_ioplug_t *io)
{
    struct tallowtest *t = io->private_data;
    clock_gettime(CLOCK_MONOTONIC, &t->started);
    t->base = io->hw_ptr;
    t->running = 1;
    t->drained = 0;
    if (t->ring != NULL && io->stream == SND_PCM_STREAM_PLAYBACK) {
        struct loop_clock clock = {t->started, t->base};
        loop_ring_play_start(t->ring, &clock);
        server_path_restart(&t->path);
    }
    struct itimerspec tick = {{0, 0}, {0, 0}};
    long period_ns = (long)((int64_t)io->period_size * 1000000000 / io->rate);
    tick.it_interval.tv_nsec = period_ns;
    tick.it_value.tv_nsec = period_ns;
    return timerfd_settime(io->poll_fd, 0, &tick, NULL) < 0 ? -errno : 0;
}

static int tt_stop(snd_pcm_ioplug_t *io)
{
    struct tallowtest *t = io->private_data;
    struct itimerspec off = {{0, 0}, {0, 0}};
    if (t->ring != NULL && io->stream == SND_PCM_STREAM_PLAYBACK) {
        /* Where the clock got; the ring knows how much was written (by a
         * prepare, alsa-lib has already reset the application pointer). */
        loop_ring_play_stop(t->ring, t->running ? t->base + elapsed_frames(t) : io->hw_ptr);
    }
    t->running = 0;
    timerfd_settime(io->poll_fd, 0, &off, NULL);
    return 0;
}

static int tt_prepare(snd_pcm_ioplug_t *io)
{
    return tt_stop(io);
}

static snd_pcm_sframes_t tt_pointer(snd_pcm_ioplug_t *io)
{
    struct tallowtest *t = io->private_data;
    if (!t->unplugged && t->running && t->unplug_ms > 0 &&
        elapsed_frames(t) * 1000 >= (snd_pcm_uframes_t)t->unplug_ms * io->rate)
        t->unplugged = 1;
    if (!t->gone && t->running && t->gone_ms > 0 &&
        elapsed_frames(t) * 1000 >= (snd_pcm_uframes_t)t->gone_ms * io->rate)
        t->gone = 1;
    if (t->gone)
        return -EPIPE;
    if (t->unplugged) {
        /* Gone: the position freezes and the state says so. */
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_DISCONNECTED);
        return (snd_pcm_sframes_t)(io->hw_ptr % io->buffer_size);
    }
    if (!t->suspended && t->running && t->suspend_ms > 0 && io->state == SND_PCM_STATE_RUNNING &&
        elapsed_frames(t) * 1000 >= (snd_pcm_uframes_t)t->suspend_ms * io->rate) {
        t->suspended = 1;
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_SUSPENDED);
    }
    if (io->state == SND_PCM_STATE_SUSPENDED)
        return (snd_pcm_sframes_t)(io->hw_ptr % io->buffer_size);
    if (!t->running || io->state != SND_PCM_STATE_RUNNING)
        return (snd_pcm_sframes_t)(io->hw_ptr % io->buffer_size);
    snd_pcm_uframes_t elapsed = elapsed_frames(t);
    snd_pcm_uframes_t stall_from = (snd_pcm_uframes_t)t->stall_ms * io->rate / 1000;
    snd_pcm_uframes_t stall_to = (snd_pcm_uframes_t)(t->stall_ms + t->stall_length_ms) * io->rate / 1000;
    /* Once only: after the overrun is mended the device runs on. */
    if (t->stall_length_ms > 0 && !t->stalled && elapsed >= stall_from) {
        if (elapsed < stall_to)
            elapsed = stall_from;
        else
            t->stalled = 1;
    }
    snd_pcm_uframes_t hw = t->base + elapsed;
    if (io->stream == SND_PCM_STREAM_PLAYBACK && hw > io->appl_ptr) {
        if (t->sticky_delay == 0)
            return -EPIPE;
        hw = io->appl_ptr; /* played out; a server just waits for more */
    }
    if (io->stream == SND_PCM_STREAM_CAPTURE && hw > io->appl_ptr + io->buffer_size)
        return -EPIPE;
    return (snd_pcm_sframes_t)(hw % io->buffer_size);
}

static int tt_delay(snd_pcm_ioplug_t *io, snd_pcm_sframes_t *delayp)
{
    struct tallowtest *t = io->private_data;
    snd_pcm_sframes_t pointer = tt_pointer(io);
    snd_pcm_sframes_t held = 0;
    if (pointer < 0)
        return (int)pointer;
    if (io->stream == SND_PCM_STREAM_PLAYBACK) {
        snd_pcm_uframes_t hw = t->running ? t->base + elapsed_frames(t) : io->hw_ptr;
        held = hw >= io->appl_ptr ? 0 : (snd_pcm_sframes_t)(io->appl_ptr - hw);
        if (!t->drained && held < t->sticky_delay)
            held = t->sticky_delay;
    }
    *delayp = held;
    return 0;
}

/* Waits until what was written has played, as a server drains its stream. */
static int tt_drain(snd_pcm_ioplug_t *io)
{
    struct tallowtest *t = io->private_data;
    if (io->stream == SND_PCM_STREAM_PLAYBACK && t->running) {
        snd_pcm_uframes_t hw = t->base + elapsed_frames(t);
        if (hw < io->appl_ptr) {
            uint64_t ns = (uint64_t)(io->appl_ptr - hw) * 1000000000u / io->rate;
            struct timespec wait = {(time_t)(ns / 1000000000u), (long)(ns % 1000000000u)};
            nanosleep(&wait, NULL);
        }
    }
    t->drained = 1;
    return 0;
}

/* Back where it stopped, as a driver that kept its position resumes. */
static int tt_resume(snd_pcm_ioplug_t *io)
{
    struct tallowtest *t = io->private_data;
    clock_gettime(CLOCK_MONOTONIC, &t->started);
    t->base = io->hw_ptr;
    return snd_pcm_ioplug_set_state(io, SND_PCM_STATE_RUNNING);
}

static snd_pcm_sframes_t tt_transfer(snd_pcm_ioplug_t *io, const snd_pcm_channel_area_t *areas,
                                     snd_pcm_uframes_t offset, snd_pcm_uframes_t size)
{
    struct tallowtest *t = io->private_data;
    unsigned char *frames = (unsigned char *)areas[0].addr + (areas[0].first + areas[0].step * offset) / 8;
    if (t->ring != NULL) {
        struct loop_clock clock = {t->started, t->base};
        if (io->stream == SND_PCM_STREAM_PLAYBACK) {
            const unsigned char *heard = frames;
            if (server_path_active(&t->path))
                heard = server_path_convert(&t->path, io->format, io->channels, io->rate, io->appl_ptr, frames, size);
            if (heard == NULL)
                return -ENOMEM;
            loop_ring_write(t->ring, io->appl_ptr, heard, size);
        }
        else
            loop_ring_read(t->ring, &clock, io->appl_ptr, frames, size);
    } else if (io->stream == SND_PCM_STREAM_CAPTURE) {
        size_t bytes = size * (areas[0].step / 8);
        for (size_t i = 0; i < bytes; ++i)
            frames[i] = t->counter++;
    }
    return (snd_pcm_sframes_t)size;
}

static int tt_poll_revents(snd_pcm_ioplug_t *io, struct pollfd *pfd, unsigned int nfds, unsigned short *revents)
{
    uint64_t expirations;
    (void)nfds;
    if (pfd[0].revents & POLLIN) {
        if (read(io->poll_fd, &expirations, sizeof expirations) < 0 && errno != EAGAIN)
            return -errno;
    }
    /* As a kernel driver does, a device that cannot go on says so. */
    if (io->state == SND_PCM_STATE_SUSPENDED || io->state == SND_PCM_STATE_DISCONNECTED)
        *revents = POLLERR;
    else
        *revents = io->stream == SND_PCM_STREAM_PLAYBACK ? POLLOUT : POLLIN;
    return 0;
}

/* Both ends of a cable take one format: the second is refused another. */
static int listed(const unsigned *list, unsigned count, unsigned value)
{
    for (unsigned i = 0; i < count; ++i) {
        if (list[i] == value)
            return 1;
    }
    return count == 0;
}

static int tt_hw_params(snd_pcm_ioplug_t *io, snd_pcm_hw_params_t *params)
{
    struct tallowtest *t = io->private_data;
    (void)params;
    /* alsa-lib narrows a listed rate or channel count only to the interval
     * the list spans; a value between two listed ones is refused here. */
    if (!listed(t->caps.rates, t->caps.rate_count, io->rate) ||
        !listed(t->caps.channels, t->caps.channel_count, io->channels))
        return -EINVAL;
    if (t->ring == NULL)
        return 0;
    if (t->configured)
        loop_ring_unconfigure(t->ring, io->stream);
    t->configured = 0;
    int err = loop_ring_configure(t->ring, io->format, io->channels, io->rate, io->stream);
    t->configured = err == 0;
    return err;
}

static int tt_hw_free(snd_pcm_ioplug_t *io)
{
    struct tallowtest *t = io->private_data;
    if (t->configured)
        loop_ring_unconfigure(t->ring, io->stream);
    t->configured = 0;
    return 0;
}

static int tt_close(snd_pcm_ioplug_t *io)
{
    struct tallowtest *t = io->private_data;
    if (t->ring != NULL) {
        tt_hw_free(io);
        loop_ring_detach(t->ring, io->stream);
    }
    close(io->poll_fd);
    if (t->lock_fd >= 0)
        close(t->lock_fd);
    server_path_free(&t->path);
    free(t);
    return 0;
}

static const snd_pcm_ioplug_callback_t tt_callbacks = {
    .start = tt_start,
    .stop = tt_stop,
    .pointer = tt_pointer,
    .prepare = tt_prepare,
    .transfer = tt_transfer,
    .close = tt_close,
    .hw_params = tt_hw_params,
    .hw_free = tt_hw_free,
    .resume = tt_resume,
    .poll_revents = tt_poll_revents,
    .delay = tt_delay,
    .drain = tt_drain,
};

struct tt_options {
    const char *lock_path;
    const char *loopback;
    long loop_delay; /* -1 when not given */
    long unplug_ms;
    long suspend_ms;
    long sticky_delay;
    long stall_ms;
    long stall_length_ms;
    long gone_ms;
    long ppm;
    long server_rate;
    long server_bits;
    long dither;
    struct tt_caps caps;
};

/* A capability list: integers, or format names for `formats`. 0, or -EINVAL
 * for an entry of the wrong type, an unknown format or too many entries. */
static int tt_parse_list(snd_config_t *n, int formats, unsigned *values, unsigned *count)
{
    snd_config_iterator_t i, next;
    if (snd_config_get_type(n) != SND_CONFIG_TYPE_COMPOUND)
        return -EINVAL;
    *count = 0;
    snd_config_for_each(i, next, n) {
        snd_config_t *entry = snd_config_iterator_entry(i);
        long number;
        const char *text;
        if (*count == TT_MAX_LIST)
            return -EINVAL;
        if (formats) {
            if (snd_config_get_string(entry, &text) < 0)
                return -EINVAL;
            snd_pcm_format_t format = snd_pcm_format_value(text);
            if (format == SND_PCM_FORMAT_UNKNOWN)
                return -EINVAL;
            values[(*count)++] = (unsigned)format;
        } else {
            if (snd_config_get_integer(entry, &number) < 0 || number <= 0)
                return -EINVAL;
            values[(*count)++] = (unsigned)number;
        }
    }
    return *count == 0 ? -EINVAL : 0;
}

/* 0, or -EINVAL for an unknown option, a value of the wrong type, or a
 * delay for a device that is no loopback end. */
static int tt_parse(snd_config_t *conf, struct tt_options *o)
{
    const struct {
        const char *id;
        long *value;
    } integers[] = {
        {"unplug", &o->unplug_ms},   {"suspend", &o->suspend_ms},       {"stickydelay", &o->sticky_delay},
        {"stall", &o->stall_ms},     {"stallms", &o->stall_length_ms}, {"gone", &o->gone_ms},
        {"loopdelay", &o->loop_delay}, {"serverrate", &o->server_rate}, {"serverbits", &o->server_bits},
        {"dither", &o->dither},      {"ppm", &o->ppm},
    };
    snd_config_iterator_t i, next;
    memset(o, 0, sizeof *o);
    o->loop_delay = -1;
    snd_config_for_each(i, next, conf) {
        snd_config_t *n = snd_config_iterator_entry(i);
        const char *id;
        if (snd_config_get_id(n, &id) < 0)
            continue;
        if (strcmp(id, "comment") == 0 || strcmp(id, "type") == 0 || strcmp(id, "hint") == 0)
            continue;
        if (strcmp(id, "lock") == 0 || strcmp(id, "loopback") == 0) {
            const char **value = strcmp(id, "lock") == 0 ? &o->lock_path : &o->loopback;
            if (snd_config_get_string(n, value) < 0)
                return -EINVAL;
            continue;
        }
        if (strcmp(id, "rates") == 0 || strcmp(id, "formats") == 0 || strcmp(id, "channels") == 0) {
            struct tt_caps *c = &o->caps;
            int err = strcmp(id, "rates") == 0     ? tt_parse_list(n, 0, c->rates, &c->rate_count)
                      : strcmp(id, "formats") == 0 ? tt_parse_list(n, 1, c->formats, &c->format_count)
                                                   : tt_parse_list(n, 0, c->channels, &c->channel_count);
            if (err < 0)
                return err;
            continue;
        }
        size_t k = 0;
        while (k < sizeof integers / sizeof integers[0] && strcmp(id, integers[k].id) != 0)
            ++k;
        if (k == sizeof integers / sizeof integers[0] || snd_config_get_integer(n, integers[k].value) < 0)
            return -EINVAL;
    }
    if (o->server_bits < 0 || o->server_bits > 32 || o->server_rate < 0 || o->dither < 0 || o->dither > 1 << 20)
        return -EINVAL;
    if (o->ppm != 0 && (o->ppm < -100000 || o->ppm > 100000 || o->loopback != NULL))
        return -EINVAL;
    /* The conversion happens on the cable. */
    if ((o->server_rate != 0 || o->server_bits != 0 || o->dither != 0) && o->loopback == NULL)
        return -EINVAL;
    return o->loop_delay >= 0 && o->loopback == NULL ? -EINVAL : 0;
}

/* The device's state from its options, holding its lock file if it has one:
 * NULL with -ENOMEM or -EBUSY (held by another open) in `err`. */
static struct tallowtest *tt_new(const struct tt_options *o, int *err)
{
    struct tallowtest *t = calloc(1, sizeof *t);
    *err = -ENOMEM;
    if (t == NULL)
        return NULL;
    t->lock_fd = -1;
    t->unplug_ms = o->unplug_ms;
    t->suspend_ms = o->suspend_ms;
    t->sticky_delay = o->sticky_delay;
    t->stall_ms = o->stall_ms;
    t->stall_length_ms = o->stall_length_ms;
    t->gone_ms = o->gone_ms;
    t->ppm = o->ppm;
    t->caps = o->caps;
    t->path.rate = (unsigned)o->server_rate;
    t->path.bits = (int)o->server_bits;
    t->path.dither = o->dither;
    server_path_restart(&t->path);
    if (o->lock_path != NULL) {
        t->lock_fd = open(o->lock_path, O_CREAT | O_RDWR | O_CLOEXEC, 0600);
        if (t->lock_fd < 0 || flock(t->lock_fd, LOCK_EX | LOCK_NB) < 0) {
            if (t->lock_fd >= 0)
                close(t->lock_fd);
            free(t);
            *err = -EBUSY;
            return NULL;
        }
    }
    *err = 0;
    return t;
}

/* The parameter space: the capability set where one is given, else the
 * device's own (a converting cable opens everything a server would). */
static int tt_constrain(struct tallowtest *t)
{
    static const unsigned int accesses[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int formats[] = {SND_PCM_FORMAT_S16_LE, SND_PCM_FORMAT_S24_3LE, SND_PCM_FORMAT_S32_LE,
                                           SND_PCM_FORMAT_U8};
    const struct tt_caps *c = &t->caps;
    snd_pcm_ioplug_t *io = &t->io;
    int err;
    if ((err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, accesses)) < 0)
        return err;
    if (c->format_count > 0)
        err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, c->format_count, c->formats);
    else
        err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, t->ring != NULL ? 4 : 3, formats);
    if (err < 0)
        return err;
    if (c->channel_count > 0)
        err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_CHANNELS, c->channel_count, c->channels);
    else
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 2);
    if (err < 0)
        return err;
    if (c->rate_count > 0)
        err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_RATE, c->rate_count, c->rates);
    else
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, 8000,
                                              server_path_active(&t->path) ? 384000 : 192000);
    if (err < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 1 << 20)) < 0)
        return err;
    return snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 128, LOOP_RING_MAX_BUFFER_BYTES);
}

SND_PCM_PLUGIN_DEFINE_FUNC(tallowtest)
{
    struct tt_options options;
    (void)root;
    int err = tt_parse(conf, &options);
    struct tallowtest *t = err < 0 ? NULL : tt_new(&options, &err);
    if (t == NULL)
        return err;
    t->io.version = SND_PCM_IOPLUG_VERSION;
    t->io.name = "Tallowmere test device";
    t->io.callback = &tt_callbacks;
    t->io.private_data = t;
    t->io.poll_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    t->io.poll_events = POLLIN;
    err = t->io.poll_fd < 0 ? -errno : snd_pcm_ioplug_create(&t->io, name, stream, mode);
    if (err < 0) {
        if (t->io.poll_fd >= 0)
            close(t->io.poll_fd);
        if (t->lock_fd >= 0)
            close(t->lock_fd);
        free(t);
        return err;
    }

    /* From here on a failure is undone by the close callback. */
    if ((options.loopback != NULL &&
         (err = loop_ring_attach(options.loopback, options.loop_delay < 0 ? 0 : options.loop_delay, stream,
                                 &t->ring)) < 0) ||
        (err = tt_constrain(t)) < 0) {
        snd_pcm_ioplug_delete(&t->io);
        return err;
    }
    *pcmp = t->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(tallowtest)
