// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual loopback pair's clocks and faults at set frames: a drifting
// input, an output off its rate, glitches in the cable and xruns of either
// end, each held to what the chain states it does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "audio/backends/VirtualWaveApi.h"
#include "core/SampleCodec.h"
#include "support/FakeServices.h"

namespace {

constexpr std::uint32_t LoopbackDevice = 1;
constexpr std::uint32_t Rate = 48000;
constexpr std::uint16_t Block = 2; // mono 16-bit

PcmWaveFormat Mono16()
{
    return {WaveFormatTagPcm, 1, Rate, Rate * Block, Block, 16};
}

// A ramp that never repeats within the test, exact in 16 bits: frame i holds
// (i mod 30000) - 15000, so a capture frame names the played frame it holds.
std::vector<std::uint8_t> Ramp(std::size_t frames)
{
    std::vector<std::uint8_t> out(frames * Block);
    for (std::size_t i = 0; i < frames; ++i) {
        auto v = static_cast<std::int16_t>(static_cast<int>(i % 30000) - 15000);
        out[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        out[2 * i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    }
    return out;
}

std::int16_t FrameAt(const std::vector<std::uint8_t>& bytes, std::size_t frame)
{
    return static_cast<std::int16_t>(bytes[2 * frame] | (bytes[2 * frame + 1] << 8));
}

class VirtualLoopbackClockTest : public ::testing::Test {
protected:
    struct Run {
        std::vector<std::uint8_t> capture;
        std::uint32_t captureTicks = 0; // virtual ms until the capture was done
    };

    // Plays `played` on the loopback output while the input records
    // `captureFrames`, both started at one tick, polled every 10 ms.
    Run Loop(const std::vector<std::uint8_t>& played, std::size_t captureFrames)
    {
        PcmWaveFormat format = Mono16();
        WaveHandle output = 0, input = 0;
        EXPECT_EQ(api.Open(WaveDirection::Input, input, LoopbackDevice, &format, nullptr, 0, 0), WaveNoError);
        EXPECT_EQ(api.Open(WaveDirection::Output, output, LoopbackDevice, &format, nullptr, 0, 0), WaveNoError);
        api.Pause(output);
        std::vector<std::uint8_t> stimulus = played;
        Run run;
        run.capture.assign(captureFrames * Block, 0);
        WaveHeader play, capture;
        play.data = stimulus.data();
        play.bufferLength = static_cast<std::uint32_t>(stimulus.size());
        capture.data = run.capture.data();
        capture.bufferLength = static_cast<std::uint32_t>(run.capture.size());
        api.PrepareHeader(input, &capture, sizeof(WaveHeader));
        api.QueueBuffer(input, &capture, sizeof(WaveHeader));
        api.PrepareHeader(output, &play, sizeof(WaveHeader));
        api.QueueBuffer(output, &play, sizeof(WaveHeader));
        api.Start(input);
        api.Restart(output);
        const std::uint32_t start = services.fake.now;
        while (!(capture.flags & WaveHeaderDone) && services.fake.now - start < 600000) {
            services.fake.Sleep(10);
            api.Update(output);
            api.Update(input);
        }
        EXPECT_TRUE(capture.flags & WaveHeaderDone);
        run.captureTicks = services.fake.now - start;
        for (WaveHandle handle : {input, output}) {
            api.Reset(handle);
            EXPECT_EQ(api.Close(handle), WaveNoError);
        }
        return run;
    }

    // Frames a lone end moves in `ms` of virtual time.
    std::uint64_t FramesIn(WaveDirection direction, std::uint32_t ms)
    {
        PcmWaveFormat format = Mono16();
        WaveHandle handle = 0;
        EXPECT_EQ(api.Open(direction, handle, LoopbackDevice, &format, nullptr, 0, 0), WaveNoError);
        std::vector<std::uint8_t> buffer(std::size_t{Rate} * Block * (ms / 1000 + 2));
        WaveHeader header;
        header.data = buffer.data();
        header.bufferLength = static_cast<std::uint32_t>(buffer.size());
        api.PrepareHeader(handle, &header, sizeof(WaveHeader));
        api.QueueBuffer(handle, &header, sizeof(WaveHeader));
        if (direction == WaveDirection::Input)
            api.Start(handle);
        services.fake.Sleep(ms);
        api.Reset(handle);
        api.Close(handle);
        return direction == WaveDirection::Input
                   ? header.bytesRecorded.load() / Block
                   : api.Device(WaveDirection::Output, LoopbackDevice).played.size() / Block;
    }

    CFakeServicesScope services;
    CVirtualWaveApi api;
};

// Each end counts frames at its own rate on the system's clock: the output
// at rate x (1 + outrate), the input at that times (1 + drift).
TEST_F(VirtualLoopbackClockTest, EachEndMovesFramesAtItsOwnRate)
{
    struct Row {
        const char* name;
        double drift, outrate;
    } rows[] = {{"True clocks", 0, 0},
                {"Input 50 ppm fast", 50, 0},
                {"Output 200 ppm slow", 0, -200},
                {"Output off, input drifting back to true", -120, 120}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain.driftPpm = row.drift;
        api.loopbackChain.outputPpm = row.outrate;
        const double out = Rate * (1 + row.outrate / 1e6), in = out * (1 + row.drift / 1e6);
        // Within the frame that rounding the start to the clock's frames costs.
        EXPECT_NEAR(static_cast<double>(FramesIn(WaveDirection::Output, 20000)), out * 20, 1.0);
        EXPECT_NEAR(static_cast<double>(FramesIn(WaveDirection::Input, 20000)), in * 20, 1.0);
    }
}

// A drifting input hears the output's tone with a phase that moves by
// 2 pi f drift t: the tone's frequency in the capture is f / (1 + drift).
TEST_F(VirtualLoopbackClockTest, DriftingInputHearsTheToneAtItsShiftedFrequency)
{
    for (double drift : {37.5, -250.0}) {
        SCOPED_TRACE(drift);
        api.loopbackChain = {};
        api.loopbackChain.driftPpm = drift;
        api.loopbackChain.latencyFrames = 100;
        const double hz = 997;
        const std::size_t frames = 20 * Rate;
        std::vector<std::uint8_t> tone(frames * Block);
        for (std::size_t i = 0; i < frames; ++i)
            StoreFraction(&tone[2 * i], 0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / Rate), 2,
                          16);
        Run run = Loop(tone, frames - Rate);
        // The phase of the capture against the played tone, one second apart,
        // away from the start.
        auto phase = [&](std::size_t first) {
            double re = 0, im = 0;
            for (std::size_t i = first; i < first + Rate; ++i) {
                double w = 2 * std::numbers::pi * hz * static_cast<double>(i) / Rate;
                double x = LoadFraction(&run.capture[2 * i], 2);
                re += x * std::cos(w), im -= x * std::sin(w);
            }
            return std::atan2(im, re);
        };
        const double seconds = 16;
        double moved = std::remainder(phase(Rate + static_cast<std::size_t>(seconds * Rate)) - phase(Rate),
                                      2 * std::numbers::pi);
        // f / (1 + d) - f = -f d / (1 + d) Hz, times 2 pi per second.
        double expected = std::remainder(-2 * std::numbers::pi * hz * drift / (1e6 + drift) * seconds,
                                         2 * std::numbers::pi);
        EXPECT_NEAR(moved, expected, 2e-4);
    }
}

// Skips and repeats move what the input hears for good; overruns lose
// frames of the capture and fill it later; underruns put silence in the
// cable and play the rest later. Xruns are counted in the host detail.
TEST_F(VirtualLoopbackClockTest, GlitchesAndXrunsHappenAtTheirFrames)
{
    using Kind = VirtualGlitch::Kind;
    struct Row {
        const char* name;
        Kind kind;
        std::uint64_t frame;
        std::uint32_t frames;
    } rows[] = {{"Skip", Kind::Skip, 24000, 200},
                {"Repeat", Kind::Repeat, 24000, 480},
                {"Overrun", Kind::Overrun, 30000, 1024},
                {"Underrun", Kind::Underrun, 20000, 4800}};
    const std::uint32_t latency = 480;
    const std::size_t frames = 96000;
    const std::vector<std::uint8_t> ramp = Ramp(frames + 20000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain = {};
        api.loopbackChain.latencyFrames = latency;
        api.loopbackChain.glitches = {{row.kind, row.frame, row.frames}};
        WaveDirection end = row.kind == Kind::Underrun ? WaveDirection::Output : WaveDirection::Input;
        const WaveHostDetail before = api.HostDetail(end, LoopbackDevice);
        Run run = Loop(ramp, frames);
        for (std::size_t n = latency; n < frames; ++n) {
            // The played frame capture frame n holds; -1 for silence.
            std::int64_t source = static_cast<std::int64_t>(n) - latency;
            if (n >= row.frame && row.kind == Kind::Skip)
                source += row.frames;
            if (n >= row.frame && row.kind == Kind::Repeat)
                source -= row.frames;
            if (n >= row.frame && row.kind == Kind::Overrun)
                source += row.frames;
            if (row.kind == Kind::Underrun && source >= static_cast<std::int64_t>(row.frame))
                source = source < static_cast<std::int64_t>(row.frame + row.frames) ? -1 : source - row.frames;
            std::int16_t expected =
                source < 0 ? 0 : static_cast<std::int16_t>(static_cast<int>(source % 30000) - 15000);
            ASSERT_EQ(FrameAt(run.capture, n), expected) << "at capture frame " << n;
        }
        const WaveHostDetail after = api.HostDetail(end, LoopbackDevice);
        const bool xrun = row.kind == Kind::Overrun || row.kind == Kind::Underrun;
        EXPECT_EQ(after.xruns - before.xruns, xrun ? 1u : 0u);
        EXPECT_EQ(after.framesLost - before.framesLost, xrun ? row.frames : 0u);
        // An overrun's lost frames fill the capture that much later.
        const std::uint32_t fillMs = 2000 + (row.kind == Kind::Overrun ? row.frames * 1000 / Rate : 0);
        EXPECT_NEAR(run.captureTicks, fillMs, 10);
    }
}

TEST(VirtualLoopbackClockSettingsTest, ClocksAndFaultsAreReadOrRefused)
{
    VirtualLoopbackChain chain;
    std::string error;
    ASSERT_TRUE(ParseVirtualLoopbackChain("drift=12.5,outrate=-40,skip=100+3,repeat=7+2,overrun=48000+256,"
                                          "underrun=96000+1024",
                                          chain, error))
        << error;
    EXPECT_EQ(chain.driftPpm, 12.5);
    EXPECT_EQ(chain.outputPpm, -40);
    ASSERT_EQ(chain.glitches.size(), 4u);
    EXPECT_EQ(chain.glitches[0].kind, VirtualGlitch::Kind::Skip);
    EXPECT_EQ(chain.glitches[1].kind, VirtualGlitch::Kind::Repeat);
    EXPECT_EQ(chain.glitches[2].frame, 48000u);
    EXPECT_EQ(chain.glitches[3].kind, VirtualGlitch::Kind::Underrun);
    EXPECT_EQ(chain.glitches[3].frames, 1024u);
    EXPECT_DOUBLE_EQ(chain.InputClock(), (1 - 40e-6) * (1 + 12.5e-6));

    for (const char* bad : {"drift=10001", "drift=inf", "outrate=", "skip=5", "skip=5+0", "repeat=x+1",
                            "overrun=1+3840001", "underrun=-1+5"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseVirtualLoopbackChain(bad, chain, error));
        EXPECT_NE(error.find("is not a loopback setting"), std::string::npos);
    }
    std::string many;
    for (int i = 0; i <= 64; ++i)
        many += (i ? "," : "") + std::string("skip=") + std::to_string(i) + "+1";
    EXPECT_FALSE(ParseVirtualLoopbackChain(many.c_str(), chain, error));
}

} // namespace
