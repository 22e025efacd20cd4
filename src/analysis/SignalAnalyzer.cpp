// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/SignalAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "analysis/ChannelStats.h"
#include "analysis/Overview.h"
#include "analysis/Spectrum.h"
#include "analysis/ToneMeasure.h"
#include "core/SampleCodec.h"

namespace {

constexpr std::size_t Block = CChannelStats::BlockSize;

ChannelRelation Relate(const std::vector<ChannelAnalysis>& channels, bool identical, bool ditherApart)
{
    if (channels.size() < 2)
        return ChannelRelation::Mono;
    if (identical)
        return ChannelRelation::Identical;
    if (channels.size() > 2)
        return ChannelRelation::NotCompared;
    if (channels[0].silent && channels[1].silent)
        return ChannelRelation::BothSilent;
    if (channels[0].silent || channels[1].silent)
        return ChannelRelation::OneSilent;
    return ditherApart ? ChannelRelation::DitherApart : ChannelRelation::Independent;
}

} // namespace

struct CSignalAnalyzer::State {
    State(const CSampleFormat& f, int validBits, std::uint64_t expected)
        : format(f), requested(validBits), fullScale(std::ldexp(1.0, f.bitsPerSample - 1)),
          engine(FftSizeFor(f.sampleRate, expected))
    {
        SampleScale scale;
        scale.containerBits = f.bitsPerSample;
        scale.validBits = validBits;
        scale.sampleRate = f.sampleRate;
        scale.unsignedStorage = f.bytesPerSample == 1;
        std::uint64_t stride = SegmentStride(engine->Size(), expected);
        stats.reserve(f.channels);
        spectra.reserve(f.channels);
        overviews.reserve(f.channels);
        for (int c = 0; c < f.channels; ++c) {
            stats.emplace_back(scale);
            spectra.emplace_back(*engine, stride, fullScale);
            overviews.emplace_back(expected, fullScale);
        }
        frameBytes = static_cast<std::size_t>(f.bytesPerSample) * f.channels;
        pending.resize(frameBytes);
        // A signal known to be shorter than a block gets columns of its
        // length. Only what a block gathered is read: they start unset.
        columnFrames = expected > 0 && expected < Block ? static_cast<std::size_t>(expected) : Block;
        columnValues = static_cast<std::size_t>(f.channels) * columnFrames;
        columns = std::make_unique_for_overwrite<std::int32_t[]>(columnValues);
    }

    template <int Bytes>
    void Frames(const std::uint8_t* p, std::size_t frames);
    template <int Bytes>
    void ManyChannelFrames(const std::uint8_t* p, std::size_t frames);
    void Frames(const std::uint8_t* p, std::size_t frames);
    void Deliver();
    void MakeRoomFor(std::size_t gatheredFrames);

    CSampleFormat format;
    int requested;
    double fullScale;
    CFftEngineLease engine; // before the spectra that use it
    std::vector<CChannelStats> stats;
    std::vector<CChannelSpectrum> spectra;
    std::vector<COverview> overviews;
    std::size_t frameBytes;
    std::vector<std::uint8_t> pending; // a frame split between two Feeds
    std::size_t pendingBytes = 0;
    std::unique_ptr<std::int32_t[]> columns; // one block of each channel, side by side
    std::size_t columnFrames = Block; // the room in each column, up to a block
    std::size_t columnValues = 0;
    std::size_t gathered = 0;          // frames of the block so far
    std::uint64_t frames = 0;
    bool identical = true;
    std::int64_t apart = 0; // the largest difference between two channels' samples
    bool finished = false;
};

template <int Bytes>
void CSignalAnalyzer::State::Frames(const std::uint8_t* p, std::size_t count)
{
    const int channels = format.channels;
    while (count > 0) {
        // Blocks are gathered whole, so the figures do not depend on how the
        // bytes were cut into pieces.
        std::size_t n = std::min(count, Block - gathered);
        MakeRoomFor(gathered + n);
        std::int32_t* left = columns.get() + gathered;
        if (channels == 1) {
            for (std::size_t i = 0; i < n; ++i)
                left[i] = LoadSampleOf<Bytes>(p + i * Bytes);
        } else {
            std::int32_t* right = left + columnFrames;
            for (std::size_t i = 0; i < n; ++i) {
                left[i] = LoadSampleOf<Bytes>(p + 2 * i * Bytes);
                right[i] = LoadSampleOf<Bytes>(p + (2 * i + 1) * Bytes);
            }
            if (identical)
                identical = std::equal(left, left + n, right);
            for (std::size_t i = 0; i < n; ++i)
                apart = std::max(apart, std::abs(std::int64_t{left[i]} - right[i]));
        }
        gathered += n;
        if (gathered == Block)
            Deliver();
        p += n * frameBytes;
        count -= n;
    }
}

// Files may hold any number of channels: each goes to its own column.
template <int Bytes>
void CSignalAnalyzer::State::ManyChannelFrames(const std::uint8_t* p, std::size_t count)
{
    const std::size_t channels = format.channels;
    while (count > 0) {
        std::size_t n = std::min(count, Block - gathered);
        MakeRoomFor(gathered + n);
        for (std::size_t c = 0; c < channels; ++c) {
            std::int32_t* column = columns.get() + c * columnFrames + gathered;
            for (std::size_t i = 0; i < n; ++i)
                column[i] = LoadSampleOf<Bytes>(p + (i * channels + c) * Bytes);
            if (identical && c > 0)
                identical = std::equal(column, column + n, columns.get() + gathered);
        }
        gathered += n;
        if (gathered == Block)
            Deliver();
        p += n * frameBytes;
        count -= n;
    }
}

void CSignalAnalyzer::State::Frames(const std::uint8_t* p, std::size_t count)
{
    if (format.channels > 2) {
        switch (format.bytesPerSample) {
        case 1: ManyChannelFrames<1>(p, count); break;
        case 2: ManyChannelFrames<2>(p, count); break;
        case 3: ManyChannelFrames<3>(p, count); break;
        default: ManyChannelFrames<4>(p, count); break;
        }
        return;
    }
    switch (format.bytesPerSample) {
    case 1: Frames<1>(p, count); break;
    case 2: Frames<2>(p, count); break;
    case 3: Frames<3>(p, count); break;
    default: Frames<4>(p, count); break;
    }
}

void CSignalAnalyzer::State::Deliver()
{
    const std::size_t n = gathered;
    gathered = 0;
    if (n == 0)
        return;
    for (std::size_t c = 0; c < stats.size(); ++c) {
        const std::int32_t* values = columns.get() + c * columnFrames;
        stats[c].Add(values, n);
        spectra[c].Add(values, n);
        overviews[c].Add(values, n, stats[c].BlockMinimum(), stats[c].BlockMaximum());
    }
    frames += n;
}

// More frames than expected: the columns grow to a whole block, keeping what
// was gathered. Throws std::bad_alloc.
void CSignalAnalyzer::State::MakeRoomFor(std::size_t gatheredFrames)
{
    if (gatheredFrames <= columnFrames)
        return;
    const std::size_t channels = stats.size();
    auto wider = std::make_unique_for_overwrite<std::int32_t[]>(channels * Block);
    for (std::size_t c = 0; c < channels; ++c)
        std::copy_n(columns.get() + c * columnFrames, gathered, wider.get() + c * Block);
    columns = std::move(wider);
    columnFrames = Block;
    columnValues = channels * Block;
}

CSignalAnalyzer::CSignalAnalyzer(const CSampleFormat& format, int requestedValidBits, std::uint64_t expectedFrames)
{
    try {
        int valid = ValidBitsFor(format.bytesPerSample, requestedValidBits);
        state = std::make_unique<State>(format, valid, expectedFrames);
        if (state->engine->IsFailed())
            setupError = "the FFT could not be set up";
        for (const CChannelSpectrum& s : state->spectra)
            if (s.IsFailed())
                setupError = "no memory for the spectrum";
    } catch (const std::bad_alloc&) {
        state.reset();
        setupError = "no memory for the analysis";
    }
}

CSignalAnalyzer::~CSignalAnalyzer() = default;

void CSignalAnalyzer::Feed(const std::uint8_t* bytes, std::size_t byteCount)
{
    if (!state || !setupError.empty() || state->finished || bytes == nullptr)
        return;
    State& s = *state;
    try {
        if (s.pendingBytes > 0) {
            std::size_t take = std::min(byteCount, s.frameBytes - s.pendingBytes);
            std::memcpy(s.pending.data() + s.pendingBytes, bytes, take);
            s.pendingBytes += take;
            bytes += take;
            byteCount -= take;
            if (s.pendingBytes < s.frameBytes)
                return;
            s.Frames(s.pending.data(), 1);
            s.pendingBytes = 0;
        }
        std::size_t whole = byteCount / s.frameBytes;
        s.Frames(bytes, whole);
        std::size_t rest = byteCount - whole * s.frameBytes;
        std::memcpy(s.pending.data(), bytes + whole * s.frameBytes, rest);
        s.pendingBytes = rest;
    } catch (const std::bad_alloc&) {
        setupError = "no memory for the analysis"; // the columns could not grow
    }
}

SignalAnalysis CSignalAnalyzer::Finish()
{
    SignalAnalysis a;
    if (!state || !setupError.empty() || state->finished) {
        a.error = setupError.empty() ? "the analysis was already finished" : setupError;
        return a;
    }
    State& s = *state;
    s.Deliver();
    s.finished = true;
    a.channels = s.format.channels;
    a.sampleRate = s.format.sampleRate;
    a.containerBits = s.format.bitsPerSample;
    a.requestedValidBits = s.requested;
    a.frames = s.frames;
    if (s.frames == 0) {
        a.error = "no whole frame of samples";
        return a;
    }
    try {
        if (s.format.sampleRate > 0) {
            a.durationSeconds = static_cast<double>(s.frames) / s.format.sampleRate;
            a.binHz = static_cast<double>(s.format.sampleRate) / static_cast<double>(s.engine->Size());
        }
        std::uint32_t carried = 0;
        for (std::size_t c = 0; c < s.stats.size(); ++c) {
            ChannelAnalysis ch;
            s.stats[c].Finish(static_cast<std::uint16_t>(c), ch, a.dropouts);
            std::size_t windowLength = 0;
            std::vector<double> power = s.spectra[c].AveragedPower(windowLength);
            ch.tone = MeasureTone(power, s.engine->Size(), windowLength, s.format.sampleRate);
            a.spectrumDbfs.push_back(PeakLevelSpectrum(power, s.engine->Size(), windowLength));
            a.overviewMin.push_back(s.overviews[c].Minimum());
            a.overviewMax.push_back(s.overviews[c].Maximum());
            a.framesPerColumn = s.overviews[c].FramesPerColumn();
            carried = std::max<std::uint32_t>(carried, static_cast<std::uint32_t>(ch.validBitsCarried));
            a.dropoutCount += ch.dropoutCount;
            a.channel.push_back(ch);
        }
        std::stable_sort(a.dropouts.begin(), a.dropouts.end(),
                         [](const Dropout& x, const Dropout& y) { return x.frame < y.frame; });
        if (a.dropouts.size() > MaxDropoutsKept)
            a.dropouts.resize(MaxDropoutsKept);
        a.validBitsCarried = static_cast<int>(carried);
        a.validBitsMismatch = carried != 0 && a.validBitsCarried != s.requested;
        const std::int64_t step = std::int64_t{1} << (s.format.bitsPerSample - s.requested);
        a.relation = Relate(a.channel, s.identical, s.apart <= DitherSteps * step);
        a.ok = true;
    } catch (const std::bad_alloc&) {
        a = SignalAnalysis{};
        a.error = "no memory for the analysis";
    }
    return a;
}

std::size_t CSignalAnalyzer::MemoryBytes() const
{
    if (!state)
        return 0;
    const std::size_t n = state->engine->Size();
    std::size_t perChannel = n * sizeof(std::int32_t) + (n / 2 + 1) * sizeof(double) +
                             2 * COverview::ColumnCount * sizeof(std::int32_t) + MaxDropoutsKept * sizeof(Dropout);
    std::size_t engine = n * sizeof(double) * 2 + (n / 2 + 1) * 2 * sizeof(double);
    return engine + state->columnValues * sizeof(std::int32_t) + state->stats.size() * perChannel;
}

SignalAnalysis AnalyseSamples(const std::uint8_t* bytes, std::size_t byteCount, const CSampleFormat& format,
                              int requestedValidBits)
{
    std::size_t frameBytes = static_cast<std::size_t>(format.bytesPerSample) * format.channels;
    CSignalAnalyzer analyzer(format, requestedValidBits, frameBytes > 0 ? byteCount / frameBytes : 0);
    analyzer.Feed(bytes, byteCount);
    return analyzer.Finish();
}
