// SPDX-License-Identifier: GPL-3.0-or-later
// Welch-averaged power spectra through FFTW: one plan, built once per
// analysis, serves every segment of every channel. Segments overlap by half
// while there are few; over a long signal at most MaxSegments are spread
// evenly, so the cost of the spectrum stops growing with the length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The FFT size for a rate: the largest power of two at most half the rate,
// within 256..65536 (bins of about 3 Hz or finer at common rates).
std::size_t FftSizeForRate(std::int32_t sampleRate);

// The FFT size for a signal of `expectedFrames` (0: unknown): that of the
// rate, but no larger than the smallest power of two (at least 256) that
// holds the whole signal, which is then one zero-padded segment: more
// padding would add work and spread a tone over more bins, nothing else.
std::size_t FftSizeFor(std::int32_t sampleRate, std::uint64_t expectedFrames);

inline constexpr std::uint64_t MaxSegments = 16;

// The distance between segment starts for a signal of `expectedFrames`
// (0: unknown, so half overlap throughout).
std::uint64_t SegmentStride(std::size_t fftSize, std::uint64_t expectedFrames);

class CFftEngine {
public:
    // IsFailed() when FFTW could not allocate or plan.
    explicit CFftEngine(std::size_t size);
    ~CFftEngine();
    CFftEngine(const CFftEngine&) = delete;
    CFftEngine& operator=(const CFftEngine&) = delete;

    bool IsFailed() const { return failed; }
    std::size_t Size() const { return size; }
    const std::vector<double>& FullWindow() const { return window; }

    // Windows `length` samples (centred, in full-scale units, mean removed
    // here), pads with zeros to the size, transforms, and adds each bin's
    // |X|^2 to power[0..size/2].
    void Accumulate(const std::int32_t* ring, std::size_t start, std::size_t length, const std::vector<double>& w,
                    double fullScale, double* power);

private:
    struct Plan;
    std::size_t size;
    bool failed = false;
    std::vector<double> window;
    double* input = nullptr;
    void* output = nullptr;
    Plan* plan = nullptr;
};

// An engine of one size lent to one analysis for its lifetime. Engines are
// dear to build (FFTW's plan, the window) and serve one analysis after
// another, so a returned engine is kept for the next analysis of its size
// (one per size); analyses running at the same time each get their own.
// Safe from any thread: FFTW's planner is not, so engines are made and
// destroyed under one lock. Never empty: when FFTW fails, the engine lent
// says IsFailed(). Throws std::bad_alloc when there is no memory for it.
class CFftEngineLease {
public:
    explicit CFftEngineLease(std::size_t size);
    ~CFftEngineLease();
    CFftEngineLease(const CFftEngineLease&) = delete;
    CFftEngineLease& operator=(const CFftEngineLease&) = delete;

    CFftEngine& operator*() const { return *engine; }
    CFftEngine* operator->() const { return engine.get(); }

private:
    std::unique_ptr<CFftEngine> engine;
};

// One channel's segments and averaged spectrum.
class CChannelSpectrum {
public:
    // fullScale: the container's full scale, so the spectrum reads in dBFS.
    CChannelSpectrum(CFftEngine& engine, std::uint64_t stride, double fullScale);

    // The next centred samples of the channel.
    void Add(const std::int32_t* values, std::size_t count);

    // Averaged one-sided power per bin, in full-scale mean-square units, so
    // the bins sum to the signal's AC power. A signal shorter than one
    // segment is taken as one zero-padded segment of its own length.
    // windowLength tells the window that was used (for interpolation).
    // Empty when there was too little signal or no memory.
    std::vector<double> AveragedPower(std::size_t& windowLength);

    bool IsFailed() const { return failed; }

private:
    void ProcessSegment();

    CFftEngine& engine;
    std::uint64_t stride;
    std::unique_ptr<std::int32_t[]> ring;
    std::vector<double> power;
    std::uint64_t seen = 0;
    std::uint64_t nextEnd;
    std::uint64_t segments = 0;
    double fullScale;
    bool failed = false;
};
