// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/WaveFileAnalysis.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/SignalAnalyzer.h"
#include "analysis/Spectrum.h"
#include "measure/FloatSamples.h"
#include "wavefile/WaveReader.h"

namespace {

// Read about 512 KiB at a time, whatever the frame's size.
constexpr std::size_t ChunkBytes = 512 * 1024;
constexpr std::size_t ChunkCount = 3;

// The samples of the file, one chunk at a time, ready for the analysis:
// integers as stored, floats turned into 32-bit fixed point.
class CSampleSource {
public:
    CSampleSource(CWaveReader& reader, const std::string& path) : reader(reader), path(path)
    {
        const WaveSampleLayout& layout = reader.Layout();
        // No larger than the file: a short file is read in one chunk into a
        // buffer of its own size.
        chunkFrames = std::max<std::size_t>(
            1, static_cast<std::size_t>(std::min<std::uint64_t>(ChunkBytes / layout.FrameBytes(), reader.Frames())));
        if (layout.type == WaveSampleType::Float)
            floats.emplace(layout.channels, layout.containerBytes);
    }

    std::size_t BufferBytes() const { return chunkFrames * reader.Layout().FrameBytes(); }
    // The whole file fits in one chunk.
    bool OneChunk() const { return chunkFrames >= reader.Frames(); }

    // Fills `bytes` with the next frames: the bytes to analyse, 0 at the end,
    // -1 when reading failed (Error() says why).
    std::int64_t Next(std::uint8_t* bytes)
    {
        std::int64_t frames = reader.Read(bytes, chunkFrames);
        if (frames < 0) {
            error = reader.Error();
            return -1;
        }
        const auto n = static_cast<std::size_t>(frames);
        if (!floats)
            return static_cast<std::int64_t>(n * reader.Layout().FrameBytes());
        if (!floats->Convert(bytes, n)) {
            error = "'" + path + "': frame " + std::to_string(floats->NonFiniteFrame()) + " of channel " +
                    std::to_string(floats->NonFiniteChannel() + 1) +
                    " is not a number (NaN or infinite): the analysis cannot read it";
            return -1;
        }
        return static_cast<std::int64_t>(n * reader.Layout().channels * 4u);
    }

    const std::string& Error() const { return error; }
    const CFloatToFixed* Floats() const { return floats ? &*floats : nullptr; }

private:
    CWaveReader& reader;
    const std::string& path;
    std::size_t chunkFrames = 1;
    std::optional<CFloatToFixed> floats;
    std::string error;
};

// The file is read on a thread of its own while the analysis works on what
// came before: copying the samples out of the page cache costs as much as
// analysing them. The chunks pass through a ring of ChunkCount buffers.
class CChunkPipe {
public:
    // With `buffers` 1 only ReadAndFeed may be used.
    CChunkPipe(CSampleSource& source, std::size_t buffers) : source(source)
    {
        for (std::size_t i = 0; i < std::min(buffers, ChunkCount); ++i)
            chunks[i].bytes.resize(source.BufferBytes());
    }

    // Reader side: every chunk in order; stops early on a failed read.
    void ReadAll()
    {
        for (std::size_t next = 0;; next = (next + 1) % ChunkCount) {
            Chunk& c = chunks[next];
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !c.full || stopped; });
                if (stopped)
                    return;
            }
            std::int64_t used = source.Next(c.bytes.data());
            std::lock_guard lock(mutex);
            if (used <= 0) {
                failed = used < 0;
                ended = true;
                changed.notify_all();
                return;
            }
            c.used = static_cast<std::size_t>(used);
            c.full = true;
            changed.notify_all();
        }
    }

    // Analysis side: every chunk in order into the analyzer. False when the
    // reading failed.
    bool FeedAll(CSignalAnalyzer& analyzer)
    {
        for (std::size_t next = 0;; next = (next + 1) % ChunkCount) {
            Chunk& c = chunks[next];
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return c.full || ended; });
                if (!c.full)
                    return !failed;
            }
            analyzer.Feed(c.bytes.data(), c.used);
            std::lock_guard lock(mutex);
            c.full = false;
            changed.notify_all();
        }
    }

    // Both sides on the calling thread, one chunk at a time.
    bool ReadAndFeed(CSignalAnalyzer& analyzer)
    {
        for (;;) {
            std::int64_t used = source.Next(chunks[0].bytes.data());
            if (used <= 0)
                return used == 0;
            analyzer.Feed(chunks[0].bytes.data(), static_cast<std::size_t>(used));
        }
    }

    void Stop()
    {
        std::lock_guard lock(mutex);
        stopped = true;
        changed.notify_all();
    }

private:
    struct Chunk {
        std::vector<std::uint8_t> bytes;
        std::size_t used = 0;
        bool full = false;
    };
    CSampleSource& source;
    Chunk chunks[ChunkCount];
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    bool failed = false;
    bool stopped = false;
};

// Streams every frame through the analyzer; false with `error` set when
// reading failed.
bool Stream(CSampleSource& source, CSignalAnalyzer& analyzer, std::string& error)
{
    // A file of one chunk has nothing to overlap: no thread for it.
    CChunkPipe pipe(source, source.OneChunk() ? 1 : ChunkCount);
    std::thread reader;
    try {
        if (!source.OneChunk())
            reader = std::thread([&pipe] { pipe.ReadAll(); });
    } catch (const std::system_error&) {
        reader = std::thread();
    }
    bool read = false;
    if (reader.joinable()) {
        read = pipe.FeedAll(analyzer);
        pipe.Stop();
        reader.join();
    } else {
        read = pipe.ReadAndFeed(analyzer); // no thread to be had: one after the other
    }
    if (!read)
        error = source.Error();
    return read;
}

// The valid bits to analyse with, or an empty optional with `error` set.
std::optional<int> ValidBitsToUse(const WaveSampleLayout& layout, int requested, const std::string& path,
                                  std::string& error)
{
    const int readBits = layout.type == WaveSampleType::Float ? 32 : layout.ContainerBits();
    if (requested <= 0)
        return layout.type == WaveSampleType::Float ? readBits : layout.validBits;
    if (requested > readBits) {
        error = "'" + path + "': --valid-bits " + std::to_string(requested) + " is more than its " +
                DescribeSampleLayout(layout) + " samples hold" +
                (layout.type == WaveSampleType::Float ? " as the analysis reads them (32 bits)" : "");
        return std::nullopt;
    }
    return requested;
}

std::string Decibels(double ratio)
{
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f", 20.0 * std::log10(ratio));
    return text;
}

void Warn(WaveFileFacts& facts, const CWaveReader& reader, const CSampleSource& source)
{
    if (facts.framesMissing > 0)
        facts.warnings.push_back("the data chunk states " + std::to_string(reader.StatedFrames()) +
                                  " frames but the file holds " + std::to_string(reader.Frames()) + ": " +
                                 std::to_string(facts.framesMissing) + " frames are missing");
    if (reader.PartialFrameBytes() > 0)
        facts.warnings.push_back("the data chunk ends " + std::to_string(reader.PartialFrameBytes()) +
                                  " bytes into a frame; those bytes are left out");
    if (const CFloatToFixed* floats = source.Floats()) {
        for (std::size_t c = 0; c < floats->Overs().size(); ++c) {
            const FloatOvers& o = floats->Overs()[c];
            if (o.samples > 0)
                facts.warnings.push_back("channel " + std::to_string(c + 1) + ": " + std::to_string(o.samples) +
                                          " samples beyond full scale (peak " + Decibels(o.peak) +
                                          " dBFS), analysed as held at full scale");
        }
    }
}

// A signal of a few frames has levels but no spectrum to speak of: say so
// rather than let "no tone" stand alone.
void WarnIfTooShort(const SignalAnalysis& a, WaveFileFacts& facts)
{
    if (!a.ok || a.frames >= FftSizeForRate(a.sampleRate))
        return;
    for (const ChannelAnalysis& c : a.channel) {
        if (std::isnan(c.tone.noiseFloorDbfs) && !std::isnan(c.peakDbfs)) {
            facts.warnings.push_back(std::to_string(a.frames) + (a.frames == 1 ? " frame is" : " frames are") +
                                      " too short for a spectrum: no tone, THD+N or noise floor is measured, "
                                      "only the levels");
            return;
        }
    }
}

} // namespace

std::vector<std::string> WaveFileLines(const WaveFileFacts& facts)
{
    std::vector<std::string> lines;
    if (facts.layout.type == WaveSampleType::Float)
        lines.push_back("File: samples are " + DescribeSampleLayout(facts.layout) +
                        ", analysed as 32-bit fixed point (1.0 is full scale)");
    else if (facts.layout.validBitsStated)
        lines.push_back("File: samples are " + DescribeSampleLayout(facts.layout));
    for (const std::string& w : facts.warnings)
        lines.push_back("Warning: " + w);
    return lines;
}

WaveFileAnalysis AnalyseWaveFile(const std::string& path, int requestedValidBits)
{
    WaveFileAnalysis result;
    CWaveReader reader;
    if (!reader.Open(path)) {
        result.error = reader.Error();
        return result;
    }
    const WaveSampleLayout& layout = reader.Layout();
    WaveFileFacts& facts = result.file.emplace();
    facts.layout = layout;
    facts.statedFrames = reader.StatedFrames();
    facts.framesMissing = reader.StatedFrames() - reader.Frames();
    if (layout.channels > MaxAnalysedChannels) {
        result.error = "'" + path + "': " + std::to_string(layout.channels) + " channels, more than the " +
                       std::to_string(MaxAnalysedChannels) + " the analysis takes at once";
        return result;
    }
    std::optional<int> validBits = ValidBitsToUse(layout, requestedValidBits, path, result.error);
    if (!validBits)
        return result;
    // CSampleFormat keeps to the one or two channels a device opens; the
    // analysis takes any count.
    const auto readBytes = static_cast<std::uint16_t>(layout.type == WaveSampleType::Float ? 4 : layout.containerBytes);
    result.format = CSampleFormat(static_cast<std::int32_t>(layout.sampleRate), 1, readBytes);
    result.format.channels = layout.channels;
    try {
        CSignalAnalyzer analyzer(result.format, *validBits, reader.Frames());
        CSampleSource source(reader, path);
        if (!Stream(source, analyzer, result.error))
            return result;
        Warn(facts, reader, source);
        result.analysisBytes = analyzer.MemoryBytes() + ChunkCount * source.BufferBytes();
        result.analysis = analyzer.Finish();
        WarnIfTooShort(result.analysis, facts);
    } catch (const std::bad_alloc&) {
        result.error = "no memory to read the wave file";
        return result;
    }
    result.ok = result.analysis.ok;
    if (!result.ok)
        result.error = result.analysis.error;
    return result;
}
