// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "support/FakeServices.h"
#include "wavefile/WaveFile.h"

namespace {

const Bytes Mono16 = Chunk(Text("fmt "), Fmt(1, 1, 8000, 2, 16));
const Bytes Mono8 = Chunk(Text("fmt "), Fmt(1, 1, 8000, 1, 8));

Bytes MonoFile(const Bytes& fmt, const Bytes& samples)
{
    return Riff(Join({fmt, Chunk(Text("data"), samples)}));
}

// How many calibration chunks lie at the top level after the RIFF chunk.
int CalibrationChunks(const Bytes& file)
{
    std::size_t at = 8 + (file[4] | file[5] << 8 | file[6] << 16 | static_cast<std::size_t>(file[7]) << 24);
    at += at & 1;
    int count = 0;
    while (at + 8 + 1020 <= file.size() && Bytes(file.begin() + at, file.begin() + at + 8) == Join({U32(101), U32(1020)})) {
        ++count;
        at += 8 + 1020;
    }
    return at == file.size() ? count : -1;
}

class WaveFileStreamTest : public ::testing::Test {
protected:
    CalibrationData Calibration(std::uint8_t start)
    {
        CalibrationData block{};
        std::memcpy(&block, CalibrationBytes(start).data(), 1020);
        return block;
    }

    CFakeServicesScope services;
    CScratchDir dir;
};

TEST_F(WaveFileStreamTest, NewFileStreamsIntoATemporaryFileAndIsRenamedOnSave)
{
    std::string target = dir.File("new.wav");
    {
        CWaveFile wave(CSampleFormat(8000, 1, 2), false, dir.path);
        ASSERT_FALSE(wave.IsFailed());
        ASSERT_EQ(dir.List().size(), 1u);
        EXPECT_EQ(dir.List()[0].rfind("wav", 0), 0u) << "temporary names begin with wav";
        EXPECT_EQ(wave.GetDataOffset(), 44u);
        Bytes samples = Ramp(10);
        ASSERT_EQ(wave.Write(samples.data(), 6), 1);
        ASSERT_EQ(wave.Write(samples.data() + 6, 4), 1);
        EXPECT_EQ(wave.GetFrameCount(), 5u);
        EXPECT_EQ(wave.GetDataEnd(), 5u);
        wave.SetFileName(target);
        ASSERT_EQ(wave.Save(), 1);
        EXPECT_EQ(wave.GetWorkFileName(), target);
        EXPECT_TRUE(wave.IsFileOpen());
        EXPECT_FALSE(wave.IsCreatedNew());
        EXPECT_EQ(dir.List(), std::vector<std::string>{"new.wav"});
    }
    EXPECT_EQ(ReadAll(target), Riff(Join({Mono16, Chunk(Text("data"), Ramp(10))})));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"new.wav"});
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(WaveFileStreamTest, UntitledNewFileLeavesNothingBehind)
{
    {
        CWaveFile wave(CSampleFormat(8000, 2, 2), true, dir.path);
        Bytes samples = Ramp(40);
        wave.Write(samples.data(), 40);
        EXPECT_EQ(wave.Save(), 0) << "no name to save under";
    }
    EXPECT_TRUE(dir.List().empty());
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(WaveFileStreamTest, ReadsStreamFromThePositionAndStopBeforeTheLastFrame)
{
    // A calibration chunk after the data must never be read as samples.
    WriteAll(dir.File("in.wav"), Join({MonoFile(Mono16, Ramp(20)), Chunk(U32(101), CalibrationBytes(200))}));
    CWaveFile wave(dir.File("in.wav"), WaveFileMode::FileMode, false, dir.path);
    ASSERT_FALSE(wave.IsFailed());
    EXPECT_EQ(wave.GetFrameCount(), 10u);
    EXPECT_TRUE(wave.HasCalibration());

    std::uint8_t bytes[8];
    wave.SetPosition(2);
    ASSERT_EQ(wave.Read(bytes, 4), 1);
    EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{5, 6, 7, 8}));
    EXPECT_EQ(wave.GetPosition(), 4u);

    wave.SetPosition(7);
    ASSERT_EQ(wave.Read(bytes, 8), 1);
    EXPECT_EQ(Bytes(bytes, bytes + 8), (Bytes{15, 16, 17, 18, 19, 20, 0, 0})) << "the rest is zero-filled";
    EXPECT_EQ(wave.GetPosition(), 9u);

    std::memset(bytes, 0xAA, sizeof bytes);
    EXPECT_EQ(wave.Read(bytes, 2), 0) << "the last frame is no starting point";
    EXPECT_EQ(bytes[0], 0xAA);
}

TEST_F(WaveFileStreamTest, WritesInPlaceAndPastTheEndKeepTheFileWellFormed)
{
    // 8-bit mono with an odd data size and a calibration chunk after it.
    WriteAll(dir.File("w.wav"), Join({MonoFile(Mono8, Ramp(5)), Chunk(U32(101), CalibrationBytes(9))}));
    {
        CWaveFile wave(dir.File("w.wav"), WaveFileMode::FileMode, false, dir.path);
        ASSERT_FALSE(wave.IsFailed());
        wave.SetPosition(1);
        Bytes middle = {0xA1, 0xA2, 0xA3};
        ASSERT_EQ(wave.Write(middle.data(), 3), 1);
        Bytes tail = {0xB1, 0xB2, 0xB3};
        ASSERT_EQ(wave.Write(tail.data(), 3), 1) << "runs two frames past the end";
        EXPECT_EQ(wave.GetFrameCount(), 7u);
        EXPECT_EQ(wave.GetByteSize(), 7u);
        EXPECT_EQ(wave.GetDataEnd(), 7u);
        ASSERT_EQ(wave.Save(), 1);
        EXPECT_FALSE(wave.IsModified());
    }
    Bytes expected = Join({MonoFile(Mono8, {1, 0xA1, 0xA2, 0xA3, 0xB1, 0xB2, 0xB3}), Chunk(U32(101), CalibrationBytes(9))});
    EXPECT_EQ(ReadAll(dir.File("w.wav")), expected);
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(WaveFileStreamTest, FileGrownAndLeftUnsavedIsStillWellFormed)
{
    WriteAll(dir.File("g.wav"), MonoFile(Mono16, Ramp(6)));
    Bytes more = Ramp(40000, 7); // large enough to bypass the file buffer
    {
        CWaveFile wave(dir.File("g.wav"), WaveFileMode::FileMode, false, dir.path);
        ASSERT_FALSE(wave.IsFailed());
        wave.SetPosition(3);
        ASSERT_EQ(wave.Write(more.data(), 20000), 1);
        ASSERT_EQ(wave.Write(more.data() + 20000, 20000), 1);
    }
    EXPECT_EQ(ReadAll(dir.File("g.wav")), MonoFile(Mono16, Join({Ramp(6), more})));
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(WaveFileStreamTest, TemporaryCopyLeavesTheFileAloneUntilSaved)
{
    Bytes original = MonoFile(Mono16, Ramp(8));
    WriteAll(dir.File("orig.wav"), original);
    {
        CWaveFile wave(dir.File("orig.wav"), WaveFileMode::FileMode, true, dir.path);
        ASSERT_FALSE(wave.IsFailed());
        EXPECT_NE(wave.GetWorkFileName(), dir.File("orig.wav"));
        Bytes samples = {0xEE, 0xEE};
        wave.Write(samples.data(), 2);
        EXPECT_TRUE(wave.IsModified());
        EXPECT_EQ(dir.List().size(), 2u);
    }
    EXPECT_EQ(ReadAll(dir.File("orig.wav")), original);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"orig.wav"});
}

TEST_F(WaveFileStreamTest, SavingUnderNewNamesCopiesWithOneCalibrationChunkEach)
{
    WriteAll(dir.File("orig.wav"), Join({MonoFile(Mono16, Ramp(8)), Chunk(U32(101), CalibrationBytes(1))}));
    CWaveFile wave(dir.File("orig.wav"), WaveFileMode::FileMode, true, dir.path);
    ASSERT_TRUE(wave.HasCalibration());
    std::string work = wave.GetWorkFileName();
    wave.SetPosition(2);
    Bytes samples = {0xC1, 0xC2, 0xC3, 0xC4};
    ASSERT_EQ(wave.Write(samples.data(), 4), 1);
    EXPECT_EQ(wave.GetFrameCount(), 4u);

    wave.SetFileName(dir.File("one.wav"));
    ASSERT_EQ(wave.Save(), 1);
    EXPECT_EQ(wave.GetWorkFileName(), work) << "a temporary copy stays the working file";
    EXPECT_EQ(wave.GetPosition(), 4u);
    wave.SetFileName(dir.File("two.wav"));
    ASSERT_EQ(wave.Save(), 1);

    Bytes data = Join({Ramp(4), samples});
    for (const char* name : {"one.wav", "two.wav"}) {
        Bytes file = ReadAll(dir.File(name));
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 52), MonoFile(Mono16, data)) << name;
        EXPECT_EQ(CalibrationChunks(file), 1) << name;
    }
    EXPECT_EQ(CalibrationChunks(ReadAll(work)), 3) << "the working file gains one per save";
    EXPECT_EQ(ReadAll(dir.File("orig.wav")).size(), 52u + 1028) << "the original is untouched";
}

TEST_F(WaveFileStreamTest, DirectlyOpenedFileSavedElsewhereMovesToTheNewFile)
{
    WriteAll(dir.File("a.wav"), MonoFile(Mono16, Ramp(6)));
    CWaveFile wave(dir.File("a.wav"), WaveFileMode::FileMode, false, dir.path);
    wave.SetFileName(dir.File("b.wav"));
    ASSERT_EQ(wave.Save(), 1);
    EXPECT_EQ(wave.GetWorkFileName(), dir.File("b.wav"));
    EXPECT_EQ(ReadAll(dir.File("b.wav")), MonoFile(Mono16, Ramp(6)));
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.wav", "b.wav"}));

    // The same file under another spelling is no new target.
    wave.SetFileName(dir.path + "/./b.wav");
    ASSERT_EQ(wave.Save(), 1);
    EXPECT_EQ(wave.GetWorkFileName(), dir.File("b.wav"));
}

TEST_F(WaveFileStreamTest, CopyWaveFileCarriesEveryFrame)
{
    for (std::uint32_t frames : {10000u, 4097u, 4096u, 1u}) {
        SCOPED_TRACE(frames);
        Bytes samples(frames * 4);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        WriteAll(dir.File("src.wav"), Riff(Join({Chunk(Text("fmt "), Fmt(1, 2, 48000, 4, 16)), Chunk(Text("data"), samples)})));
        CWaveFile copier(CSampleFormat(8000, 1, 1), false, dir.path);
        copier.SetCalibration(Calibration(4));
        ASSERT_EQ(copier.CopyWaveFile(dir.File("src.wav"), dir.File("dst.wav"), frames), 1);
        Bytes expected = Join({Riff(Join({Chunk(Text("fmt "), Fmt(1, 2, 48000, 4, 16)), Chunk(Text("data"), samples)})),
                               Chunk(U32(101), CalibrationBytes(4))});
        EXPECT_EQ(ReadAll(dir.File("dst.wav")), expected);
    }
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"dst.wav", "src.wav"})) << "no temporary file left";
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(WaveFileStreamTest, CopyFailuresAreReported)
{
    CWaveFile copier(CSampleFormat(8000, 1, 1), false, dir.path);
    EXPECT_EQ(CWaveFile::CopyFileBytes(dir.File("missing"), dir.File("x")), 0);
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{std::strerror(ENOENT)});

    services.fake.messages.clear();
    WriteAll(dir.File("src"), Ramp(20000));
    EXPECT_EQ(CWaveFile::CopyFileBytes(dir.File("src"), dir.File("no/dir")), 0);
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{std::strerror(ENOENT)});
    ASSERT_EQ(CWaveFile::CopyFileBytes(dir.File("src"), dir.File("copy")), 1);
    EXPECT_EQ(ReadAll(dir.File("copy")), Ramp(20000));
    EXPECT_EQ(CWaveFile::CopyFileBytes(dir.File("src"), dir.File("src")), 1) << "a file copied onto itself survives";
    EXPECT_EQ(ReadAll(dir.File("src")), Ramp(20000));

    services.fake.messages.clear();
    EXPECT_EQ(copier.CopyWaveFile(dir.File("src"), dir.File("dst.wav"), 10), 0) << "not a wave file";
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_INVALID_WAVE_FILE"});
    EXPECT_FALSE(Exists(dir.File("dst.wav")));
}

TEST_F(WaveFileStreamTest, CopyThatCannotReachItsNameFailsAndLeavesNoTemporaryFile)
{
    WriteAll(dir.File("src.wav"), MonoFile(Mono16, Ramp(40)));
    CWaveFile copier(CSampleFormat(8000, 1, 1), false, dir.path);
    std::vector<std::string> before = dir.List();
    EXPECT_EQ(copier.CopyWaveFile(dir.File("src.wav"), dir.File("no/such/dir.wav"), 20), 0);
    EXPECT_EQ(services.fake.MessageTexts(),
              (std::vector<std::string>{std::strerror(ENOENT), "IDS_FAILURE_WRITING_WAVE_FILE"}));
    EXPECT_EQ(dir.List(), before);
}

TEST_F(WaveFileStreamTest, FailedOpeningsLeaveNoTemporaryFiles)
{
    {
        CWaveFile missing(dir.File("missing.wav"), WaveFileMode::FileMode, true, dir.path);
        EXPECT_TRUE(missing.IsFailed());
        EXPECT_FALSE(missing.IsFileOpen());
    }
    EXPECT_EQ(services.fake.MessageTexts(), (std::vector<std::string>{std::strerror(ENOENT), "IDS_INVALID_WAVE_FILE"}));
    EXPECT_TRUE(dir.List().empty());

    services.fake.messages.clear();
    WriteAll(dir.File("empty.wav"), MonoFile(Mono16, {}));
    CWaveFile empty(dir.File("empty.wav"), WaveFileMode::FileMode, false, dir.path);
    EXPECT_TRUE(empty.IsFailed());
    EXPECT_TRUE(services.fake.messages.empty());

    CWaveFile noDirectory(CSampleFormat(8000, 1, 1), false, dir.File("nowhere"));
    EXPECT_TRUE(noDirectory.IsFailed());
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_FILE_OPEN_FAIL"});
}

} // namespace

namespace {

TEST(WaveFileStreamSizes, StatedSizePastTheFileCountsOnlyWhatIsThere)
{
    CFakeServicesScope services;
    CScratchDir dir;
    WriteAll(dir.File("t.wav"), Join({Text("RIFF"), U32(0x7FFFFFF0), Text("WAVE"), Mono16, Text("data"), U32(0x7FFFFF00), Ramp(10)}));
    {
        CWaveFile wave(dir.File("t.wav"), WaveFileMode::FileMode, false, dir.path);
        ASSERT_FALSE(wave.IsFailed());
        EXPECT_EQ(wave.GetFrameCount(), 5u);
        wave.SetPosition(5);
        Bytes more = {0xD1, 0xD2};
        ASSERT_EQ(wave.Write(more.data(), 2), 1);
        ASSERT_EQ(wave.Save(), 1);
    }
    EXPECT_EQ(ReadAll(dir.File("t.wav")), MonoFile(Mono16, Join({Ramp(10), {0xD1, 0xD2}})));
    EXPECT_TRUE(services.fake.messages.empty());
}

} // namespace
