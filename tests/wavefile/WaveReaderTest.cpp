// SPDX-License-Identifier: GPL-3.0-or-later
// The read-only WAVE reader on hand-made files in memory: every layout users
// have is read as stated, everything else is refused naming what, and sizes
// the file states never reach past it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "wavefile/WaveFileFailure.h"
#include "wavefile/WaveReader.h"

namespace {

const std::string Path = "/mem/take.wav";

// The sub-format GUID of a tag, as an extensible fmt chunk stores it.
Bytes SubFormat(std::uint32_t tag)
{
    return Join({U32(tag), Bytes{0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}});
}

Bytes Extensible(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign, std::uint16_t bits,
                 std::uint16_t validBits, const Bytes& subFormat, std::uint16_t extra = 22)
{
    return Join({Fmt(0xFFFE, channels, rate, blockAlign, bits), U16(extra), U16(validBits), U32(0x3F), subFormat});
}

Bytes Wave(const Bytes& fmt, const Bytes& data)
{
    return Riff(Join({Chunk(Text("fmt "), fmt), Chunk(Text("data"), data)}));
}

struct Opened {
    bool ok = false;
    std::string error;
    WaveSampleLayout layout;
    std::uint64_t stated = 0;
    std::uint64_t frames = 0;
    Bytes samples; // every frame, read in pieces of 3 frames
};

Opened Open(CMemoryFileSystemScope& memory, const Bytes& file)
{
    memory.fs.Put(Path, file);
    CWaveReader reader;
    Opened o;
    o.ok = reader.Open(Path);
    o.error = reader.Error();
    if (!o.ok)
        return o;
    o.layout = reader.Layout();
    o.stated = reader.StatedFrames();
    o.frames = reader.Frames();
    Bytes piece(3 * o.layout.FrameBytes());
    for (std::int64_t n; (n = reader.Read(piece.data(), 3)) > 0;)
        o.samples.insert(o.samples.end(), piece.begin(), piece.begin() + n * o.layout.FrameBytes());
    return o;
}

struct LayoutRow {
    const char* name;
    Bytes fmt;
    WaveSampleType type;
    std::uint16_t channels;
    std::uint16_t containerBytes;
    std::uint16_t validBits;
    bool stated;
};

TEST(WaveReaderTest, EveryLayoutUsersHaveIsReadAsStated)
{
    const LayoutRow rows[] = {
        {"8-bit mono", Fmt(1, 1, 8000, 1, 8), WaveSampleType::Integer, 1, 1, 8, false},
        {"16-bit stereo", Fmt(1, 2, 44100, 4, 16), WaveSampleType::Integer, 2, 2, 16, false},
        {"24-bit stereo", Fmt(1, 2, 96000, 6, 24), WaveSampleType::Integer, 2, 3, 24, false},
        {"32-bit mono", Fmt(1, 1, 48000, 4, 32), WaveSampleType::Integer, 1, 4, 32, false},
        {"20 bits in 3 bytes", Fmt(1, 1, 48000, 3, 20), WaveSampleType::Integer, 1, 3, 20, true},
        {"3 channels", Fmt(1, 3, 48000, 6, 16), WaveSampleType::Integer, 3, 2, 16, false},
        {"float 32", Fmt(3, 2, 48000, 8, 32), WaveSampleType::Float, 2, 4, 32, false},
        {"float 64 with cbSize", Join({Fmt(3, 1, 48000, 8, 64), U16(0)}), WaveSampleType::Float, 1, 8, 64, false},
        {"extensible 24 in 32, 6 channels", Extensible(6, 48000, 24, 32, 24, SubFormat(1)), WaveSampleType::Integer,
         6, 4, 24, true},
        {"extensible PCM, valid bits 0", Extensible(2, 48000, 4, 16, 0, SubFormat(1)), WaveSampleType::Integer, 2, 2,
         16, false},
        {"extensible float", Extensible(1, 48000, 4, 32, 32, SubFormat(3)), WaveSampleType::Float, 1, 4, 32, false},
        {"oldest form, no bits field", Join({U16(1), U16(2), U32(22050), U32(88200), U16(4)}),
         WaveSampleType::Integer, 2, 2, 16, false},
    };
    CMemoryFileSystemScope memory;
    for (const LayoutRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::uint32_t frameBytes = std::uint32_t{row.channels} * row.containerBytes;
        const Bytes data = Ramp(7 * frameBytes);
        Opened o = Open(memory, Wave(row.fmt, data));
        ASSERT_TRUE(o.ok) << o.error;
        EXPECT_EQ(o.layout.type, row.type);
        EXPECT_EQ(o.layout.channels, row.channels);
        EXPECT_EQ(o.layout.containerBytes, row.containerBytes);
        EXPECT_EQ(o.layout.validBits, row.validBits);
        EXPECT_EQ(o.layout.validBitsStated, row.stated);
        EXPECT_EQ(o.stated, 7u);
        EXPECT_EQ(o.frames, 7u);
        EXPECT_EQ(o.samples, data);
    }
}

struct RefusalRow {
    const char* name;
    Bytes file;
    const char* says;
};

TEST(WaveReaderTest, WhatCannotBeReadTrulyIsRefusedNamingWhy)
{
    const Bytes someData = Ramp(64);
    const RefusalRow rows[] = {
        {"block align 3 for 8-bit stereo", Wave(Fmt(1, 2, 48000, 3, 8), someData),
         "fmt chunk '/mem/take.wav': block align 3 does not fit 2 channels of 8-bit samples (2 bytes a frame)"},
        {"block align 5", Wave(Fmt(1, 2, 48000, 5, 16), someData), "block align 5 does not fit"},
        {"block align 8 for 16-bit stereo", Wave(Fmt(1, 2, 48000, 8, 16), someData), "block align 8 does not fit"},
        {"block align 65535", Wave(Fmt(1, 2, 48000, 65535, 16), someData), "block align 65535 does not fit"},
        {"24 bits padded to 4 bytes in a plain chunk", Wave(Fmt(1, 1, 48000, 4, 24), someData),
         "block align 4 does not fit 1 channel of 24-bit samples (3 bytes a frame)"},
        {"rate 0", Wave(Fmt(1, 1, 0, 2, 16), someData), "sample rate 0"},
        {"rate 2^31", Wave(Fmt(1, 1, 0x80000000u, 2, 16), someData),
         "sample rate 2147483648 Hz is beyond 2147483647 Hz"},
        {"no channels", Wave(Fmt(1, 0, 48000, 2, 16), someData), "0 channels"},
        {"no bits", Wave(Fmt(1, 1, 48000, 2, 0), someData), "0 bits per sample"},
        {"ADPCM", Wave(Fmt(2, 1, 48000, 256, 4), someData), "format tag 0x0002 (ADPCM) is not PCM or float"},
        {"16-bit float", Wave(Fmt(3, 1, 48000, 2, 16), someData), "16-bit float samples are not read"},
        {"64-bit integer", Wave(Fmt(1, 1, 48000, 8, 64), someData), "64-bit integer samples are not read"},
        {"extensible A-law", Wave(Extensible(1, 8000, 1, 8, 8, SubFormat(6)), someData),
         "extensible sub-format {00000006-0000-0010-8000-00AA00389B71} is not PCM or float"},
        {"extensible cut to 18 bytes", Wave(Join({Fmt(0xFFFE, 1, 48000, 2, 16), U16(0)}), someData),
         "an extensible fmt chunk of 18 bytes is too short (40 are needed)"},
        {"extensible with cbSize 0", Wave(Extensible(1, 48000, 2, 16, 16, SubFormat(1), 0), someData),
         "stating 0 extra bytes"},
        {"valid bits above the sample", Wave(Extensible(1, 48000, 2, 16, 24, SubFormat(1)), someData),
         "24 valid bits stated in 16-bit samples"},
        {"fmt chunk of 12 bytes", Wave(Bytes(12, 1), someData), "a fmt chunk of 12 bytes is too short"},
        {"no fmt chunk", Riff(Chunk(Text("data"), someData)), "fmt chunk '/mem/take.wav': none in the file"},
        {"no data chunk", Riff(Chunk(Text("fmt "), Fmt(1, 1, 48000, 2, 16))), "data chunk '/mem/take.wav': none"},
        {"empty data chunk", Wave(Fmt(1, 1, 48000, 2, 16), {}), "it holds no samples"},
        {"less than a frame", Wave(Fmt(1, 2, 48000, 6, 24), Ramp(5)), "its 5 bytes are not one whole frame of 6"},
        {"RF64", Join({Text("RF64"), U32(0xFFFFFFFF), Text("WAVE")}), "an RF64 file"},
        {"AIFF", Join({Text("FORM"), U32(100), Text("AIFF")}), "an AIFF or other IFF file"},
        {"FLAC", Join({Text("fLaC"), Ramp(40)}), "a FLAC file"},
        {"AVI", Join({Text("RIFF"), U32(4), Text("AVI ")}), "a RIFF file of form 'AVI ', not WAVE"},
        {"eleven bytes", Ramp(11), "the file is 11 bytes long, too short for a WAVE header"},
    };
    CMemoryFileSystemScope memory;
    for (const RefusalRow& row : rows) {
        SCOPED_TRACE(row.name);
        ClearWaveFileFailure();
        Opened o = Open(memory, row.file);
        EXPECT_FALSE(o.ok);
        EXPECT_NE(o.error.find(row.says), std::string::npos) << o.error;
        EXPECT_NE(LastWaveFileFailure().reason, WaveFileReason::None);
    }
}

TEST(WaveReaderTest, AShortFileReadsTheFramesItHoldsAndCountsTheRest)
{
    CMemoryFileSystemScope memory;
    const Bytes held = Ramp(1000);
    // 96000 bytes stated, 1000 there: 500 of 48000 frames.
    Opened cut = Open(memory, Riff(Join({Chunk(Text("fmt "), Fmt(1, 1, 48000, 2, 16)), Text("data"), U32(96000), held})));
    ASSERT_TRUE(cut.ok) << cut.error;
    EXPECT_EQ(cut.stated, 48000u);
    EXPECT_EQ(cut.frames, 500u);
    EXPECT_EQ(cut.samples, held);

    // A data chunk that ends inside a frame: the whole frames, the rest counted.
    memory.fs.Put(Path, Wave(Fmt(1, 2, 48000, 4, 16), Ramp(4 * 10 + 3)));
    CWaveReader reader;
    ASSERT_TRUE(reader.Open(Path)) << reader.Error();
    EXPECT_EQ(reader.Frames(), 10u);
    EXPECT_EQ(reader.PartialFrameBytes(), 3u);

    // Cut before the first whole frame: nothing to analyse, said as such.
    Opened none = Open(memory, Riff(Join({Chunk(Text("fmt "), Fmt(1, 2, 48000, 4, 16)), Text("data"), U32(400), Ramp(2)})));
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.error.find("the file ends before its first whole frame (it states 100)"), std::string::npos)
        << none.error;
    EXPECT_EQ(LastWaveFileFailure().reason, WaveFileReason::Truncated);
}

TEST(WaveReaderTest, ChunksAreWalkedWithinTheFileAndABound)
{
    CMemoryFileSystemScope memory;
    const Bytes fmt = Chunk(Text("fmt "), Fmt(1, 1, 48000, 2, 16));
    const Bytes data = Chunk(Text("data"), Ramp(20));

    // An odd chunk's pad byte, data before fmt, and a RIFF size beyond the
    // file (a recording never finished) all read.
    Bytes padded = Riff(Join({Chunk(Text("JUNK"), Ramp(3)), data, fmt}));
    EXPECT_EQ(Open(memory, padded).samples, Ramp(20));
    Bytes unfinished = Join({Text("RIFF"), U32(0xFFFFFFF0), Text("WAVE"), fmt, data});
    EXPECT_EQ(Open(memory, unfinished).samples, Ramp(20));

    // A RIFF size that ends before the chunks: said, not searched past.
    Opened early = Open(memory, Join({Text("RIFF"), U32(4), Text("WAVE"), fmt, data}));
    EXPECT_NE(early.error.find("none within the RIFF chunk's stated 4 bytes"), std::string::npos) << early.error;

    // A fmt chunk cut by the end of the file.
    Opened cutFmt = Open(memory, Join({Text("RIFF"), U32(100), Text("WAVE"), Text("fmt "), U32(16), Ramp(8)}));
    EXPECT_NE(cutFmt.error.find("fmt chunk '/mem/take.wav': the file ends inside it"), std::string::npos)
        << cutFmt.error;

    // Thousands of empty chunks before the samples: refused after the bound.
    Bytes many;
    for (int i = 0; i < CWaveReader::MaxWaveChunks; ++i) {
        Bytes junk = Chunk(Text("JUNK"), {});
        many.insert(many.end(), junk.begin(), junk.end());
    }
    Opened crowded = Open(memory, Riff(Join({many, fmt, data})));
    EXPECT_NE(crowded.error.find("more than 1024 chunks before the samples"), std::string::npos) << crowded.error;
}

TEST(WaveReaderTest, FailuresOfTheFileSystemKeepTheSystemsWords)
{
    CMemoryFileSystemScope memory;
    CWaveReader reader;
    EXPECT_FALSE(reader.Open("/mem/absent.wav"));
    EXPECT_EQ(reader.Error(), "open '/mem/absent.wav': " + std::string(std::strerror(ENOENT)));
    EXPECT_EQ(LastWaveFileFailure().reason, WaveFileReason::NotFound);
    Bytes out(8);
    EXPECT_EQ(reader.Read(out.data(), 1), -1);
}

} // namespace
