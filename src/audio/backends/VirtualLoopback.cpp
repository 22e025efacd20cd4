// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/backends/VirtualLoopback.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <new>
#include <numbers>

#include "core/SampleCodec.h"

namespace {

// |1 + c e^-jw|
double ZeroMagnitude(double c, double w)
{
    return std::abs(1.0 + c * std::polar(1.0, -w));
}

// The FIR's c for the tilt at the rate, or false when none in (-1, 1) gives it.
bool TiltCoefficient(double tiltDb, std::uint32_t rate, double& c)
{
    if (tiltDb == 0 || !std::isfinite(tiltDb) || 0.45 * rate <= 1000)
        return false;
    const double w1 = 2 * std::numbers::pi * 1000 / rate;
    const double wt = 2 * std::numbers::pi * 0.45;
    // |1 + c e^-jw|^2 = 1 + c^2 + 2 c cos w; equating the ratio to the
    // power ratio gives c^2 + 2 b c + 1 = 0, whose roots multiply to 1.
    const double power = std::pow(10.0, tiltDb / 10);
    const double b = (std::cos(wt) - power * std::cos(w1)) / (1 - power);
    if (std::abs(b) <= 1)
        return false;
    c = b > 0 ? -b + std::sqrt(b * b - 1) : -b - std::sqrt(b * b - 1);
    return std::abs(c) < 1;
}

double Linear(double db)
{
    return std::isfinite(db) ? std::pow(10.0, db / 20) : 0.0;
}

std::uint32_t Latency(const VirtualLoopbackChain& chain)
{
    return std::min(chain.latencyFrames, VirtualLoopbackMaxLatencyFrames);
}

const double HarmonicReferenceSquared = std::pow(10.0, VirtualHarmonicReferenceDbfs / 10);

} // namespace

void CVirtualLoop::BeginPlayback(const WaveFormatInfo& format, const VirtualLoopbackChain& settings)
{
    frameValues.resize(std::max<std::size_t>({frameValues.size(), format.channels, 2}));
    ring.clear();
    ringFirst = 0;
    played = format;
    playLatency = Latency(settings);
    reachExtra = ExtraReach(settings);
    lost = false;
}

void CVirtualLoop::BeginCapture(const WaveFormatInfo& format, const VirtualLoopbackChain& settings)
{
    frameValues.resize(std::max<std::size_t>({frameValues.size(), format.channels, 2}));
    chain = settings;
    chain.latencyFrames = Latency(settings);
    reachExtra = std::max(reachExtra, ExtraReach(settings));
    recorded = format;
    gain = Linear(chain.gainDb);
    harmonic = Linear(chain.harmonicDb);
    leak = Linear(chain.crosstalkDb);
    noise = Linear(chain.noiseDbfs);
    double c = 0;
    double tilt = std::clamp(chain.tiltDb, -VirtualLoopbackMaxTiltDb, VirtualLoopbackMaxTiltDb);
    if (TiltCoefficient(tilt, format.sampleRate, c)) {
        tiltC = c;
        tiltGain = 1 / ZeroMagnitude(c, 2 * std::numbers::pi * 1000 / format.sampleRate);
    } else {
        tiltC = 0;
        tiltGain = 1;
    }
    inputToOutput = chain.driftPpm == 0 ? 1.0 : 1 / (1 + chain.driftPpm / 1e6);
    random = chain.seed;
    spareNoiseHeld = false;
}

void CVirtualLoop::Play(std::uint64_t loopFrame, const std::uint8_t* data, std::uint32_t frames)
{
    const std::size_t frameBytes = played.blockAlign;
    if (frameBytes == 0 || frames == 0)
        return;
    std::uint64_t end = ringFirst + ring.size() / frameBytes;
    if (ring.empty() || loopFrame > end + Reach()) {
        // Nothing held is within reach of the input any more.
        ring.clear();
        ringFirst = loopFrame;
        end = loopFrame;
    }
    // Frames already held (the clock never runs back; kept for safety) stay.
    std::uint64_t skip = std::min<std::uint64_t>(end > loopFrame ? end - loopFrame : 0, frames);
    try {
        // Time the output spent idle or paused is silence on the cable.
        std::uint8_t silence = played.containerBytes == 1 ? 0x80 : 0x00;
        ring.insert(ring.end(), (loopFrame > end ? loopFrame - end : 0) * frameBytes, silence);
        ring.insert(ring.end(), data + skip * frameBytes, data + std::size_t{frames} * frameBytes);
    } catch (const std::bad_alloc&) {
        ring.clear();
        lost = true;
    }
}

std::uint64_t CVirtualLoop::Reach() const
{
    // A later input starts no earlier than now, so it needs no more than the
    // latency back, a frame more each for the tilt's and the resampler's
    // memory, two for the interpolation and what repeats go back.
    return std::uint64_t{std::max(playLatency, chain.latencyFrames)} + 2 + reachExtra;
}

std::uint64_t CVirtualLoop::ExtraReach(const VirtualLoopbackChain& settings)
{
    std::uint64_t frames = settings.driftPpm != 0 ? 3 : 0;
    for (const VirtualGlitch& g : settings.glitches)
        if (g.kind == VirtualGlitch::Kind::Repeat)
            frames += g.frames;
    return frames;
}

void CVirtualLoop::Trim(bool listening, std::uint64_t listenerNext)
{
    const std::size_t frameBytes = played.blockAlign;
    if (frameBytes == 0)
        return;
    std::uint64_t end = ringFirst + ring.size() / frameBytes;
    std::uint64_t keepFrom = end > Reach() ? end - Reach() : 0;
    if (listening) {
        // The listener's next frame on the output's clock, less what the
        // chain reaches back from it.
        auto next = static_cast<std::uint64_t>(static_cast<double>(listenerNext) * inputToOutput);
        std::uint64_t back = std::uint64_t{chain.latencyFrames} + 1 + ExtraReach(chain);
        keepFrom = std::min(keepFrom, next > back ? next - back : 0);
    }
    if (keepFrom <= ringFirst)
        return;
    std::uint64_t drop = std::min<std::uint64_t>(keepFrom - ringFirst, ring.size() / frameBytes);
    ring.erase(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(drop * frameBytes));
    ringFirst += drop;
}

double CVirtualLoop::Source(std::int64_t frame, std::uint16_t channel) const
{
    const std::size_t frameBytes = played.blockAlign;
    if (frame < 0 || frameBytes == 0 || static_cast<std::uint64_t>(frame) < ringFirst)
        return 0;
    std::uint64_t index = static_cast<std::uint64_t>(frame) - ringFirst;
    if (index >= ring.size() / frameBytes)
        return 0;
    std::uint8_t sample[4];
    auto at = ring.begin() + static_cast<std::ptrdiff_t>(index * frameBytes + std::size_t{channel} * played.containerBytes);
    std::copy(at, at + played.containerBytes, sample);
    return LoadFraction(sample, played.containerBytes);
}

double CVirtualLoop::Resampled(std::int64_t frame, std::uint16_t channel) const
{
    const std::uint32_t rate = recorded.sampleRate;
    double x = Source(frame, channel);
    if (chain.serverRate == 0 || rate == 0 || chain.serverRate == rate || frame < 0)
        return x;
    std::uint64_t phase = static_cast<std::uint64_t>(frame) * chain.serverRate % rate;
    return phase == 0 ? x : x - (x - Source(frame - 1, channel)) * static_cast<double>(phase) / rate;
}

double CVirtualLoop::Shaped(std::int64_t frame, std::uint16_t channel) const
{
    double x = Resampled(frame, channel);
    if (harmonic == 0)
        return x;
    return x + harmonic * (4 * x * x * x / HarmonicReferenceSquared - 3 * x);
}

double CVirtualLoop::Noise()
{
    if (spareNoiseHeld) {
        spareNoiseHeld = false;
        return spareNoise;
    }
    auto next = [this] {
        // splitmix64: the same numbers on every platform and library.
        std::uint64_t z = (random += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return (static_cast<double>(z >> 11) + 0.5) * 0x1.0p-53; // in (0, 1)
    };
    double radius = std::sqrt(-2 * std::log(next()));
    double angle = 2 * std::numbers::pi * next();
    spareNoise = radius * std::sin(angle);
    spareNoiseHeld = true;
    return radius * std::cos(angle);
}

bool CVirtualLoop::InDropout(std::uint64_t captureFrame) const
{
    return std::any_of(chain.dropouts.begin(), chain.dropouts.end(), [captureFrame](const VirtualDropout& d) {
        return captureFrame >= d.frame && captureFrame - d.frame < d.frames;
    });
}

std::int64_t CVirtualLoop::GlitchOffset(std::uint64_t captureFrame) const
{
    std::int64_t offset = 0;
    for (const VirtualGlitch& g : chain.glitches) {
        if (captureFrame < g.frame)
            continue;
        if (g.kind == VirtualGlitch::Kind::Skip)
            offset += g.frames;
        else if (g.kind == VirtualGlitch::Kind::Repeat)
            offset -= g.frames;
    }
    return offset;
}

double CVirtualLoop::Chained(std::int64_t frame, std::uint16_t channel) const
{
    return (Shaped(frame, channel) + tiltC * Shaped(frame - 1, channel)) * tiltGain * gain;
}

// The chain's steps 1 to 6 for one input frame, into frameValues.
void CVirtualLoop::ChainFrame(std::uint64_t loopFrame, std::uint64_t captureFrame, std::uint16_t sources)
{
    const std::int64_t offset = GlitchOffset(captureFrame) - static_cast<std::int64_t>(chain.latencyFrames);
    if (inputToOutput == 1) {
        auto s = static_cast<std::int64_t>(loopFrame) + offset;
        for (std::uint16_t c = 0; c < sources; ++c)
            frameValues[c] = Chained(s, c);
    } else {
        // Between two output frames: a cubic through the four around it.
        const double at = static_cast<double>(loopFrame) * inputToOutput;
        const double whole = std::floor(at);
        const double u = at - whole;
        const double w[4] = {-u * (u - 1) * (u - 2) / 6, (u + 1) * (u - 1) * (u - 2) / 2,
                             -(u + 1) * u * (u - 2) / 2, (u + 1) * u * (u - 1) / 6};
        const std::int64_t s = static_cast<std::int64_t>(whole) + offset;
        for (std::uint16_t c = 0; c < sources; ++c) {
            double v = 0;
            for (int k = 0; k < 4; ++k)
                v += w[k] * Chained(s - 1 + k, c);
            frameValues[c] = v;
        }
    }
    if (sources >= 2) {
        double first = frameValues[0], second = frameValues[1];
        frameValues[0] = first + leak * second;
        frameValues[1] = second + leak * first;
        if (chain.swapChannels)
            std::swap(frameValues[0], frameValues[1]);
    }
}

void CVirtualLoop::Record(std::uint8_t* out, std::uint64_t loopFrame, std::uint64_t captureFrame,
                          std::uint32_t frames)
{
    const bool connected = played.blockAlign != 0 && played.sampleRate == recorded.sampleRate;
    const std::uint16_t sources = connected ? played.channels : 0;
    const std::uint16_t width = recorded.containerBytes;
    const std::uint16_t valid = chain.serverBits != 0 && chain.serverBits < recorded.validBits ? chain.serverBits
                                                                                              : recorded.validBits;
    for (std::uint32_t i = 0; i < frames; ++i) {
        ChainFrame(loopFrame + i, captureFrame + i, sources);
        bool dropped = InDropout(captureFrame + i);
        for (std::uint16_t c = 0; c < recorded.channels; ++c, out += width) {
            double v = sources == 0 ? 0.0 : frameValues[std::min<std::uint16_t>(c, sources - 1)];
            if (noise > 0)
                v += noise * Noise();
            StoreFraction(out, dropped ? 0.0 : v, width, valid);
        }
    }
}
