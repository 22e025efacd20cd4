// SPDX-License-Identifier: GPL-3.0-or-later
// File-mode reads of any byte count stop at the end of the data chunk:
// whatever follows it (other chunks, the calibration chunk, another RIFF
// header) reads as silence, never as samples.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "support/FakeServices.h"
#include "wavefile/WaveFile.h"

namespace {

constexpr std::uint8_t Foreign = 0xEE; // every byte that is not a sample

Bytes Samples(std::size_t n)
{
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(1 + i % 0x7F); // never 0, never Foreign
    return bytes;
}

struct Layout {
    const char* name;
    std::uint16_t channels;
    std::uint16_t bytesPerSample;
    Bytes insideRiff; // after the data chunk, inside the RIFF chunk
    Bytes afterRiff;  // at the top level
};

TEST(WaveFileReadTest, NoCountReadsPastTheDataChunk)
{
    const Bytes filler(40, Foreign);
    const Layout layouts[] = {
        {"24-bit stereo, LIST and JUNK inside", 2, 3, Join({Chunk(Text("LIST"), filler), Chunk(Text("JUNK"), filler)}), {}},
        {"24-bit stereo, calibration after", 2, 3, {}, Chunk(U32(101), Bytes(1020, Foreign))},
        {"16-bit mono, a second RIFF header after", 1, 2, {}, Join({Text("RIFF"), U32(4), Bytes(4, Foreign)})},
        {"32-bit stereo, odd JUNK inside", 2, 4, Chunk(Text("JUNK"), Bytes(7, Foreign)), {}},
    };
    CFakeServicesScope services;
    CScratchDir dir;
    for (const Layout& layout : layouts) {
        std::uint16_t frameBytes = layout.channels * layout.bytesPerSample;
        const Bytes data = Samples(std::size_t{frameBytes} * 50);
        Bytes fmt = Chunk(Text("fmt "), Fmt(1, layout.channels, 48000, frameBytes, 8 * layout.bytesPerSample));
        WriteAll(dir.File("t.wav"), Join({Riff(Join({fmt, Chunk(Text("data"), data), layout.insideRiff})), layout.afterRiff}));

        std::vector<std::uint32_t> counts;
        for (std::uint32_t count = 1; count <= 4u * frameBytes + 1; ++count)
            counts.push_back(count);
        counts.insert(counts.end(), {4095, 4096, 4097});
        for (std::uint32_t count : counts) {
            SCOPED_TRACE(std::string(layout.name) + ", reads of " + std::to_string(count) + " bytes");
            CWaveFile wave(dir.File("t.wav"), WaveFileMode::FileMode, false, dir.path);
            ASSERT_FALSE(wave.IsFailed());
            Bytes stream;
            Bytes piece(count, Foreign);
            // Each read hands out its whole count: samples, then silence.
            for (int reads = 0; reads < 1000 && wave.Read(piece.data(), count); ++reads)
                stream.insert(stream.end(), piece.begin(), piece.end());
            ASSERT_LT(stream.size(), 1000u * count) << "the reads never stopped";
            for (std::size_t i = 0; i < stream.size(); ++i) {
                ASSERT_EQ(stream[i], i < data.size() ? data[i] : 0) << "byte " << i;
            }
            Bytes after(count, Foreign);
            EXPECT_EQ(wave.Read(after.data(), count), 0) << "the end stays the end";
        }
    }
}

} // namespace
