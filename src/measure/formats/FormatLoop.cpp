// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/formats/FormatLoop.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "measure/formats/FormatSamples.h"

namespace {

// Frames of the sequence's start used to find it.
constexpr std::size_t SearchFrames = 512;

struct Signal {
    std::uint16_t channels = 1;
    std::size_t frames = 0;
    std::vector<double> samples; // interleaved, MSB-aligned values

    double At(std::size_t frame, std::uint16_t channel) const { return samples[frame * channels + channel]; }
};

Signal Decode(const FormatKey& key, std::span<const std::uint8_t> bytes)
{
    const std::uint16_t width = key.width.bits / 8;
    Signal s;
    s.channels = key.channels;
    s.frames = bytes.size() / (std::size_t{width} * key.channels);
    s.samples.resize(s.frames * key.channels);
    for (std::size_t i = 0; i < s.samples.size(); ++i)
        s.samples[i] = LoadAlignedSample(&bytes[i * width], width);
    return s;
}

// Where the played bytes lie whole in the capture, or -1.
std::int64_t FindExact(std::span<const std::uint8_t> played, std::span<const std::uint8_t> captured,
                       std::size_t frameBytes)
{
    if (played.empty() || captured.size() < played.size())
        return -1;
    for (std::size_t at = 0; at + played.size() <= captured.size(); at += frameBytes) {
        if (std::memcmp(&captured[at], played.data(), played.size()) == 0)
            return static_cast<std::int64_t>(at / frameBytes);
    }
    return -1;
}

// Normalised correlation of the played start with the capture at `lag`,
// with the capture's channels crossed when `crossed`.
double Correlation(const Signal& x, const Signal& y, std::size_t lag, bool crossed)
{
    const std::size_t n = std::min({SearchFrames, x.frames, y.frames - lag});
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::uint16_t c = 0; c < x.channels; ++c) {
            double a = x.At(i, c);
            double b = y.At(lag + i, crossed ? static_cast<std::uint16_t>(1 - c) : c);
            xy += a * b;
            xx += a * a;
            yy += b * b;
        }
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

struct Alignment {
    std::size_t lag = 0;
    double correlation = 0;
    bool crossed = false;
};

Alignment Align(const Signal& x, const Signal& y)
{
    Alignment best;
    if (y.frames < std::min(x.frames, SearchFrames))
        return best;
    const std::size_t last = y.frames - std::min(x.frames, SearchFrames);
    for (bool crossed : {false, true}) {
        if (crossed && x.channels != 2)
            continue;
        for (std::size_t lag = 0; lag <= last; ++lag) {
            double r = std::abs(Correlation(x, y, lag, crossed));
            if (r > best.correlation)
                best = {lag, r, crossed};
        }
    }
    return best;
}

// The lowest bit ever set, as the number of bits down to it (0 for none).
std::uint16_t BitsCarried(const Signal& y, std::size_t from, std::size_t frames)
{
    std::uint32_t any = 0;
    for (std::size_t i = from * y.channels; i < (from + frames) * y.channels; ++i)
        any |= static_cast<std::uint32_t>(static_cast<std::int32_t>(y.samples[i]));
    return any == 0 ? 0 : static_cast<std::uint16_t>(32 - std::countr_zero(any));
}

void JudgeResidual(const Signal& x, const Signal& y, const Alignment& at, std::size_t frames, FormatLoopVerdict& v)
{
    auto received = [&](std::size_t i, std::uint16_t c) {
        return y.At(at.lag + i, at.crossed ? static_cast<std::uint16_t>(1 - c) : c);
    };
    double xy = 0, xx = 0;
    for (std::size_t i = 0; i < frames; ++i)
        for (std::uint16_t c = 0; c < x.channels; ++c) {
            xy += x.At(i, c) * received(i, c);
            xx += x.At(i, c) * x.At(i, c);
        }
    const double g = xx > 0 ? xy / xx : 0;
    v.gainDb = g > 0 ? 20 * std::log10(g) : -std::numeric_limits<double>::infinity();
    v.gain = !(std::abs(v.gainDb) <= 0.05);

    double sum = 0, power = 0, differencePower = 0;
    std::size_t count = 0;
    for (std::uint16_t c = 0; c < x.channels; ++c) {
        double before = 0;
        for (std::size_t i = 0; i < frames; ++i) {
            double e = received(i, c) - g * x.At(i, c);
            sum += e;
            power += e * e;
            if (i > 0)
                differencePower += (e - before) * (e - before);
            before = e;
            ++count;
        }
    }
    const double step = std::ldexp(1.0, 32 - std::max<int>(v.bitsCarried, 1));
    const double rms = std::sqrt(power / static_cast<double>(count)) / step;
    const double mean = sum / static_cast<double>(count) / step;
    const double spread = std::sqrt(std::max(0.0, rms * rms - mean * mean));
    v.resampled = rms > 4 && power > 0 && differencePower / power > 2.5;
    v.noise = !v.resampled && spread > 0.4;
}

// The least-squares filter y[lag + i] = t0 x[i + 1] + t1 x[i] + t2 x[i - 1]
// around the lag found: a path that only delays and scales has one tap.
std::array<double, 3> Taps(const Signal& x, const Signal& y, const Alignment& at, std::size_t frames)
{
    double r[3][3] = {}, b[3] = {};
    for (std::size_t i = 1; i + 1 < frames; ++i)
        for (std::uint16_t c = 0; c < x.channels; ++c) {
            const double v[3] = {x.At(i + 1, c), x.At(i, c), x.At(i - 1, c)};
            const double got = y.At(at.lag + i, at.crossed ? static_cast<std::uint16_t>(1 - c) : c);
            for (int j = 0; j < 3; ++j) {
                b[j] += v[j] * got;
                for (int k = 0; k < 3; ++k)
                    r[j][k] += v[j] * v[k];
            }
        }
    // Gaussian elimination; the sequence is white, so the system is well
    // conditioned.
    for (int p = 0; p < 3; ++p) {
        if (r[p][p] == 0)
            return {0, 0, 0};
        for (int q = p + 1; q < 3; ++q) {
            double f = r[q][p] / r[p][p];
            for (int k = p; k < 3; ++k)
                r[q][k] -= f * r[p][k];
            b[q] -= f * b[p];
        }
    }
    std::array<double, 3> t{};
    for (int p = 2; p >= 0; --p) {
        double sum = b[p];
        for (int k = p + 1; k < 3; ++k)
            sum -= r[p][k] * t[static_cast<std::size_t>(k)];
        t[static_cast<std::size_t>(p)] = sum / r[p][p];
    }
    return t;
}

} // namespace

FormatLoopVerdict JudgeLoop(const FormatKey& key, std::span<const std::uint8_t> played,
                            std::span<const std::uint8_t> captured)
{
    FormatLoopVerdict v;
    v.run = true;
    const std::size_t frameBytes = std::size_t{key.width.bits / 8u} * key.channels;
    if (frameBytes == 0 || played.size() < frameBytes)
        return v;
    std::int64_t exact = FindExact(played, captured, frameBytes);
    if (exact >= 0) {
        v.heard = v.transparent = true;
        v.lagFrames = exact;
        v.bitsCarried = key.width.validBits;
        return v;
    }
    Signal x = Decode(key, played);
    Signal y = Decode(key, captured);
    Alignment at = Align(x, y);
    if (at.correlation < 0.5)
        return v;
    v.heard = true;
    v.swapped = at.crossed;
    std::size_t frames = std::min(x.frames, y.frames - at.lag);
    // A smeared path (more than one tap) is judged resampled; else the lag
    // is the one tap's, and the residual is looked at there.
    std::array<double, 3> taps = Taps(x, y, at, frames);
    std::size_t main = 0;
    for (std::size_t k = 1; k < 3; ++k)
        if (std::abs(taps[k]) > std::abs(taps[main]))
            main = k;
    bool smeared = false;
    for (std::size_t k = 0; k < 3; ++k)
        smeared = smeared || (k != main && std::abs(taps[k]) > 0.02 * std::abs(taps[main]));
    if (!smeared && main != 1 && at.lag + main >= 1 && at.lag + main - 1 + std::min(x.frames, SearchFrames) <= y.frames) {
        at.lag = at.lag + main - 1;
        frames = std::min(x.frames, y.frames - at.lag);
    }
    v.lagFrames = static_cast<std::int64_t>(at.lag);
    v.bitsCarried = BitsCarried(y, at.lag, frames);
    v.truncated = v.bitsCarried < key.width.validBits;
    JudgeResidual(x, y, at, frames, v);
    if (smeared) {
        // The level of a smeared path is its taps' sum (its gain at low
        // frequencies); its residual says nothing of noise.
        const double sum = taps[0] + taps[1] + taps[2];
        v.gainDb = sum > 0 ? 20 * std::log10(sum) : -std::numeric_limits<double>::infinity();
        // The taps' sum is only a rough level; an interpolator's own error
        // moves it by a fraction of a decibel.
        v.gain = !(std::abs(v.gainDb) <= 0.5);
        v.resampled = true;
        v.noise = false;
    }
    return v;
}
