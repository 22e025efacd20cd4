// SPDX-License-Identifier: GPL-3.0-or-later
// The test plugin's loopback pair on real alsa-lib: what the playback end
// plays, the capture end records the configured delay later, byte for byte,
// with silence around it, across a second start of the playback and after
// the playback end has closed; and the set-ups no cable could carry are
// refused.
#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "AlsaTestConfig.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned Rate = 48000;
constexpr snd_pcm_uframes_t Period = 480;
constexpr snd_pcm_uframes_t Burst = 4800; // 100 ms, the playback's whole buffer

struct Pcm {
    snd_pcm_t* pcm = nullptr;
    int openError = 0;
    Pcm(const char* name, snd_pcm_stream_t stream) { openError = snd_pcm_open(&pcm, name, stream, SND_PCM_NONBLOCK); }
    ~Pcm() { Close(); }
    Pcm(const Pcm&) = delete;
    Pcm& operator=(const Pcm&) = delete;
    void Close()
    {
        if (pcm != nullptr)
            snd_pcm_close(pcm);
        pcm = nullptr;
    }
};

// The format exactly, `buffer` frames, started only when asked: 0 or the
// first alsa-lib error.
int Configure(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned channels, snd_pcm_uframes_t buffer)
{
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_uframes_t period = Period;
    snd_pcm_uframes_t boundary = 0;
    int error = 0;
    (void)((error = snd_pcm_hw_params_any(pcm, hw)) < 0 ||
           (error = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
           (error = snd_pcm_hw_params_set_format(pcm, hw, format)) < 0 ||
           (error = snd_pcm_hw_params_set_channels(pcm, hw, channels)) < 0 ||
           (error = snd_pcm_hw_params_set_rate(pcm, hw, Rate, 0)) < 0 ||
           (error = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr)) < 0 ||
           (error = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer)) < 0 ||
           (error = snd_pcm_hw_params(pcm, hw)) < 0 || (error = snd_pcm_sw_params_current(pcm, sw)) < 0 ||
           (error = snd_pcm_sw_params_get_boundary(sw, &boundary)) < 0 ||
           (error = snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary)) < 0 ||
           (error = snd_pcm_sw_params(pcm, sw)) < 0 || (error = snd_pcm_prepare(pcm)) < 0);
    return error;
}

std::vector<std::uint8_t> Noise(std::size_t size, unsigned seed)
{
    std::minstd_rand random(seed);
    std::vector<std::uint8_t> bytes(size);
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<std::uint8_t>(random() >> 8); });
    bytes[0] = 0x11; // the first frame is never silence, so it marks where the burst begins
    return bytes;
}

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// What the capture end records, read as it comes.
struct Recorder {
    snd_pcm_t* pcm;
    std::size_t frameBytes;
    std::vector<std::uint8_t> bytes;

    bool Take()
    {
        std::uint8_t chunk[Period * 8];
        snd_pcm_sframes_t got = snd_pcm_readi(pcm, chunk, Period);
        if (got == -EAGAIN)
            got = 0;
        if (got < 0)
            return false;
        bytes.insert(bytes.end(), chunk, chunk + static_cast<std::size_t>(got) * frameBytes);
        return true;
    }
    // Reads on until `playback` has played everything it holds.
    bool UntilPlayedOut(snd_pcm_t* playback)
    {
        Clock::time_point limit = Clock::now() + std::chrono::seconds(20);
        while (snd_pcm_avail_update(playback) != -EPIPE) {
            if (Clock::now() > limit || snd_pcm_wait(pcm, 10) < 0 || !Take())
                return false;
        }
        return true;
    }
};

struct LoopRow {
    const char* name;
    snd_pcm_format_t format;
    unsigned channels;
};

class AlsaLoopbackPair : public ::testing::TestWithParam<LoopRow> {
protected:
    static void SetUpTestSuite() { alsatest::Install(); }
    static void TearDownTestSuite() { alsatest::Remove(); }
};

// Where a burst started to play, in frames of the capture's stream: known
// to lie between the clock readings around the two starts.
struct Window {
    double from;
    double to;
};

// The first non-silent frame at or after `from`, within the capture.
std::size_t FirstSound(const std::vector<std::uint8_t>& bytes, std::size_t frameBytes, std::size_t from,
                       std::uint8_t silence)
{
    std::size_t frame = from;
    while ((frame + 1) * frameBytes <= bytes.size()) {
        for (std::size_t i = 0; i < frameBytes; ++i) {
            if (bytes[frame * frameBytes + i] != silence)
                return frame;
        }
        ++frame;
    }
    return frame;
}

// Two bursts, the playback end prepared afresh between them and closed
// before the second has come back: each arrives whole, `LoopDelayFrames`
// after it played, and nothing else does.
TEST_P(AlsaLoopbackPair, CaptureHearsEachBurstExactlyTheDelayLater)
{
    const LoopRow& row = GetParam();
    const std::size_t frameBytes = static_cast<std::size_t>(snd_pcm_format_physical_width(row.format)) / 8 * row.channels;
    const std::uint8_t silence = row.format == SND_PCM_FORMAT_U8 ? 0x80 : 0x00;
    Pcm capture("loop", SND_PCM_STREAM_CAPTURE);
    Pcm playback("loop", SND_PCM_STREAM_PLAYBACK);
    ASSERT_EQ(capture.openError, 0) << snd_strerror(capture.openError);
    ASSERT_EQ(playback.openError, 0) << snd_strerror(playback.openError);
    ASSERT_EQ(Configure(capture.pcm, row.format, row.channels, Rate), 0);
    ASSERT_EQ(Configure(playback.pcm, row.format, row.channels, Burst), 0);

    std::vector<std::uint8_t> bursts[2] = {Noise(Burst * frameBytes, 1), Noise(Burst * frameBytes, 2)};
    Window starts[2];
    Recorder recorder{capture.pcm, frameBytes, {}};
    // The capture started between `captureFrom` and `captureBy`.
    Clock::time_point captureFrom;
    Clock::time_point captureBy;
    for (int b = 0; b < 2; ++b) {
        if (b == 1) {
            ASSERT_EQ(snd_pcm_prepare(playback.pcm), 0);
        }
        ASSERT_EQ(snd_pcm_writei(playback.pcm, bursts[b].data(), Burst), static_cast<snd_pcm_sframes_t>(Burst));
        Clock::time_point before = Clock::now();
        if (b == 0) {
            captureFrom = before;
            ASSERT_EQ(snd_pcm_start(capture.pcm), 0);
        }
        ASSERT_EQ(snd_pcm_start(playback.pcm), 0);
        Clock::time_point after = Clock::now();
        if (b == 0)
            captureBy = after;
        starts[b] = {Seconds(captureBy, before) * Rate, Seconds(captureFrom, after) * Rate};
        ASSERT_TRUE(recorder.UntilPlayedOut(playback.pcm)) << "burst " << b;
    }
    playback.Close();
    Clock::time_point tail = Clock::now() + std::chrono::milliseconds(100) +
                             std::chrono::microseconds(alsatest::LoopDelayFrames * 1000000ull / Rate);
    while (Clock::now() < tail)
        ASSERT_TRUE(snd_pcm_wait(capture.pcm, 10) >= 0 && recorder.Take());

    std::size_t from = 0;
    for (int b = 0; b < 2; ++b) {
        std::size_t at = FirstSound(recorder.bytes, frameBytes, from, silence);
        ASSERT_LE((at + Burst) * frameBytes, recorder.bytes.size()) << "burst " << b << " did not come back whole";
        double delay = static_cast<double>(at) - alsatest::LoopDelayFrames;
        EXPECT_GE(delay, std::floor(starts[b].from) - 1) << "burst " << b;
        EXPECT_LE(delay, std::ceil(starts[b].to) + 1) << "burst " << b;
        auto first = recorder.bytes.begin() + static_cast<std::ptrdiff_t>(at * frameBytes);
        auto mismatch = std::mismatch(bursts[b].begin(), bursts[b].end(), first);
        EXPECT_TRUE(mismatch.first == bursts[b].end())
            << "burst " << b << " at frame " << at << " differs from its byte " << (mismatch.first - bursts[b].begin());
        from = at + Burst;
    }
    EXPECT_EQ(FirstSound(recorder.bytes, frameBytes, from, silence), recorder.bytes.size() / frameBytes)
        << "sound after the last burst";
}

INSTANTIATE_TEST_SUITE_P(Widths, AlsaLoopbackPair,
                         ::testing::Values(LoopRow{"U8Mono", SND_PCM_FORMAT_U8, 1},
                                           LoopRow{"S16Stereo", SND_PCM_FORMAT_S16_LE, 2},
                                           LoopRow{"S24In3BytesMono", SND_PCM_FORMAT_S24_3LE, 1},
                                           LoopRow{"S32Stereo", SND_PCM_FORMAT_S32_LE, 2}),
                         [](const ::testing::TestParamInfo<LoopRow>& info) { return std::string(info.param.name); });

class AlsaLoopbackRefusal : public ::testing::Test {
protected:
    static void SetUpTestSuite() { alsatest::Install(); }
    static void TearDownTestSuite() { alsatest::Remove(); }
};

// A capture end with nothing playing records the silence of its format.
TEST_F(AlsaLoopbackRefusal, CaptureAloneRecordsSilence)
{
    for (snd_pcm_format_t format : {SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S16_LE}) {
        Pcm capture("loop", SND_PCM_STREAM_CAPTURE);
        ASSERT_EQ(capture.openError, 0);
        ASSERT_EQ(Configure(capture.pcm, format, 1, Rate), 0);
        ASSERT_EQ(snd_pcm_start(capture.pcm), 0);
        Recorder recorder{capture.pcm, static_cast<std::size_t>(snd_pcm_format_physical_width(format)) / 8, {}};
        Clock::time_point limit = Clock::now() + std::chrono::seconds(20);
        while (recorder.bytes.size() < 2 * Period * recorder.frameBytes && Clock::now() < limit)
            ASSERT_TRUE(snd_pcm_wait(capture.pcm, 10) >= 0 && recorder.Take());
        ASSERT_GE(recorder.bytes.size(), 2 * Period * recorder.frameBytes);
        std::uint8_t silence = format == SND_PCM_FORMAT_U8 ? 0x80 : 0x00;
        EXPECT_EQ(FirstSound(recorder.bytes, 1, 0, silence), recorder.bytes.size()) << snd_pcm_format_name(format);
    }
}

// One cable, one delay, one playback, one format for both ends; and a delay
// needs a cable to be the delay of, and a ring it fits.
TEST_F(AlsaLoopbackRefusal, SetUpsNoCableCarriesAreRefused)
{
    EXPECT_EQ(Pcm("loopnocable", SND_PCM_STREAM_CAPTURE).openError, -EINVAL);
    EXPECT_EQ(Pcm("loopfar", SND_PCM_STREAM_CAPTURE).openError, -EINVAL);

    Pcm playback("loop", SND_PCM_STREAM_PLAYBACK);
    ASSERT_EQ(playback.openError, 0);
    EXPECT_EQ(Pcm("loopother", SND_PCM_STREAM_CAPTURE).openError, -EINVAL);
    EXPECT_EQ(Pcm("loop", SND_PCM_STREAM_PLAYBACK).openError, -EBUSY);
    ASSERT_EQ(Configure(playback.pcm, SND_PCM_FORMAT_S16_LE, 2, Burst), 0);

    Pcm capture("loop", SND_PCM_STREAM_CAPTURE);
    ASSERT_EQ(capture.openError, 0);
    EXPECT_EQ(Configure(capture.pcm, SND_PCM_FORMAT_S32_LE, 2, Rate), -EINVAL);
    EXPECT_EQ(Configure(capture.pcm, SND_PCM_FORMAT_S16_LE, 1, Rate), -EINVAL);
    EXPECT_EQ(Configure(capture.pcm, SND_PCM_FORMAT_S16_LE, 2, Rate), 0);

    // Once the playback end has gone, a new one may open.
    playback.Close();
    EXPECT_EQ(Pcm("loop", SND_PCM_STREAM_PLAYBACK).openError, 0);
}

} // namespace
