// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "core/ZeroBlock.h"
#include "support/FakeServices.h"
#include "support/PathLimits.h"
#include "wavefile/WaveFile.h"
#include "wavefile/WaveFileFailure.h"

namespace {

class WaveFileMemoryTest : public ::testing::Test {
protected:
    // Saves `frames` frames of a ramp in `format` as a new in-memory file.
    std::string SaveNew(const std::string& name, CSampleFormat format, std::uint32_t frames, std::uint32_t written)
    {
        CWaveFile wave(frames, format, dir.path);
        Bytes samples = Ramp(wave.FramesToBytes(written));
        if (written > 0) {
            EXPECT_EQ(wave.Write(samples.data(), static_cast<std::uint32_t>(samples.size())), 1);
        }
        wave.SetFileName(dir.File(name));
        EXPECT_EQ(wave.Save(), 1);
        return dir.File(name);
    }

    CalibrationData Calibration(std::uint8_t start)
    {
        CalibrationData block{};
        Bytes bytes = CalibrationBytes(start);
        std::memcpy(&block, bytes.data(), bytes.size());
        return block;
    }

    CFakeServicesScope services;
    CScratchDir dir;
};

TEST_F(WaveFileMemoryTest, StereoSixteenBitHeaderIsByteExact)
{
    std::string path = SaveNew("a.wav", CSampleFormat(44100, 2, 2), 4, 4);
    Bytes expected = {'R', 'I', 'F', 'F', 52, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                      0x01, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00, 0x04, 0x00, 0x10, 0x00,
                      'd', 'a', 't', 'a', 16, 0, 0, 0};
    Bytes samples = Ramp(16);
    expected.insert(expected.end(), samples.begin(), samples.end());
    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(WaveFileMemoryTest, FormatBytesFollowTheFormat)
{
    struct Case {
        CSampleFormat format;
        Bytes bytes20to35;
    };
    const Case cases[] = {
        {CSampleFormat(8000, 1, 1), Join({U16(1), U16(1), U32(8000), U32(8000), U16(1), U16(8)})},
        {CSampleFormat(96000, 2, 3), Join({U16(1), U16(2), U32(96000), U32(576000), U16(6), U16(24)})},
        {CSampleFormat(192000, 1, 4), Join({U16(1), U16(1), U32(192000), U32(768000), U16(4), U16(32)})},
        {CSampleFormat(0, 7, 9), Join({U16(1), U16(1), U32(44100), U32(88200), U16(2), U16(16)})},
    };
    int n = 0;
    for (const Case& c : cases) {
        Bytes file = ReadAll(SaveNew("f" + std::to_string(n++) + ".wav", c.format, 2, 0));
        ASSERT_EQ(file.size(), 44u);
        EXPECT_EQ(Bytes(file.begin() + 20, file.begin() + 36), c.bytes20to35) << c.format.sampleRate;
    }
}

TEST_F(WaveFileMemoryTest, OddDataSizeIsPaddedAndThePadCountsInTheRiffSize)
{
    std::string path = SaveNew("odd.wav", CSampleFormat(8000, 1, 1), 5, 3);
    Bytes file = ReadAll(path);
    ASSERT_EQ(file.size(), 48u);
    EXPECT_EQ(Bytes(file.begin() + 4, file.begin() + 8), U32(40));
    EXPECT_EQ(Bytes(file.begin() + 40, file.end()), Join({U32(3), {1, 2, 3, 0}}));
}

TEST_F(WaveFileMemoryTest, CalibrationChunkFollowsTheRiffChunkAndRoundTrips)
{
    CWaveFile wave(3, CSampleFormat(8000, 1, 1), dir.path);
    Bytes samples = {7, 8, 9};
    wave.Write(samples.data(), 3);
    wave.SetCalibration(Calibration(5));
    wave.SetFileName(dir.File("cal.wav"));
    ASSERT_EQ(wave.Save(), 1);

    Bytes file = ReadAll(dir.File("cal.wav"));
    ASSERT_EQ(file.size(), 48u + 8 + 1020);
    EXPECT_EQ(Bytes(file.begin() + 4, file.begin() + 8), U32(40)) << "the RIFF size leaves calibration out";
    EXPECT_EQ(Bytes(file.begin() + 48, file.begin() + 56), (Bytes{0x65, 0, 0, 0, 0xFC, 0x03, 0, 0}));
    EXPECT_EQ(Bytes(file.begin() + 56, file.end()), CalibrationBytes(5));

    CWaveFile loaded(dir.File("cal.wav"), WaveFileMode::MemoryMode);
    ASSERT_FALSE(loaded.IsFailed());
    EXPECT_TRUE(loaded.HasCalibration());
    EXPECT_EQ(std::memcmp(&loaded.GetCalibration(), CalibrationBytes(5).data(), 1020), 0);
    EXPECT_EQ(Bytes(loaded.GetData(), loaded.GetData() + loaded.GetByteSize()), samples);
    EXPECT_EQ(loaded.GetDataEnd(), 3u);
    EXPECT_FALSE(loaded.IsModified());
}

TEST_F(WaveFileMemoryTest, EmptyNewFileIs44BytesAndDoesNotLoad)
{
    std::string path = SaveNew("empty.wav", CSampleFormat(44100, 1, 2), 100, 0);
    Bytes file = ReadAll(path);
    ASSERT_EQ(file.size(), 44u);
    EXPECT_EQ(Bytes(file.begin() + 40, file.end()), U32(0));
    CWaveFile loaded(path, WaveFileMode::MemoryMode);
    EXPECT_TRUE(loaded.IsFailed());
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(WaveFileMemoryTest, RecordingWrittenFullSavesEveryFrame)
{
    const std::uint32_t frames = 176400;
    CWaveFile wave(frames, CSampleFormat(44100, 1, 2), dir.path);
    Bytes recording = Ramp(frames * 2);
    ASSERT_EQ(wave.Write(recording.data(), frames * 2), 1);
    wave.SetFileName(dir.File("rec.wav"));
    ASSERT_EQ(wave.Save(), 1);
    Bytes file = ReadAll(dir.File("rec.wav"));
    EXPECT_EQ(Bytes(file.begin() + 40, file.begin() + 44), U32(frames * 2));
    EXPECT_TRUE(std::equal(recording.begin(), recording.end(), file.begin() + 44));
}

TEST_F(WaveFileMemoryTest, SaveBeforeSetFileNameWritesNothing)
{
    CWaveFile wave(10, CSampleFormat(44100, 1, 2), dir.path);
    EXPECT_EQ(wave.Save(), 0);
    EXPECT_FALSE(wave.IsFailed());
    EXPECT_TRUE(dir.List().empty());
}

TEST_F(WaveFileMemoryTest, SaveReplacesALongerFileAndLeavesNoTemporaryFile)
{
    WriteAll(dir.File("old.wav"), Ramp(5000));
    SaveNew("old.wav", CSampleFormat(8000, 1, 1), 4, 4);
    EXPECT_EQ(ReadAll(dir.File("old.wav")), Riff(Join({Chunk(Text("fmt "), Fmt(1, 1, 8000, 1, 8)), Chunk(Text("data"), Ramp(4))})));
    EXPECT_EQ(dir.List(), std::vector<std::string>{"old.wav"});
}

TEST_F(WaveFileMemoryTest, SaveIntoAMissingDirectoryFailsWithTheOpenMessage)
{
    CWaveFile wave(10, CSampleFormat(44100, 1, 2), dir.path);
    wave.SetFileName(dir.File("no/such/dir.wav"));
    EXPECT_EQ(wave.Save(), 0);
    EXPECT_TRUE(wave.IsFailed());
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_FILE_OPEN_FAIL"});
}

TEST_F(WaveFileMemoryTest, LongFileNamesAreKeptWhole)
{
    std::string sub = dir.File("d");
    std::filesystem::create_directory(sub);
    // A 250-character name where the platform takes so long a path (over 255
    // characters in all), else as long a one as it takes.
    std::size_t room = LongestPath() - sub.size() - std::strlen("/.wav");
    std::string path = sub + "/" + std::string(std::min<std::size_t>(250, room), 'n') + ".wav";
    ASSERT_GT(path.size(), 200u);
    CWaveFile wave(2, CSampleFormat(8000, 1, 1), dir.path);
    wave.SetFileName(path);
    EXPECT_EQ(wave.GetFileName(), path);
    ASSERT_EQ(wave.Save(), 1);
    EXPECT_TRUE(Exists(path));

    CWaveFile refused(2, CSampleFormat(8000, 1, 1), dir.path);
    refused.SetFileName(sub + "/" + std::string(300, 'x')); // longer than any file name may be
    EXPECT_EQ(refused.Save(), 0);
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_FILE_OPEN_FAIL"});
}

// Loading hand-made files ---------------------------------------------------------

struct LoadCase {
    const char* name;
    Bytes file;
    bool loads;
    const char* message; // nullptr: none
    std::uint16_t channels = 0;
    std::int32_t rate = 0;
    std::uint16_t width = 0;
    Bytes samples = {};
    bool calibration = false;
};

const Bytes Pcm16Stereo = Chunk(Text("fmt "), Fmt(1, 2, 44100, 4, 16));
const Bytes CalibrationChunk = Chunk(U32(101), CalibrationBytes(3));

std::vector<LoadCase> LoadCases()
{
    return {
        {"plain", Riff(Join({Pcm16Stereo, Chunk(Text("data"), Ramp(8))})), true, nullptr, 2, 44100, 2, Ramp(8)},
        {"other chunks skipped",
         Riff(Join({Chunk(Text("LIST"), Ramp(7)), Pcm16Stereo, Chunk(Text("junk"), Ramp(3)), Chunk(Text("data"), Ramp(8))})),
         true, nullptr, 2, 44100, 2, Ramp(8)},
        {"data before fmt", Riff(Join({Chunk(Text("data"), Ramp(8)), Pcm16Stereo})), false, "IDS_INVALID_WAVE_FILE"},
        {"no data", Riff(Pcm16Stereo), false, "IDS_INVALID_WAVE_FILE"},
        {"no fmt", Riff(Chunk(Text("data"), Ramp(8))), false, "IDS_INVALID_WAVE_FILE"},
        {"not WAVE", Chunk(Text("RIFF"), Join({Text("AVI "), Pcm16Stereo})), false, "IDS_INVALID_WAVE_FILE"},
        {"empty file", {}, false, "IDS_INVALID_WAVE_FILE"},
        {"six channels read by width", Riff(Join({Chunk(Text("fmt "), Fmt(1, 6, 48000, 12, 16)), Chunk(Text("data"), Ramp(24))})),
         true, nullptr, 1, 48000, 2, Ramp(24)},
        {"float", Riff(Join({Chunk(Text("fmt "), Fmt(3, 1, 96000, 4, 32)), Chunk(Text("data"), Ramp(8))})), true, nullptr, 1,
         96000, 4, Ramp(8)},
        {"extensible", Riff(Join({Chunk(Text("fmt "), Join({Fmt(0xFFFE, 2, 8000, 6, 24), U16(22), Ramp(22)})),
                                  Chunk(Text("data"), Ramp(12))})),
         true, nullptr, 2, 8000, 3, Ramp(12)},
        {"rate 0 repaired", Riff(Join({Chunk(Text("fmt "), Fmt(1, 1, 0, 1, 8)), Chunk(Text("data"), Ramp(3))})), true, nullptr, 1,
         44100, 1, Ramp(3)},
        {"partial last frame dropped", Riff(Join({Pcm16Stereo, Chunk(Text("data"), Ramp(10))})), true, nullptr, 2, 44100, 2,
         Ramp(8)},
        {"fmt shorter than 14", Riff(Join({Chunk(Text("fmt "), Ramp(12)), Chunk(Text("data"), Ramp(8))})), false,
         "IDS_INVALID_WAVE_FILE"},
        {"no channels", Riff(Join({Chunk(Text("fmt "), Fmt(1, 0, 8000, 2, 16)), Chunk(Text("data"), Ramp(8))})), false,
         "IDS_INVALID_WAVE_FILE"},
        {"no block align", Riff(Join({Chunk(Text("fmt "), Fmt(1, 2, 8000, 0, 16)), Chunk(Text("data"), Ramp(8))})), false,
         "IDS_INVALID_WAVE_FILE"},
        {"fmt runs past the file", Join({Text("RIFF"), U32(100), Text("WAVE"), Text("fmt "), U32(1000), Fmt(1, 1, 8000, 2, 16)}),
         false, nullptr},
        {"data size 0", Riff(Join({Pcm16Stereo, Chunk(Text("data"), {})})), false, nullptr},
        {"truncated data", Join({Text("RIFF"), U32(2000), Text("WAVE"), Pcm16Stereo, Text("data"), U32(800), Ramp(100)}), false,
         nullptr},
        {"huge data size", Riff(Join({Pcm16Stereo, ChunkStated(Text("data"), 0xFFFFFFF0, Ramp(8))})), false, nullptr},
        {"calibration after", Join({Riff(Join({Pcm16Stereo, Chunk(Text("data"), Ramp(8))})), CalibrationChunk}), true, nullptr, 2,
         44100, 2, Ramp(8), true},
        {"calibration before", Join({CalibrationChunk, Riff(Join({Pcm16Stereo, Chunk(Text("data"), Ramp(8))}))}), true, nullptr, 2,
         44100, 2, Ramp(8), true},
        {"calibration inside is ignored", Riff(Join({CalibrationChunk, Pcm16Stereo, Chunk(Text("data"), Ramp(8))})), true, nullptr, 2,
         44100, 2, Ramp(8), false},
        {"calibration of another stated size", Join({Riff(Join({Pcm16Stereo, Chunk(Text("data"), Ramp(8))})), U32(101), U32(4),
                                                     CalibrationBytes(3)}),
         true, nullptr, 2, 44100, 2, Ramp(8), true},
        {"short calibration", Join({Riff(Join({Pcm16Stereo, Chunk(Text("data"), Ramp(8))})), U32(101), U32(1020), Ramp(500)}), true,
         nullptr, 2, 44100, 2, Ramp(8), false},
    };
}

TEST_F(WaveFileMemoryTest, LoadsHandMadeFilesByTheRules)
{
    // The same files seed the fuzz targets: TALLOWMERE_SEED_DIR=fuzz/seeds/fuzz_wave_load
    const char* seeds = std::getenv("TALLOWMERE_SEED_DIR");
    for (const LoadCase& c : LoadCases()) {
        SCOPED_TRACE(c.name);
        if (seeds != nullptr) {
            std::string seed = std::string(seeds) + "/" + c.name;
            std::replace(seed.begin() + static_cast<std::ptrdiff_t>(std::strlen(seeds)), seed.end(), ' ', '-');
            WriteAll(seed + ".wav", c.file);
        }
        services.fake.messages.clear();
        std::string path = dir.File("in.wav");
        WriteAll(path, c.file);
        CWaveFile wave(path, WaveFileMode::MemoryMode, false, dir.path);
        EXPECT_EQ(wave.IsFailed(), !c.loads);
        if (c.message) {
            EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{c.message});
        } else {
            EXPECT_TRUE(services.fake.messages.empty());
        }
        EXPECT_EQ(wave.HasCalibration(), c.calibration);
        if (c.calibration) {
            EXPECT_EQ(std::memcmp(&wave.GetCalibration(), CalibrationBytes(3).data(), 1020), 0);
        }
        if (!c.loads) {
            EXPECT_EQ(wave.GetFrameCount(), 0u);
            EXPECT_EQ(wave.GetByteSize(), 0u);
            continue;
        }
        CSampleFormat f = wave.GetFormat();
        EXPECT_EQ(f.channels, c.channels);
        EXPECT_EQ(f.sampleRate, c.rate);
        EXPECT_EQ(f.bytesPerSample, c.width);
        EXPECT_EQ(Bytes(wave.GetData(), wave.GetData() + wave.GetByteSize()), c.samples);
        EXPECT_EQ(wave.GetDataEnd(), wave.GetFrameCount());
        EXPECT_EQ(wave.GetPosition(), 0u);
        EXPECT_FALSE(wave.IsModified());
    }
}

TEST_F(WaveFileMemoryTest, MissingFileAndExhaustedMemoryAreReported)
{
    CWaveFile missing(dir.File("missing.wav"), WaveFileMode::MemoryMode);
    EXPECT_TRUE(missing.IsFailed());
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_FILE_OPEN_FAIL"});

    services.fake.messages.clear();
    WriteAll(dir.File("big.wav"), Riff(Join({Pcm16Stereo, Chunk(Text("data"), Ramp(4000))})));
    std::size_t limit = CZeroBlock::Limit();
    CZeroBlock::SetLimit(1000);
    CWaveFile big(dir.File("big.wav"), WaveFileMode::MemoryMode);
    CZeroBlock::SetLimit(limit);
    EXPECT_TRUE(big.IsFailed());
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_WAVE_DATA_MEMORY"});
    EXPECT_EQ(big.GetData(), nullptr);
    EXPECT_EQ(big.GetFrameCount(), 0u);
}

TEST_F(WaveFileMemoryTest, LoadedFileSavesBackUnderANewName)
{
    Bytes original = Join({Riff(Join({Chunk(Text("LIST"), Ramp(6)), Pcm16Stereo, Chunk(Text("data"), Ramp(16))})), CalibrationChunk});
    WriteAll(dir.File("in.wav"), original);
    CWaveFile wave(dir.File("in.wav"), WaveFileMode::MemoryMode);
    ASSERT_FALSE(wave.IsFailed());
    EXPECT_EQ(wave.Save(), 1) << "saves back under its own name";
    wave.SetFileName(dir.File("out.wav"));
    ASSERT_EQ(wave.Save(), 1);
    Bytes expected = Join({Riff(Join({Pcm16Stereo, Chunk(Text("data"), Ramp(16))})), CalibrationChunk});
    EXPECT_EQ(ReadAll(dir.File("out.wav")), expected) << "only fmt, data and calibration are written";
    EXPECT_EQ(ReadAll(dir.File("in.wav")), expected);
}

TEST_F(WaveFileMemoryTest, MemoryModeIgnoresFileOperations)
{
    CWaveFile wave(4, CSampleFormat(8000, 1, 1), dir.path);
    std::uint8_t byte = 1;
    EXPECT_EQ(wave.StreamWrite(&byte, 1), 0);
    EXPECT_EQ(wave.StreamRead(&byte, 1), 0u);
    EXPECT_EQ(wave.OpenWorkFile(), 0);
    EXPECT_EQ(wave.CreateWorkFile(), 0);
    EXPECT_EQ(wave.SetPosition(3), 3u);
    EXPECT_FALSE(wave.IsFailed());
    EXPECT_TRUE(dir.List().empty());
}

} // namespace
