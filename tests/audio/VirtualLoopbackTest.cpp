// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual loopback pair: what the loopback output plays comes back at the
// loopback input, shifted by the latency and put through the chain. Every
// expectation is computed here from the chain's stated formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "audio/FullDuplexRun.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

constexpr double Off = -std::numeric_limits<double>::infinity();
constexpr std::uint32_t LoopbackDevice = 1;

struct Format {
    std::uint16_t channels = 2;
    std::uint32_t rate = 48000;
    std::uint16_t bytes = 2;
    std::uint16_t validBits = 16;
    std::uint16_t Block() const { return static_cast<std::uint16_t>(channels * bytes); }
};

ExtensibleWaveFormat Describe(const Format& f)
{
    return {WaveFormatTagExtensible, f.channels, f.rate, f.rate * f.Block(), f.Block(),
            static_cast<std::uint16_t>(8 * f.bytes), ExtensibleFormatExtraBytes, f.validBits, 0,
            WaveSubtypePcm};
}

// Interleaved fractions of full scale to PCM: rounded to the valid bits,
// clamped, shifted into the container, 8-bit around 128.
std::vector<std::uint8_t> Encode(const std::vector<double>& samples, const Format& f)
{
    std::vector<std::uint8_t> out;
    const double top = std::ldexp(1.0, f.validBits - 1);
    for (double x : samples) {
        double q = std::clamp(std::round(x * top), -top, top - 1);
        auto value = static_cast<std::int64_t>(q) * (std::int64_t{1} << (8 * f.bytes - f.validBits));
        if (f.bytes == 1)
            value += 128;
        for (int b = 0; b < f.bytes; ++b)
            out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * b)));
    }
    return out;
}

std::vector<double> Decode(const std::vector<std::uint8_t>& bytes, const Format& f)
{
    std::vector<double> out;
    for (std::size_t i = 0; i + f.bytes <= bytes.size(); i += f.bytes) {
        std::int64_t value = 0;
        for (int b = 0; b < f.bytes; ++b)
            value |= std::int64_t{bytes[i + b]} << (8 * b);
        if (f.bytes == 1)
            value -= 128;
        else if (value >> (8 * f.bytes - 1))
            value -= std::int64_t{1} << (8 * f.bytes);
        out.push_back(std::ldexp(static_cast<double>(value), 1 - 8 * f.bytes));
    }
    return out;
}

// Frames of one channel out of interleaved samples.
std::vector<double> Channel(const std::vector<double>& samples, std::uint16_t channels, std::uint16_t channel,
                            std::size_t first, std::size_t count)
{
    std::vector<double> out;
    for (std::size_t i = first; i < first + count; ++i)
        out.push_back(samples.at(i * channels + channel));
    return out;
}

// Sines per channel (amplitude 0: silence), interleaved.
std::vector<double> Sines(std::size_t frames, std::uint32_t rate, double hz, std::vector<double> amplitudes)
{
    std::vector<double> out;
    for (std::size_t i = 0; i < frames; ++i)
        for (double a : amplitudes)
            out.push_back(a * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate));
    return out;
}

// Least-squares amplitude of a sine of `hz` in `x`.
double Amplitude(const std::vector<double>& x, std::uint32_t rate, double hz)
{
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        double w = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        double s = std::sin(w), c = std::cos(w);
        ss += s * s, cc += c * c, sc += s * c, xs += x[i] * s, xc += x[i] * c;
    }
    double det = ss * cc - sc * sc;
    double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    return std::hypot(a, b);
}

double Db(double ratio)
{
    return 20 * std::log10(ratio);
}

class VirtualLoopbackTest : public ::testing::Test {
protected:
    // How the caller lets time pass and polls while the pair runs: one step,
    // given its number; the plain one sleeps 100 ms and polls the output,
    // then the input.
    using Poll = std::function<void(int step, WaveHandle output, WaveHandle input)>;

    // Records `captureFrames` on the loopback input while the loopback output
    // plays `stimulus`, started `outputLaterMs` after the input (before it,
    // when negative).
    std::vector<std::uint8_t> Loop(const Format& out, const Format& in, const std::vector<double>& stimulus,
                                   std::size_t captureFrames, std::int32_t outputLaterMs = 0, Poll poll = {})
    {
        ExtensibleWaveFormat outFormat = Describe(out), inFormat = Describe(in);
        WaveHandle output = 0, input = 0;
        EXPECT_EQ(api.Open(WaveDirection::Input, input, LoopbackDevice, &inFormat, nullptr, 0, 0), WaveNoError);
        EXPECT_EQ(api.Open(WaveDirection::Output, output, LoopbackDevice, &outFormat, nullptr, 0, 0),
                  WaveNoError);
        EXPECT_EQ(api.Pause(output), WaveNoError);
        std::vector<std::uint8_t> played = Encode(stimulus, out);
        std::vector<std::uint8_t> captured(captureFrames * in.Block());
        WaveHeader playHeader, captureHeader;
        playHeader.data = played.data();
        playHeader.bufferLength = static_cast<std::uint32_t>(played.size());
        captureHeader.data = captured.data();
        captureHeader.bufferLength = static_cast<std::uint32_t>(captured.size());
        EXPECT_EQ(api.PrepareHeader(input, &captureHeader, sizeof(WaveHeader)), WaveNoError);
        EXPECT_EQ(api.QueueBuffer(input, &captureHeader, sizeof(WaveHeader)), WaveNoError);
        EXPECT_EQ(api.PrepareHeader(output, &playHeader, sizeof(WaveHeader)), WaveNoError);
        EXPECT_EQ(api.QueueBuffer(output, &playHeader, sizeof(WaveHeader)), WaveNoError);
        if (outputLaterMs < 0) {
            EXPECT_EQ(api.Restart(output), WaveNoError);
            services.fake.Sleep(static_cast<std::uint32_t>(-outputLaterMs));
        }
        EXPECT_EQ(api.Start(input), WaveNoError);
        if (outputLaterMs > 0) {
            services.fake.Sleep(static_cast<std::uint32_t>(outputLaterMs));
            api.Update(input); // polled while it waits: nothing moves
        }
        if (outputLaterMs >= 0) {
            EXPECT_EQ(api.Restart(output), WaveNoError);
        }
        for (int step = 0; step < 100000 && !(captureHeader.flags & WaveHeaderDone); ++step) {
            if (poll) {
                poll(step, output, input);
                continue;
            }
            services.fake.Sleep(100);
            api.Update(output);
            api.Update(input);
        }
        EXPECT_TRUE(captureHeader.flags & WaveHeaderDone);
        EXPECT_TRUE(playHeader.flags & WaveHeaderDone);
        EXPECT_EQ(captureHeader.bytesRecorded, captured.size());
        for (auto [handle, header] : {std::pair{input, &captureHeader}, std::pair{output, &playHeader}}) {
            api.Reset(handle);
            api.UnprepareHeader(handle, header, sizeof(WaveHeader));
            EXPECT_EQ(api.Close(handle), WaveNoError);
        }
        EXPECT_EQ(api.Device(WaveDirection::Output, LoopbackDevice).played, played);
        return captured;
    }

    CFakeServicesScope services;
    CVirtualWaveApi api;
};

// A pseudo-random stimulus of values exact in the format, so a plain chain
// hands it back byte for byte.
std::vector<double> Pattern(std::size_t frames, const Format& f)
{
    std::vector<double> out;
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < frames * f.channels; ++i) {
        state = state * 1664525u + 1013904223u;
        out.push_back((static_cast<double>(state >> 8) / (1u << 24) - 0.5) * 1.6);
    }
    return Decode(Encode(out, f), f);
}

struct TimingRow {
    const char* name;
    Format out;
    Format in;
    std::uint32_t latency;
    std::int32_t outputLaterMs;
    std::vector<VirtualDropout> dropouts;
};

// The capture holds the stimulus exactly `latency` frames in (less the
// frames by which the output started first; an input started first waits
// for the held output), in the input's format, silence of that format before
// and after it, and digital silence over each dropout.
TEST_F(VirtualLoopbackTest, CaptureIsTheStimulusDelayedFrameExact)
{
    const TimingRow rows[] = {
        {"Default chain", {}, {}, 256, 0, {}},
        {"Mono 24-bit at 44.1 kHz", {1, 44100, 3, 24}, {1, 44100, 3, 24}, 480, 0, {}},
        {"Output started 7 ms later: the input waits for it", {}, {}, 100, 7, {}},
        {"Input started 2 ms later", {}, {}, 256, -2, {}},
        {"44.1 kHz, output 10 ms later", {2, 44100, 2, 16}, {2, 44100, 2, 16}, 0, 10, {}},
        {"8-bit silence is 128", {1, 8000, 1, 8}, {1, 8000, 1, 8}, 33, 0, {}},
        {"32-bit with 20 valid bits", {2, 96000, 4, 20}, {2, 96000, 4, 20}, 1000, 3, {}},
        {"16-bit played, 24-bit recorded", {2, 48000, 2, 16}, {2, 48000, 3, 24}, 64, 0, {}},
        {"Dropouts", {}, {}, 256, 0, {{1000, 48}, {3000, 1}}},
    };
    for (const TimingRow& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain = {};
        api.loopbackChain.latencyFrames = row.latency;
        api.loopbackChain.dropouts = row.dropouts;
        const std::size_t frames = 4000;
        std::vector<double> stimulus = Pattern(frames, row.out);
        const std::int64_t outputFirstMs = std::min(row.outputLaterMs, 0);
        auto offset = static_cast<std::size_t>(row.latency + outputFirstMs * row.out.rate / 1000);
        std::size_t captureFrames = offset + frames + 500;
        std::vector<std::uint8_t> captured = Loop(row.out, row.in, stimulus, captureFrames, row.outputLaterMs);

        std::vector<double> expected(captureFrames * row.in.channels, 0.0);
        std::copy(stimulus.begin(), stimulus.end(), expected.begin() + static_cast<std::ptrdiff_t>(offset * row.in.channels));
        for (const VirtualDropout& d : row.dropouts)
            std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(d.frame * row.in.channels),
                        d.frames * row.in.channels, 0.0);
        EXPECT_TRUE(captured == Encode(expected, row.in));
    }
}

// The known truth repeats: at each rate the same settings give the same
// capture byte for byte, whichever end is polled first, however unevenly
// time passes between polls, and whatever time passes between the starts.
TEST_F(VirtualLoopbackTest, SameSettingsGiveTheSameCaptureHoweverThePairIsPolled)
{
    struct Schedule {
        const char* name;
        std::int32_t outputLaterMs;
        Poll poll;
        std::uint32_t ticksPerRead = 0;
    };
    // A fixed pseudo-random walk: 1 to 37 ms steps, either end first, now
    // and then one end alone or twice.
    auto uneven = [this](int step, WaveHandle output, WaveHandle input) {
        const auto r = static_cast<std::uint32_t>(step) * 2654435761u;
        services.fake.Sleep(1 + (r >> 8) % 37);
        const WaveHandle first = (r >> 20) & 1 ? input : output;
        api.Update(first);
        if ((r >> 24) % 5 != 0)
            api.Update(first == input ? output : input);
        if ((r >> 27) % 7 == 0)
            api.Update(input);
    };
    const Schedule schedules[] = {
        {"plain", 0, {}},
        {"input polled first", 0,
         [this](int, WaveHandle output, WaveHandle input) {
             services.fake.Sleep(100);
             api.Update(input);
             api.Update(output);
         }},
        {"uneven", 0, uneven},
        {"uneven, output 3 ms after the input", 3, uneven},
        {"every millisecond, input only", 1,
         [this](int, WaveHandle, WaveHandle input) {
             services.fake.Sleep(1);
             api.Update(input);
         }},
        {"a clock that moves on every reading", 0,
         [this](int step, WaveHandle output, WaveHandle input) {
             services.fake.Sleep(step % 3 == 0 ? 10 : 0);
             api.Update(step % 2 == 0 ? output : input);
         },
         1},
    };
    struct Row {
        const char* name;
        Format format;
        VirtualLoopbackChain chain;
    } rows[] = {
        {"48 kHz, latency 0", {2, 48000, 2, 16}, {.latencyFrames = 0}},
        {"384 kHz, latency 0", {2, 384000, 3, 24}, {.latencyFrames = 0}},
        {"384 kHz, the plain chain", {1, 384000, 2, 16}, {}},
        {"384 kHz, noise, harmonic and dropouts",
         {2, 384000, 4, 24},
         {.latencyFrames = 100, .noiseDbfs = -90, .harmonicDb = -40, .dropouts = {{5000, 128}}, .seed = 3}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain = row.chain;
        const std::size_t frames = row.format.rate / 20;
        const std::vector<double> stimulus = Pattern(frames, row.format);
        const std::size_t captureFrames = frames + row.chain.latencyFrames + 700;
        std::vector<std::uint8_t> first;
        for (const Schedule& schedule : schedules) {
            SCOPED_TRACE(schedule.name);
            services.fake.ticksPerRead = schedule.ticksPerRead;
            std::vector<std::uint8_t> captured =
                Loop(row.format, row.format, stimulus, captureFrames, schedule.outputLaterMs, schedule.poll);
            services.fake.ticksPerRead = 0;
            if (first.empty())
                first = captured;
            EXPECT_TRUE(captured == first);
        }
        if (row.chain.noiseDbfs == Off) {
            std::vector<double> expected(captureFrames * row.format.channels, 0.0);
            std::copy(stimulus.begin(), stimulus.end(),
                      expected.begin() + static_cast<std::ptrdiff_t>(row.chain.latencyFrames * row.format.channels));
            EXPECT_TRUE(first == Encode(expected, row.format));
        }
    }
}

TEST_F(VirtualLoopbackTest, DifferentRatesCarryNothing)
{
    api.loopbackChain.latencyFrames = 10;
    Format out{2, 48000, 2, 16}, in{2, 44100, 2, 16};
    std::vector<std::uint8_t> captured = Loop(out, in, Pattern(2000, out), 3000);
    EXPECT_EQ(captured, std::vector<std::uint8_t>(captured.size(), 0));
}

// A sound server in the cable: at another rate than its own each frame is
// the stated round trip of a linear interpolator, and the server's precision
// cuts what the input would have kept; at its own rate and precision the
// stimulus comes back exactly.
TEST_F(VirtualLoopbackTest, ServerChainResamplesAndCutsAsStated)
{
    struct Row {
        const char* name;
        Format format;
        std::uint32_t serverRate;
        std::uint16_t serverBits;
        std::uint16_t keptBits; // the precision the capture is encoded in
    };
    const Row rows[] = {
        {"44.1 kHz through a 48 kHz server", {2, 44100, 2, 16}, 48000, 0, 16},
        {"48 kHz through a 48 kHz server", {2, 48000, 3, 24}, 48000, 0, 24},
        {"24 of 32 bits through a 16-bit server", {2, 48000, 4, 24}, 48000, 16, 16},
        {"16 bits through a 16-bit server", {1, 48000, 2, 16}, 0, 16, 16},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain = {};
        api.loopbackChain.latencyFrames = 100;
        api.loopbackChain.serverRate = row.serverRate;
        api.loopbackChain.serverBits = row.serverBits;
        const std::size_t frames = 3000;
        std::vector<double> stimulus = Pattern(frames, row.format);
        std::vector<std::uint8_t> captured = Loop(row.format, row.format, stimulus, frames + 200);

        const std::uint16_t channels = row.format.channels;
        std::vector<double> expected((frames + 200) * channels, 0.0);
        // One frame past the stimulus the interpolator still hears its end.
        for (std::size_t s = 0; s <= frames; ++s) {
            std::uint64_t phase = row.serverRate == 0 ? 0 : s * row.serverRate % row.format.rate;
            for (std::uint16_t c = 0; c < channels; ++c) {
                double x = s == frames ? 0.0 : stimulus[s * channels + c];
                double before = s == 0 ? 0.0 : stimulus[(s - 1) * channels + c];
                expected[(s + 100) * channels + c] =
                    phase == 0 ? x : x - (x - before) * static_cast<double>(phase) / row.format.rate;
            }
        }
        Format kept = row.format;
        kept.validBits = row.keptBits;
        std::vector<std::uint8_t> want = Encode(expected, kept);
        ASSERT_EQ(captured.size(), want.size());
        auto differs = std::mismatch(captured.begin(), captured.end(), want.begin());
        EXPECT_TRUE(differs.first == captured.end()) << "first byte off: " << (differs.first - captured.begin());
        if (row.serverRate == row.format.rate && row.keptBits == row.format.validBits) {
            std::vector<std::uint8_t> exact(captured.begin() + 100 * row.format.Block(),
                                            captured.begin() + (100 + frames) * row.format.Block());
            EXPECT_TRUE(exact == Encode(stimulus, row.format));
        }
    }
}

// The one-zero FIR's c for a tilt: the root of the stated equation, found
// here by bisection (the tilt falls as c rises).
double TiltZero(double tiltDb, double rate)
{
    auto mag = [](double c, double w) { return std::abs(1.0 + c * std::polar(1.0, -w)); };
    auto tilt = [&](double c) { return Db(mag(c, 2 * std::numbers::pi * 0.45) / mag(c, 2 * std::numbers::pi * 1000 / rate)); };
    double low = -0.999999, high = 0.999999;
    for (int i = 0; i < 200; ++i) {
        double mid = (low + high) / 2;
        (tilt(mid) > tiltDb ? low : high) = mid;
    }
    return (low + high) / 2;
}

// |H| at hz relative to 1 kHz.
double TiltResponseDb(double tiltDb, double rate, double hz)
{
    const double c = TiltZero(tiltDb, rate);
    auto mag = [c, rate](double f) { return std::abs(1.0 + c * std::polar(1.0, -2 * std::numbers::pi * f / rate)); };
    return Db(mag(hz) / mag(1000));
}

struct LevelRow {
    const char* name;
    VirtualLoopbackChain chain;
    Format format;
    double hz;
    double amplitude;
    double expectedDb; // level of the captured sine re the played one
};

// Gain and tilt on a steady sine, fitted past the chain's first frame.
TEST_F(VirtualLoopbackTest, GainAndTiltGiveTheStatedLevels)
{
    const Format f24{1, 48000, 3, 24};
    const Format f44{2, 44100, 4, 32};
    const LevelRow rows[] = {
        {"Gain -3 dB", {.latencyFrames = 64, .gainDb = -3}, f24, 1000, 0.5, -3},
        {"Gain +6 dB", {.latencyFrames = 64, .gainDb = 6}, f44, 1000, 0.25, 6},
        {"Gain -20 dB at 16 bits", {.latencyFrames = 64, .gainDb = -20}, {1, 48000, 2, 16}, 1000, 0.5, -20},
        {"Tilt -1 dB at 1 kHz", {.latencyFrames = 64, .tiltDb = -1}, f24, 1000, 0.5, 0},
        {"Tilt -1 dB at 0.45 x rate", {.latencyFrames = 64, .tiltDb = -1}, f24, 21600, 0.5, -1},
        {"Tilt -1 dB at 10 kHz", {.latencyFrames = 64, .tiltDb = -1}, f24, 10000, 0.5,
         TiltResponseDb(-1, 48000, 10000)},
        {"Tilt +6 dB at 5 kHz", {.latencyFrames = 64, .tiltDb = 6}, f44, 5000, 0.25, TiltResponseDb(6, 44100, 5000)},
        {"Tilt -12 dB at 100 Hz", {.latencyFrames = 64, .tiltDb = -12}, f44, 100, 0.5,
         TiltResponseDb(-12, 44100, 100)},
        {"Tilt +3 dB with gain -6 dB", {.latencyFrames = 64, .gainDb = -6, .tiltDb = 3}, f44, 19845, 0.25, -3},
    };
    for (const LevelRow& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain = row.chain;
        const std::size_t frames = 9600;
        std::vector<double> stimulus =
            Sines(frames, row.format.rate, row.hz, std::vector<double>(row.format.channels, row.amplitude));
        std::vector<double> captured = Decode(Loop(row.format, row.format, stimulus, frames + 200), row.format);
        // Sample for sample: g gain (x[s] + c x[s-1]), across every poll's edge.
        const double zero = row.chain.tiltDb == 0 ? 0 : TiltZero(row.chain.tiltDb, row.format.rate);
        const double g = 1 / std::abs(1.0 + zero * std::polar(1.0, -2 * std::numbers::pi * 1000 / row.format.rate));
        const double lsb = std::ldexp(1.0, 1 - row.format.validBits);
        for (std::uint16_t c = 0; c < row.format.channels; ++c) {
            std::vector<double> got = Channel(captured, row.format.channels, c, 64 + 1, frames - 1);
            std::vector<double> sent =
                Channel(Decode(Encode(stimulus, row.format), row.format), row.format.channels, c, 0, frames);
            EXPECT_NEAR(Db(Amplitude(got, row.format.rate, row.hz) / Amplitude(sent, row.format.rate, row.hz)),
                        row.expectedDb, 0.005);
            int wrong = 0;
            for (std::size_t i = 0; i + 1 < frames; ++i)
                wrong += std::abs(got[i] - g * std::pow(10, row.chain.gainDb / 20) * (sent[i + 1] + zero * sent[i])) >
                         lsb;
            EXPECT_EQ(wrong, 0);
        }
    }
}

// The third harmonic: exact at the reference level, fundamental untouched
// there; at other levels as the polynomial gives it.
TEST_F(VirtualLoopbackTest, HarmonicLevelFollowsThePolynomial)
{
    const double reference = std::pow(10, VirtualHarmonicReferenceDbfs / 20);
    const Format f{1, 48000, 4, 32};
    struct Row {
        const char* name;
        double harmonicDb;
        double amplitude;
    } rows[] = {{"-40 dB at the reference", -40, reference},
                {"-20 dB at the reference", -20, reference},
                {"-40 dB, 6 dB below the reference", -40, reference / 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain = {.latencyFrames = 16, .harmonicDb = row.harmonicDb};
        std::vector<double> stimulus = Sines(4800, f.rate, 1000, {row.amplitude});
        std::vector<double> got = Channel(Decode(Loop(f, f, stimulus, 5000), f), 1, 0, 16, 4800);
        const double k = std::pow(10, row.harmonicDb / 20);
        const double ratio = row.amplitude / reference;
        EXPECT_NEAR(Amplitude(got, f.rate, 1000), row.amplitude * (1 + 3 * k * (ratio * ratio - 1)), 1e-7);
        EXPECT_NEAR(Db(Amplitude(got, f.rate, 3000) / row.amplitude), row.harmonicDb + Db(ratio * ratio), 0.001);
    }
}

// Noise of the set RMS, the same for the same seed, another for another.
TEST_F(VirtualLoopbackTest, NoiseHasItsRmsAndRepeatsWithItsSeed)
{
    const Format f{2, 48000, 3, 24};
    auto rmsDb = [&](const std::vector<std::uint8_t>& bytes) {
        double sum = 0;
        std::vector<double> x = Decode(bytes, f);
        for (double v : x)
            sum += v * v;
        return 10 * std::log10(sum / static_cast<double>(x.size()));
    };
    std::vector<double> silence(2 * 100, 0.0);
    for (double noise : {-90.0, -60.0, -20.0}) {
        SCOPED_TRACE(noise);
        api.loopbackChain = {.noiseDbfs = noise, .seed = 7};
        std::vector<std::uint8_t> first = Loop(f, f, silence, 96000);
        EXPECT_NEAR(rmsDb(first), noise, 0.1);
        EXPECT_EQ(Loop(f, f, silence, 96000), first);
        api.loopbackChain.seed = 8;
        EXPECT_NE(Loop(f, f, silence, 96000), first);
    }
}

// Channel 0 driven, channel 1 silent: leakage and swap show where it went.
TEST_F(VirtualLoopbackTest, CrosstalkAndSwapMoveTheChannels)
{
    const Format f{2, 48000, 3, 24};
    struct Row {
        const char* name;
        double crosstalkDb;
        bool swap;
        double expected0; // amplitude in channel 0 and 1, re the driven one
        double expected1;
    } rows[] = {{"Leakage -40 dB", -40, false, 1, 0.01},
                {"Swap", Off, true, 0, 1},
                {"Leakage -60 dB, swapped", -60, true, 0.001, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain = {.latencyFrames = 8, .swapChannels = row.swap, .crosstalkDb = row.crosstalkDb};
        std::vector<double> stimulus = Sines(4800, f.rate, 1000, {0.5, 0.0});
        std::vector<double> got = Decode(Loop(f, f, stimulus, 5000), f);
        EXPECT_NEAR(Amplitude(Channel(got, 2, 0, 8, 4800), f.rate, 1000), 0.5 * row.expected0, 2e-7);
        EXPECT_NEAR(Amplitude(Channel(got, 2, 1, 8, 4800), f.rate, 1000), 0.5 * row.expected1, 2e-7);
    }
    // A mono input takes chain channel 0 of a stereo output.
    api.loopbackChain = {.latencyFrames = 8, .swapChannels = true};
    Format mono{1, 48000, 3, 24};
    std::vector<double> got = Decode(Loop(f, mono, Sines(4800, f.rate, 1000, {0.5, 0.25}), 5000), mono);
    EXPECT_NEAR(Amplitude(Channel(got, 1, 0, 8, 4800), f.rate, 1000), 0.25, 2e-7);
}

// Playing with no loopback input open still plays, and keeps only what a
// later input could hear; a long duplex run holds no more than the latency
// and one poll's worth.
TEST_F(VirtualLoopbackTest, CableMemoryStaysBoundedOverALongRun)
{
    const Format f{2, 48000, 2, 16};
    api.loopbackChain.latencyFrames = 4800;
    api.playedLimit = 48000 * f.Block();
    std::vector<double> tone = Sines(48000, f.rate, 1000, {0.5, 0.5});
    std::vector<std::uint8_t> bytes = Encode(tone, f);
    ExtensibleWaveFormat format = Describe(f);
    WaveHandle output = 0, input = 0;
    ASSERT_EQ(api.Open(WaveDirection::Output, output, LoopbackDevice, &format, nullptr, 0, 0), WaveNoError);
    WaveHeader play[2], capture[2];
    std::vector<std::uint8_t> captured[2] = {std::vector<std::uint8_t>(bytes.size()),
                                             std::vector<std::uint8_t>(bytes.size())};
    auto keepQueued = [&](WaveHandle handle, WaveHeader* headers, bool isInput) {
        for (int i = 0; i < 2; ++i) {
            if (!(headers[i].flags & WaveHeaderDone))
                continue;
            headers[i].data = isInput ? captured[i].data() : bytes.data();
            headers[i].bufferLength = static_cast<std::uint32_t>(bytes.size());
            api.PrepareHeader(handle, &headers[i], sizeof(WaveHeader));
            ASSERT_EQ(api.QueueBuffer(handle, &headers[i], sizeof(WaveHeader)), WaveNoError);
        }
    };
    std::size_t most = 0;
    for (int step = 0; step < 1200; ++step) { // two minutes in 100 ms polls
        if (step == 600) {
            ASSERT_EQ(api.Open(WaveDirection::Input, input, LoopbackDevice, &format, nullptr, 0, 0),
                      WaveNoError);
            ASSERT_EQ(api.Start(input), WaveNoError);
        }
        keepQueued(output, play, false);
        if (input != 0)
            keepQueued(input, capture, true);
        services.fake.Sleep(100);
        api.Update(output);
        most = std::max(most, api.LoopbackHeldBytes());
        if (step == 599) {
            EXPECT_LE(api.LoopbackHeldBytes(), (4800u + 2) * f.Block());
        }
    }
    EXPECT_LE(most, (4800u + 2 + 4800) * f.Block());
    EXPECT_GE(most, 4800u * f.Block());
    EXPECT_FALSE(api.LoopbackLost());
    // What came back in the last second is the tone, undisturbed.
    std::vector<double> got = Channel(Decode(captured[0], f), 2, 0, 0, 48000);
    EXPECT_NEAR(Amplitude(got, f.rate, 1000), 0.5, 1e-4);
    EXPECT_EQ(api.Device(WaveDirection::Output, LoopbackDevice).played, bytes);
    for (WaveHandle handle : {input, output}) {
        api.Reset(handle);
        EXPECT_EQ(api.Close(handle), WaveNoError);
    }
}

struct ParseRow {
    const char* name;
    const char* text;
    bool ok;
    VirtualLoopbackChain expected;
};

TEST(VirtualLoopbackSettingsTest, SettingsAreReadOrRefusedWhole)
{
    const VirtualLoopbackChain plain;
    VirtualLoopbackChain full{.latencyFrames = 480, .gainDb = -3, .noiseDbfs = -90, .harmonicDb = -40,
                              .tiltDb = -1, .dropouts = {{24000, 48}}, .swapChannels = true,
                              .crosstalkDb = -60, .seed = 7};
    VirtualLoopbackChain twoDropouts = plain;
    twoDropouts.dropouts = {{0, 1}, {100, 3840000}};
    VirtualLoopbackChain limits{.latencyFrames = 3840000, .gainDb = 40, .noiseDbfs = Off, .harmonicDb = -200,
                                .tiltDb = 12, .crosstalkDb = Off, .seed = 4294967295u};
    const ParseRow rows[] = {
        {"Unset", nullptr, true, plain},
        {"Empty", "", true, plain},
        {"Every setting", "latency=480,gain=-3,noise=-90,harmonic=-40,tilt=-1,dropout=24000+48,swap,crosstalk=-60,seed=7",
         true, full},
        {"Two dropouts", "dropout=0+1,dropout=100+3840000", true, twoDropouts},
        {"Limits", "latency=3840000,gain=+40,noise=-inf,harmonic=-200,tilt=12,crosstalk=off,seed=4294967295", true,
         limits},
        {"Latency beyond 10 s at 384 kHz", "latency=3840001", false, {}},
        {"Negative latency", "latency=-1", false, {}},
        {"Latency not a number", "latency=4k", false, {}},
        {"Gain too high", "gain=41", false, {}},
        {"Gain not finite", "gain=inf", false, {}},
        {"Noise above full scale", "noise=1", false, {}},
        {"Noise NaN", "noise=nan", false, {}},
        {"Tilt too steep", "tilt=-12.5", false, {}},
        {"Dropout without length", "dropout=100", false, {}},
        {"Dropout of no frames", "dropout=100+0", false, {}},
        {"Swap with a value", "swap=1", false, {}},
        {"Unknown setting", "delay=4", false, {}},
        {"Trailing comma", "gain=-3,", false, {}},
        {"Empty value", "seed=", false, {}},
        {"Seed beyond 32 bits", "seed=4294967296", false, {}},
        {"A server", "server=48000,bits=16", true, {.serverRate = 48000, .serverBits = 16}},
        {"Server rate too low", "server=999", false, {}},
        {"Server of no bits", "bits=0", false, {}},
        {"Server bits beyond 32", "bits=33", false, {}},
    };
    for (const ParseRow& row : rows) {
        SCOPED_TRACE(row.name);
        VirtualLoopbackChain chain{.latencyFrames = 9, .gainDb = 1};
        std::string error;
        ASSERT_EQ(ParseVirtualLoopbackChain(row.text, chain, error), row.ok) << error;
        const VirtualLoopbackChain& want = row.ok ? row.expected : VirtualLoopbackChain{.latencyFrames = 9, .gainDb = 1};
        EXPECT_EQ(chain.latencyFrames, want.latencyFrames);
        EXPECT_EQ(chain.gainDb, want.gainDb);
        EXPECT_EQ(chain.noiseDbfs, want.noiseDbfs);
        EXPECT_EQ(chain.harmonicDb, want.harmonicDb);
        EXPECT_EQ(chain.tiltDb, want.tiltDb);
        EXPECT_EQ(chain.swapChannels, want.swapChannels);
        EXPECT_EQ(chain.crosstalkDb, want.crosstalkDb);
        EXPECT_EQ(chain.seed, want.seed);
        EXPECT_EQ(chain.serverRate, want.serverRate);
        EXPECT_EQ(chain.serverBits, want.serverBits);
        ASSERT_EQ(chain.dropouts.size(), want.dropouts.size());
        for (std::size_t i = 0; i < chain.dropouts.size(); ++i) {
            EXPECT_EQ(chain.dropouts[i].frame, want.dropouts[i].frame);
            EXPECT_EQ(chain.dropouts[i].frames, want.dropouts[i].frames);
        }
        if (!row.ok) {
            EXPECT_NE(error.find('"'), std::string::npos) << error;
        }
    }
    std::string many;
    for (int i = 0; i <= 64; ++i)
        many += (i ? "," : "") + std::string("dropout=") + std::to_string(i * 10) + "+1";
    VirtualLoopbackChain chain;
    std::string error;
    EXPECT_FALSE(ParseVirtualLoopbackChain(many.c_str(), chain, error));
}

// Sets a variable of this process; an empty value unsets it on Windows.
void SetVariable(const char* name, const char* value)
{
#ifdef _WIN32
    _putenv_s(name, value);
#else
    setenv(name, value, 1);
#endif
}

TEST(VirtualLoopbackSettingsTest, EnvironmentRefusalIsNamedAndLeavesThePlainChain)
{
    const char* saved = std::getenv("TALLOWMERE_VIRTUAL_LOOPBACK");
    std::string previous = saved != nullptr ? saved : "";
    SetVariable("TALLOWMERE_VIRTUAL_LOOPBACK", "latency=480,gain=-3");
    testing::internal::CaptureStderr();
    VirtualLoopbackChain read = VirtualLoopbackChainFromEnvironment();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(read.latencyFrames, 480u);
    EXPECT_EQ(read.gainDb, -3);

    SetVariable("TALLOWMERE_VIRTUAL_LOOPBACK", "latency=480,gain=loud");
    testing::internal::CaptureStderr();
    read = VirtualLoopbackChainFromEnvironment();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tallowmere: TALLOWMERE_VIRTUAL_LOOPBACK=latency=480,gain=loud: \"gain=loud\" is not a loopback "
              "setting in range; using the plain loopback\n");
    EXPECT_EQ(read.latencyFrames, VirtualLoopbackChain{}.latencyFrames);
    EXPECT_EQ(read.gainDb, 0);
    SetVariable("TALLOWMERE_VIRTUAL_LOOPBACK", previous.c_str());
#ifndef _WIN32
    if (saved == nullptr)
        unsetenv("TALLOWMERE_VIRTUAL_LOOPBACK");
#endif
}

} // namespace

// On the real clock, through the full-duplex run as the command line drives
// it: three runs give the same capture byte for byte, the stimulus exactly
// the latency in, whatever the machine did between the two starts.
TEST(VirtualLoopbackRealTimeTest, FullDuplexRunsGiveTheSameCaptureEveryTime)
{
    struct Row {
        const char* name;
        Format format;
        std::uint32_t latency;
    } rows[] = {{"48 kHz, latency 0", {2, 48000, 2, 16}, 0}, {"384 kHz, 24-bit", {2, 384000, 3, 24}, 256}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CScopedVirtualWaveApi wave;
        wave.api.loopbackChain.latencyFrames = row.latency;
        const std::size_t frames = row.format.rate / 10;
        const std::vector<double> stimulus = Pattern(frames, row.format);
        const std::vector<std::uint8_t> played = Encode(stimulus, row.format);
        FullDuplexRequest request;
        request.inputDevice = request.outputDevice = static_cast<std::int32_t>(LoopbackDevice);
        request.sampleRate = static_cast<std::int32_t>(row.format.rate);
        request.channels = row.format.channels;
        request.bytesPerSample = row.format.bytes;
        request.validBits = row.format.validBits;
        request.extended = true;
        request.stimulus = played;
        request.captureBytes = (frames + row.latency + row.format.rate / 20) * row.format.Block();

        std::vector<double> expected(request.captureBytes / row.format.bytes, 0.0);
        std::copy(stimulus.begin(), stimulus.end(),
                  expected.begin() + static_cast<std::ptrdiff_t>(row.latency * row.format.channels));
        for (int run = 0; run < 3; ++run) {
            FullDuplexResult result;
            ASSERT_EQ(RunFullDuplex(wave.api, request, result), 1) << "run " << run;
            EXPECT_TRUE(result.capture == Encode(expected, row.format)) << "run " << run;
        }
    }
}
