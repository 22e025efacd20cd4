// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdio>

#include "WaveTestFiles.h"
#include "wavefile/RiffFile.h"

namespace {

TEST(RiffFileTest, CreatedChunksGetTheirSizesAndPadOnAscend)
{
    CScratchDir dir;
    CRiffFile file;
    ASSERT_TRUE(file.Open(dir.File("a.riff"), RiffOpenMode::Create));
    RiffChunk riff{};
    riff.formType = MakeFourCC('T', 'E', 'S', 'T');
    RiffChunk odd{};
    odd.id = MakeFourCC('o', 'd', 'd', ' ');
    ASSERT_EQ(file.CreateChunk(riff, true), 0);
    ASSERT_EQ(file.CreateChunk(odd, false), 0);
    EXPECT_EQ(odd.dataOffset, 20u);
    ASSERT_EQ(file.Write("abc", 3), 3);
    ASSERT_EQ(file.Ascend(odd), 0);
    EXPECT_EQ(odd.size, 3u);
    EXPECT_EQ(file.Tell(), 24);
    ASSERT_EQ(file.Ascend(riff), 0);
    ASSERT_EQ(file.Close(), 0);

    Bytes expected = Join({Text("RIFF"), U32(16), Text("TEST"), Text("odd "), U32(3), {'a', 'b', 'c', 0}});
    EXPECT_EQ(ReadAll(dir.File("a.riff")), expected);
}

TEST(RiffFileTest, DescendSkipsWholeChunksAndStaysInsideItsParent)
{
    CScratchDir dir;
    // A RIFF of another form first, then ours holding "skip" (odd) and "want";
    // a "want" after the RIFF chunk lies outside the parent.
    Bytes other = Chunk(Text("RIFF"), Join({Text("AVI "), Ramp(5)}));
    Bytes ours = Chunk(Text("RIFF"), Join({Text("WAVE"), Chunk(Text("skip"), Ramp(3)), Chunk(Text("want"), Ramp(2))}));
    WriteAll(dir.File("f"), Join({other, ours, Chunk(Text("last"), Ramp(4))}));

    CRiffFile file;
    ASSERT_TRUE(file.Open(dir.File("f"), RiffOpenMode::Read));
    RiffChunk riff{};
    riff.formType = MakeFourCC('W', 'A', 'V', 'E');
    ASSERT_EQ(file.Descend(riff, nullptr, RiffFind::Riff), 0);
    EXPECT_EQ(riff.dataOffset, other.size() + 8);
    EXPECT_EQ(file.Tell(), static_cast<std::int64_t>(other.size() + 12));

    RiffChunk want{};
    want.id = MakeFourCC('w', 'a', 'n', 't');
    ASSERT_EQ(file.Descend(want, &riff, RiffFind::Chunk), 0);
    EXPECT_EQ(want.size, 2u);
    std::uint8_t bytes[2];
    EXPECT_EQ(file.Read(bytes, 2), 2);
    EXPECT_EQ(bytes[1], 2);

    ASSERT_EQ(file.Ascend(want), 0);
    RiffChunk last{};
    last.id = MakeFourCC('l', 'a', 's', 't');
    EXPECT_EQ(file.Descend(last, &riff, RiffFind::Chunk), -1) << "found outside its parent";
    EXPECT_EQ(file.Descend(last, nullptr, RiffFind::Chunk), 0);
}

TEST(RiffFileTest, HugeSizeFieldsEndTheSearchAtTheFileEnd)
{
    CScratchDir dir;
    // The RIFF claims 4 GiB and a chunk inside claims nearly as much.
    Bytes file = Join({Text("RIFF"), U32(0xFFFFFFFF), Text("WAVE"), Text("junk"), U32(0xFFFFFFF0), Ramp(10)});
    WriteAll(dir.File("f"), file);
    CRiffFile riffFile;
    ASSERT_TRUE(riffFile.Open(dir.File("f"), RiffOpenMode::Read));
    RiffChunk riff{};
    riff.formType = MakeFourCC('W', 'A', 'V', 'E');
    ASSERT_EQ(riffFile.Descend(riff, nullptr, RiffFind::Riff), 0);
    RiffChunk data{};
    data.id = MakeFourCC('d', 'a', 't', 'a');
    EXPECT_EQ(riffFile.Descend(data, &riff, RiffFind::Chunk), -1);
    std::uint8_t bytes[64];
    riffFile.Seek(20, SEEK_SET);
    EXPECT_EQ(riffFile.Read(bytes, sizeof bytes), 10) << "reads stop at the end of the file";
}

TEST(RiffFileTest, BufferedWritesAndReadsSeeTheSameBytesAcrossSeeks)
{
    CScratchDir dir;
    CRiffFile file;
    ASSERT_TRUE(file.Open(dir.File("f"), RiffOpenMode::Create));
    Bytes big = Ramp(200000);
    ASSERT_EQ(file.Write(big.data(), 100), 100);
    ASSERT_EQ(file.Write(big.data() + 100, static_cast<std::uint32_t>(big.size() - 100)),
              static_cast<std::int64_t>(big.size() - 100));
    file.Seek(10, SEEK_SET);
    ASSERT_EQ(file.Write("XY", 2), 2);
    EXPECT_EQ(file.Length(), 200000);
    file.Seek(8, SEEK_SET);
    std::uint8_t bytes[6];
    ASSERT_EQ(file.Read(bytes, 6), 6);
    EXPECT_EQ(Bytes(bytes, bytes + 6), (Bytes{9, 10, 'X', 'Y', 13, 14}));
    file.Seek(-2, SEEK_END);
    ASSERT_EQ(file.Read(bytes, 6), 2);
    ASSERT_EQ(file.Truncate(50), 0);
    EXPECT_EQ(file.Length(), 50);
    ASSERT_EQ(file.Close(), 0);
    EXPECT_EQ(ReadAll(dir.File("f")).size(), 50u);
    EXPECT_EQ(file.Seek(0, SEEK_SET), -1) << "a closed file refuses";
}

TEST(RiffFileTest, ReservingRoomLeavesTheLengthToTheWrites)
{
    CScratchDir dir;
    CRiffFile file;
    ASSERT_TRUE(file.Open(dir.File("f"), RiffOpenMode::Create));
    file.Reserve(1 << 20); // advice: granted or not, the file is what is written
    ASSERT_EQ(file.Write("abc", 3), 3);
    EXPECT_EQ(file.Length(), 3);
    ASSERT_EQ(file.Close(), 0);
    EXPECT_EQ(ReadAll(dir.File("f")), (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(file.Reserve(10), -1) << "a closed file refuses";
}

TEST(RiffFileTest, ReadOnlyFilesRefuseWritesAndMissingFilesDoNotOpen)
{
    CScratchDir dir;
    CRiffFile file;
    EXPECT_FALSE(file.Open(dir.File("missing"), RiffOpenMode::Read));
    EXPECT_FALSE(file.Open(dir.path, RiffOpenMode::Read)) << "a directory is not a file";
    WriteAll(dir.File("f"), Ramp(4));
    ASSERT_TRUE(file.Open(dir.File("f"), RiffOpenMode::Read));
    EXPECT_EQ(file.Write("x", 1), -1);
    RiffChunk chunk{};
    EXPECT_EQ(file.CreateChunk(chunk, false), -1);
}

} // namespace
