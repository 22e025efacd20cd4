// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/Spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "analysis/Window.h"

struct CFftEngine::Plan {
    fftw_plan plan;
};

std::size_t FftSizeForRate(std::int32_t sampleRate)
{
    std::size_t size = 256;
    std::int64_t half = sampleRate > 0 ? sampleRate / 2 : 0;
    while (size < 65536 && static_cast<std::int64_t>(size * 2) <= half)
        size *= 2;
    return size;
}

std::size_t FftSizeFor(std::int32_t sampleRate, std::uint64_t expectedFrames)
{
    std::size_t size = FftSizeForRate(sampleRate);
    if (expectedFrames == 0)
        return size;
    while (size > 256 && expectedFrames <= size / 2)
        size /= 2;
    return size;
}

std::uint64_t SegmentStride(std::size_t fftSize, std::uint64_t expectedFrames)
{
    std::uint64_t half = fftSize / 2;
    if (expectedFrames <= fftSize)
        return half;
    std::uint64_t spread = (expectedFrames - fftSize) / (MaxSegments - 1);
    return std::max(half, spread);
}

CFftEngine::CFftEngine(std::size_t n) : size(n)
{
    try {
        window = MakeWindow(size);
    } catch (const std::bad_alloc&) {
        failed = true;
        return;
    }
    input = fftw_alloc_real(size);
    output = fftw_alloc_complex(size / 2 + 1);
    if (input == nullptr || output == nullptr) {
        failed = true;
        return;
    }
    // Planning by estimate: measuring would cost more than the transforms of a
    // typical recording.
    fftw_plan p = fftw_plan_dft_r2c_1d(static_cast<int>(size), input, static_cast<fftw_complex*>(output),
                                       FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    if (p == nullptr) {
        failed = true;
        return;
    }
    plan = new (std::nothrow) Plan{p};
    if (plan == nullptr) {
        fftw_destroy_plan(p);
        failed = true;
    }
}

CFftEngine::~CFftEngine()
{
    if (plan != nullptr) {
        fftw_destroy_plan(plan->plan);
        delete plan;
    }
    fftw_free(input);
    fftw_free(output);
}

void CFftEngine::Accumulate(const std::int32_t* ring, std::size_t start, std::size_t length,
                            const std::vector<double>& w, double fullScale, double* power)
{
    if (failed || length == 0 || length > size)
        return;
    // The ring in order: from `start` to its end, then from its beginning.
    std::size_t first = std::min(length, size - start);
    const std::int32_t* parts[2] = {ring + start, ring};
    const std::size_t lengths[2] = {first, length - first};
    std::int64_t sum = 0;
    for (int p = 0; p < 2; ++p)
        for (std::size_t i = 0; i < lengths[p]; ++i)
            sum += parts[p][i];
    double mean = static_cast<double>(sum) / static_cast<double>(length);
    double scale = 1.0 / fullScale;
    for (int p = 0, at = 0; p < 2; at += static_cast<int>(lengths[p]), ++p) {
        const std::int32_t* from = parts[p];
        const double* window = w.data() + at;
        double* to = input + at;
        for (std::size_t i = 0; i < lengths[p]; ++i)
            to[i] = (from[i] - mean) * scale * window[i];
    }
    std::fill(input + length, input + size, 0.0);
    fftw_execute(plan->plan);
    const fftw_complex* x = static_cast<const fftw_complex*>(output);
    for (std::size_t k = 0; k <= size / 2; ++k)
        power[k] += x[k][0] * x[k][0] + x[k][1] * x[k][1];
}

namespace {

struct EnginePool {
    std::mutex lock;
    std::vector<std::unique_ptr<CFftEngine>> idle; // at most one of each size
};

EnginePool& Pool()
{
    static EnginePool pool;
    return pool;
}

} // namespace

CFftEngineLease::CFftEngineLease(std::size_t size)
{
    EnginePool& pool = Pool();
    std::lock_guard<std::mutex> hold(pool.lock);
    auto kept = std::find_if(pool.idle.begin(), pool.idle.end(),
                             [size](const std::unique_ptr<CFftEngine>& e) { return e->Size() == size; });
    if (kept != pool.idle.end()) {
        engine = std::move(*kept);
        pool.idle.erase(kept);
        return;
    }
    engine = std::make_unique<CFftEngine>(size);
}

CFftEngineLease::~CFftEngineLease()
{
    EnginePool& pool = Pool();
    std::lock_guard<std::mutex> hold(pool.lock);
    if (!engine)
        return;
    const bool sizeKept = std::any_of(pool.idle.begin(), pool.idle.end(), [this](const std::unique_ptr<CFftEngine>& e) {
        return e->Size() == engine->Size();
    });
    if (engine->IsFailed() || sizeKept)
        return;
    try {
        pool.idle.push_back(std::move(engine));
    } catch (const std::bad_alloc&) {
        engine.reset(); // not kept, then; destroyed under the lock all the same
    }
}

CChannelSpectrum::CChannelSpectrum(CFftEngine& e, std::uint64_t s, double scale)
    : engine(e), stride(s), nextEnd(e.Size()), fullScale(scale)
{
    try {
        // Only samples written are read (a whole segment, or the first of a
        // signal shorter than one): the ring starts unset.
        ring = std::make_unique_for_overwrite<std::int32_t[]>(engine.Size());
        power.assign(engine.Size() / 2 + 1, 0.0);
    } catch (const std::bad_alloc&) {
        failed = true;
    }
}

void CChannelSpectrum::Add(const std::int32_t* values, std::size_t count)
{
    if (failed || engine.IsFailed())
        return;
    const std::uint64_t size = engine.Size();
    const std::uint64_t mask = size - 1;
    std::uint64_t end = seen + count;
    while (seen < end) {
        // Samples before the next segment's start are never looked at.
        std::uint64_t segmentStart = nextEnd - size;
        std::uint64_t from = std::max(seen, segmentStart);
        std::uint64_t to = std::min(end, nextEnd);
        for (std::uint64_t i = from; i < to; ++i)
            ring[i & mask] = values[i - (end - count)];
        seen = to;
        if (seen == nextEnd) {
            ProcessSegment();
            nextEnd += stride;
        }
    }
}

void CChannelSpectrum::ProcessSegment()
{
    const std::size_t size = engine.Size();
    engine.Accumulate(ring.get(), static_cast<std::size_t>(nextEnd & (size - 1)), size, engine.FullWindow(), fullScale,
                      power.data());
    ++segments;
}

std::vector<double> CChannelSpectrum::AveragedPower(std::size_t& windowLength)
{
    const std::size_t size = engine.Size();
    windowLength = size;
    if (failed || engine.IsFailed())
        return {};
    std::vector<double> w;
    if (segments == 0) {
        // Too short for one segment: the whole signal is one, with a window
        // of its own length.
        if (seen < 4 * WindowHalfWidthBins)
            return {};
        windowLength = static_cast<std::size_t>(seen);
        try {
            w = MakeWindow(windowLength);
        } catch (const std::bad_alloc&) {
            return {};
        }
        engine.Accumulate(ring.get(), 0, windowLength, w, fullScale, power.data());
        segments = 1;
    }
    // Each one-sided bin but DC and Nyquist stands for two.
    double norm = 1.0 / (static_cast<double>(size) * WindowPowerSum(windowLength) * static_cast<double>(segments));
    std::vector<double> out(power.size());
    for (std::size_t k = 0; k < power.size(); ++k)
        out[k] = power[k] * norm * (k == 0 || k == size / 2 ? 1.0 : 2.0);
    return out;
}
