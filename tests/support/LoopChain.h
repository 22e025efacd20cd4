// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated chain for the loopback tests: the sequence as played, taken
// back to full-scale fractions, put through known impairments, and stored
// again in the same format the way a capture would deliver it.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/loopback/PcmSamples.h"
#include "analysis/loopback/Stimulus.h"

struct Impairments {
    std::int64_t delayFrames = 0;
    double gainDb = 0;
    double noiseDbfs = -std::numeric_limits<double>::infinity(); // RMS of white Gaussian noise
    double harmonicDb = -std::numeric_limits<double>::infinity(); // third harmonic on the tone, re the tone
    double tiltHz = 0;        // corner of a one-pole low-pass; 0: none
    double dropoutAtMs = -1;  // into the tone part; < 0: none
    double dropoutMs = 0;
    double leakDb = -std::numeric_limits<double>::infinity(); // channel 0 into channel 1
    bool swap = false;
};

inline double OnePoleCoefficient(double cornerHz, double rate)
{
    return 1 - std::exp(-2 * std::numbers::pi * cornerHz / rate);
}

// |H| of the one-pole low-pass at hz, in dB relative to 1 kHz.
inline double TiltDb(double cornerHz, double rate, double hz)
{
    const double a = OnePoleCoefficient(cornerHz, rate);
    auto mag = [&](double f) {
        return a / std::abs(1.0 - (1 - a) * std::polar(1.0, -2 * std::numbers::pi * f / rate));
    };
    return 20 * std::log10(mag(hz) / mag(1000));
}

// The capture: the sequence through the chain, `tailFrames` longer than the
// sequence plus its delay.
inline std::vector<std::uint8_t> RunChain(const LoopbackSequence& seq, const Impairments& imp,
                                          std::uint64_t tailFrames = 2400)
{
    const auto& f = seq.format;
    const double rate = f.sampleRate;
    std::vector<std::vector<double>> ch;
    for (std::uint16_t c = 0; c < f.channels; ++c)
        ch.push_back(DecodeChannel(seq.bytes.data(), seq.bytes.size(), f, c, 0, seq.frames));
    const PartSpan* tone = seq.Find(StimulusPart::Tone);
    std::mt19937 random(1234);
    std::normal_distribution<double> gauss(0, std::pow(10, imp.noiseDbfs / 20));
    const double gain = std::pow(10, imp.gainDb / 20);
    const double harmonic = std::pow(10, (ToneDbfs + imp.harmonicDb) / 20);
    for (auto& x : ch) {
        double y = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            double v = x[i] * gain;
            if (tone != nullptr && i >= tone->frame && i < tone->frame + tone->frames)
                v += gain * harmonic * std::sin(2 * std::numbers::pi * 3 * ToneHz * static_cast<double>(i - tone->frame) / rate);
            if (imp.tiltHz > 0)
                v = y += OnePoleCoefficient(imp.tiltHz, rate) * (v - y);
            x[i] = v;
        }
    }
    if (ch.size() > 1 && std::isfinite(imp.leakDb))
        for (std::size_t i = 0; i < ch[1].size(); ++i)
            ch[1][i] += std::pow(10, imp.leakDb / 20) * ch[0][i];
    if (imp.swap && ch.size() > 1)
        std::swap(ch[0], ch[1]);
    for (auto& x : ch) {
        if (imp.dropoutAtMs >= 0 && tone != nullptr) {
            const auto first = tone->frame + static_cast<std::uint64_t>(imp.dropoutAtMs * rate / 1000);
            const auto count = static_cast<std::uint64_t>(imp.dropoutMs * rate / 1000);
            std::fill(x.begin() + static_cast<std::ptrdiff_t>(first),
                      x.begin() + static_cast<std::ptrdiff_t>(first + count), 0.0);
        }
        x.insert(x.begin(), static_cast<std::size_t>(imp.delayFrames), 0.0);
        x.resize(x.size() + tailFrames, 0.0);
        if (std::isfinite(imp.noiseDbfs))
            for (auto& v : x)
                v += gauss(random);
    }
    return EncodeFrames(ch, f, seq.validBits);
}
