// SPDX-License-Identifier: GPL-3.0-or-later
// The test plugin's known truths for the format matrix: a device with a
// capability set opens exactly what it lists through the ALSA back end,
// refusing the rest with 8 and alsa-lib's own call and words, and the
// converting cable's steps follow their stated formulas sample for sample.
#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "AlsaTestConfig.h"
#include "audio/backends/AlsaStream.h"

extern "C" {
#include "alsa/server_path.h"
}

namespace {

bool Has(const auto& list, unsigned value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

TEST(AlsaFormatTruthTest, CapabilitySetOpensExactlyWhatItLists)
{
    alsatest::Install();
    const unsigned rates[] = {8000, 44100, 46000, 48000, 88200, 96000, 192000};
    for (WaveDirection direction : {WaveDirection::Input, WaveDirection::Output}) {
        for (unsigned rate : rates) {
            for (std::uint16_t channels : {1, 2}) {
                for (std::uint16_t bytes : {1, 2, 3, 4}) {
                    SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(channels) + " ch, " +
                                 std::to_string(bytes) + " bytes");
                    WaveFormatInfo format{true, channels, rate, bytes, static_cast<std::uint16_t>(8 * bytes),
                                          static_cast<std::uint16_t>(channels * bytes)};
                    bool listed = Has(alsatest::NarrowRates, rate) && channels == 2 && (bytes == 2 || bytes == 3);
                    std::shared_ptr<CAlsaStream> stream;
                    WaveHostDetail detail;
                    WaveResult code = CAlsaStream::Open("narrow", direction, format, stream, detail);
                    ASSERT_EQ(code, listed ? WaveNoError : WaveErrNotSupported) << detail.call;
                    if (listed) {
                        EXPECT_EQ(stream->Close(), WaveNoError);
                        continue;
                    }
                    // The host's own words: the call that refused and EINVAL.
                    EXPECT_EQ(detail.error, EINVAL);
                    EXPECT_EQ(detail.call.rfind("snd_pcm_hw_params", 0), 0u) << detail.call;
                    EXPECT_FALSE(detail.text.empty());
                }
            }
        }
    }
    alsatest::Remove();
}

std::int32_t Load16(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(p[0] | p[1] << 8);
}

struct Path {
    server_path path{};
    Path(unsigned rate, int bits, long dither)
    {
        path.rate = rate;
        path.bits = bits;
        path.dither = dither;
        server_path_restart(&path);
    }
    ~Path() { server_path_free(&path); }
    Path(const Path&) = delete;
    Path& operator=(const Path&) = delete;
};

std::vector<std::uint8_t> Noise16(std::size_t samples)
{
    std::vector<std::uint8_t> bytes(samples * 2);
    std::uint32_t state = 99;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

// At a rate other than the server's each frame is the stated interpolation
// between it and the one before (the last frame of the previous call
// included); at the server's rate the bytes pass unchanged.
TEST(ServerPathTest, ResamplingIsTheStatedInterpolation)
{
    std::vector<std::uint8_t> in = Noise16(2 * 600);
    for (unsigned rate : {44100u, 48000u, 24000u}) {
        SCOPED_TRACE(rate);
        Path path(48000, 0, 0);
        std::vector<std::uint8_t> out;
        for (std::size_t first = 0; first < 600; first += 200) {
            const std::uint8_t* converted = server_path_convert(&path.path, SND_PCM_FORMAT_S16_LE, 2, rate, first,
                                                                in.data() + first * 4, 200);
            ASSERT_NE(converted, nullptr);
            out.insert(out.end(), converted, converted + 800);
        }
        for (std::size_t n = 0; n < 600; ++n) {
            for (std::size_t c = 0; c < 2; ++c) {
                std::int64_t x = std::int64_t{Load16(&in[(n * 2 + c) * 2])} * 65536;
                std::int64_t before = n == 0 ? 0 : std::int64_t{Load16(&in[((n - 1) * 2 + c) * 2])} * 65536;
                auto phase = static_cast<std::int64_t>(n * 48000 % rate);
                std::int64_t y = x - (x - before) * phase / rate;
                // Cut to 16 bits: a floor to a step of 65536.
                auto want = static_cast<std::int32_t>(std::floor(static_cast<double>(y) / 65536.0));
                ASSERT_EQ(Load16(&out[(n * 2 + c) * 2]), want) << n;
            }
        }
        if (48000 % rate == 0) {
            EXPECT_EQ(out, in);
        }
    }
}

// Precision: the bits below the server's are dropped (never rounded up);
// dither stays within its stated peak and changes some samples.
TEST(ServerPathTest, PrecisionCutsAndDitherStaysWithinItsPeak)
{
    std::vector<std::uint8_t> in(4 * 500);
    std::uint32_t state = 7;
    for (auto& byte : in) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    auto load32 = [](const std::uint8_t* p) {
        std::uint32_t u = p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        return static_cast<std::int64_t>(static_cast<std::int32_t>(u));
    };
    Path cut(0, 16, 0);
    const std::uint8_t* out = server_path_convert(&cut.path, SND_PCM_FORMAT_S32_LE, 1, 44100, 0, in.data(), 500);
    ASSERT_NE(out, nullptr);
    for (std::size_t i = 0; i < 500; ++i)
        ASSERT_EQ(load32(out + 4 * i), load32(&in[4 * i]) & ~std::int64_t{0xFFFF}) << i;

    Path dither(0, 0, 3);
    out = server_path_convert(&dither.path, SND_PCM_FORMAT_S32_LE, 1, 44100, 0, in.data(), 500);
    ASSERT_NE(out, nullptr);
    int changed = 0;
    for (std::size_t i = 0; i < 500; ++i) {
        std::int64_t difference = load32(out + 4 * i) - load32(&in[4 * i]);
        // Clamping at the top may take more off, never add more.
        EXPECT_LE(difference, 3);
        changed += difference != 0;
    }
    EXPECT_GT(changed, 250);
}

} // namespace
