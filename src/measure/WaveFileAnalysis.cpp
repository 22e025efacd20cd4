// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/WaveFileAnalysis.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/SignalAnalyzer.h"
#include "wavefile/WaveFile.h"
#include "wavefile/WaveFileFailure.h"

namespace {

// Frames read at a time: 64 Ki frames are 512 KiB at 32-bit stereo.
constexpr std::uint32_t ChunkFrames = 65536;
constexpr std::size_t ChunkCount = 3;

std::string FailureText(const WaveFileFailure& failure, const std::string& path, const char* fallback)
{
    std::string why = DescribeWaveFileFailure(failure);
    return why.empty() ? std::string(fallback) + " '" + path + "'" : why;
}

// The file is read on a thread of its own while the analysis works on what
// came before: copying the samples out of the page cache costs as much as
// analysing them. The chunks pass through a ring of ChunkCount buffers.
class CChunkPipe {
public:
    CChunkPipe(CWaveFile& file, std::size_t chunkBytes) : file(file)
    {
        for (Chunk& c : chunks)
            c.bytes.resize(chunkBytes);
    }

    // Reader side: the whole data chunk, in order; stops early on a failed read.
    void ReadAll()
    {
        const std::uint32_t frames = file.GetFrameCount();
        std::uint32_t at = 0;
        std::size_t next = 0;
        while (at < frames) {
            std::uint32_t take = NextTake(at, frames);
            Chunk& c = chunks[next];
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !c.full || stopped; });
                if (stopped)
                    return;
            }
            std::uint32_t bytes = file.FramesToBytes(take);
            bool ok = file.Read(c.bytes.data(), bytes) != 0;
            {
                std::lock_guard lock(mutex);
                if (!ok) {
                    failure = LastWaveFileFailure();
                    failed = true;
                    ended = true;
                    changed.notify_all();
                    return;
                }
                c.used = bytes;
                c.full = true;
            }
            changed.notify_all();
            at += take;
            next = (next + 1) % ChunkCount;
        }
        std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    }

    // Analysis side: every chunk in order into the analyzer. False when the
    // reading failed.
    bool FeedAll(CSignalAnalyzer& analyzer)
    {
        std::size_t next = 0;
        for (;;) {
            Chunk& c = chunks[next];
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return c.full || ended; });
                if (!c.full)
                    return !failed;
            }
            analyzer.Feed(c.bytes.data(), c.used);
            {
                std::lock_guard lock(mutex);
                c.full = false;
            }
            changed.notify_all();
            next = (next + 1) % ChunkCount;
        }
    }

    // Both sides on the calling thread, one chunk at a time.
    bool ReadAndFeed(CSignalAnalyzer& analyzer)
    {
        const std::uint32_t frames = file.GetFrameCount();
        std::uint32_t at = 0;
        while (at < frames) {
            std::uint32_t take = NextTake(at, frames);
            std::uint32_t bytes = file.FramesToBytes(take);
            if (!file.Read(chunks[0].bytes.data(), bytes)) {
                failure = LastWaveFileFailure();
                return false;
            }
            analyzer.Feed(chunks[0].bytes.data(), bytes);
            at += take;
        }
        return true;
    }

    void Stop()
    {
        std::lock_guard lock(mutex);
        stopped = true;
        changed.notify_all();
    }

    const WaveFileFailure& Failure() const { return failure; }

private:
    static std::uint32_t NextTake(std::uint32_t at, std::uint32_t frames)
    {
        std::uint32_t take = std::min(ChunkFrames, frames - at);
        // A read from the last frame alone gives nothing: take it with the one before.
        if (frames - at - take == 1)
            ++take;
        return take;
    }

    struct Chunk {
        std::vector<std::uint8_t> bytes;
        std::size_t used = 0;
        bool full = false;
    };
    CWaveFile& file;
    Chunk chunks[ChunkCount];
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    bool failed = false;
    bool stopped = false;
    WaveFileFailure failure;
};

} // namespace

WaveFileAnalysis AnalyseWaveFile(const std::string& path, int requestedValidBits)
{
    WaveFileAnalysis result;
    ClearWaveFileFailure();
    CWaveFile file(path, WaveFileMode::FileMode);
    if (file.IsFailed()) {
        result.error = FailureText(LastWaveFileFailure(), path, "cannot read the wave file");
        return result;
    }
    result.format = file.GetFormat();
    const std::uint32_t frames = file.GetFrameCount();
    CSignalAnalyzer analyzer(result.format, requestedValidBits, frames);
    file.SetPosition(0);
    bool read = false;
    try {
        CChunkPipe pipe(file, file.FramesToBytes(std::min(ChunkFrames, frames) + 1));
        std::thread reader;
        try {
            reader = std::thread([&pipe] { pipe.ReadAll(); });
        } catch (const std::system_error&) {
            reader = std::thread();
        }
        if (reader.joinable()) {
            read = pipe.FeedAll(analyzer);
            pipe.Stop();
            reader.join();
        } else {
            read = pipe.ReadAndFeed(analyzer); // no thread to be had: one after the other
        }
        if (!read)
            result.error = FailureText(pipe.Failure(), path, "cannot read the samples of");
    } catch (const std::bad_alloc&) {
        result.error = "no memory to read the wave file";
    }
    if (!read)
        return result;
    result.analysisBytes = analyzer.MemoryBytes() + ChunkCount * file.FramesToBytes(ChunkFrames + 1);
    result.analysis = analyzer.Finish();
    result.ok = result.analysis.ok;
    if (!result.ok)
        result.error = result.analysis.error;
    return result;
}
