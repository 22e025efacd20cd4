// SPDX-License-Identifier: GPL-3.0-or-later
// Every way a save or a load can fail: the result, the message the user
// sees, and the reason recorded for the command line; and after a failed
// save the old file is still there and no temporary file is left.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "support/FakeServices.h"
#include "wavefile/MemoryFileSystem.h"
#include "wavefile/WaveFile.h"
#include "wavefile/WaveFileFailure.h"

namespace {

const Bytes OldFile = Ramp(300, 7);

// Saves 4000 frames of 16-bit mono to `path`; the result.
int SaveRamp(const std::string& path, const std::string& tempDirectory)
{
    CWaveFile wave(4000, CSampleFormat(44100, 1, 2), tempDirectory);
    Bytes samples = Ramp(8000);
    wave.Write(samples.data(), 8000);
    wave.SetFileName(path);
    int result = wave.Save();
    EXPECT_EQ(result == 0, wave.IsFailed()) << path;
    return result;
}

struct SaveFault {
    const char* name;
    std::function<void(CMemoryFileSystem::Faults&)> set;
    const char* message;
    WaveFileReason reason;
    int error;
};

TEST(WaveFileFailureTest, EveryFailedMemorySaveIsReportedAndCostsNothing)
{
    const SaveFault faults[] = {
        {"new file refused", [](auto& f) { f.openError = EACCES; }, "IDS_FILE_OPEN_FAIL",
         WaveFileReason::AccessDenied, EACCES},
        {"write fails in the header", [](auto& f) { f.writeBudget = 10; f.writeError = EIO; },
         "IDS_FAILURE_WRITING_WAVE_FILE", WaveFileReason::IoError, EIO},
        {"disk fills in the samples", [](auto& f) { f.writeBudget = 5000; f.writeError = ENOSPC; },
         "IDS_FAILURE_WRITING_WAVE_FILE", WaveFileReason::NoSpace, ENOSPC},
        {"quota reached at the last byte", [](auto& f) { f.writeBudget = 8041; f.writeError = EDQUOT; },
         "IDS_FAILURE_WRITING_WAVE_FILE", WaveFileReason::NoSpace, EDQUOT},
        {"sync fails", [](auto& f) { f.syncError = EIO; }, "IDS_FAILURE_WRITING_WAVE_FILE",
         WaveFileReason::IoError, EIO},
        {"close fails", [](auto& f) { f.closeError = EIO; }, "IDS_FAILURE_WRITING_WAVE_FILE",
         WaveFileReason::IoError, EIO},
        {"rename refused", [](auto& f) { f.renameError = ENAMETOOLONG; }, "IDS_FILE_OPEN_FAIL",
         WaveFileReason::IoError, ENAMETOOLONG},
    };
    for (bool anonymous : {true, false}) {
        for (const SaveFault& fault : faults) {
            SCOPED_TRACE(std::string(fault.name) + (anonymous ? ", file without a name" : ", named temporary file"));
            CFakeServicesScope services;
            CMemoryFileSystemScope memory;
            memory.fs.Put("/m/take.wav", OldFile);
            memory.fs.faults.anonymous = anonymous;
            fault.set(memory.fs.faults);

            EXPECT_EQ(SaveRamp("/m/take.wav", "/m"), 0);
            EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{fault.message});
            EXPECT_EQ(LastWaveFileFailure().reason, fault.reason);
            EXPECT_EQ(LastWaveFileFailure().error, fault.error);
            EXPECT_EQ(LastWaveFileFailure().path, "/m/take.wav");
            EXPECT_FALSE(DescribeWaveFileFailure(LastWaveFileFailure()).empty());
            EXPECT_EQ(memory.fs.Get("/m/take.wav"), OldFile);
            EXPECT_EQ(memory.fs.Names(), std::vector<std::string>{"/m/take.wav"}) << "no temporary file left";
        }
    }
}

TEST(WaveFileFailureTest, SuccessfulSaveRecordsNothing)
{
    CFakeServicesScope services;
    CMemoryFileSystemScope memory;
    RecordWaveFileFailure(WaveFileReason::IoError, "earlier", "x");
    EXPECT_EQ(SaveRamp("/m/take.wav", "/m"), 1);
    EXPECT_EQ(LastWaveFileFailure().reason, WaveFileReason::None);
    EXPECT_TRUE(services.fake.messages.empty());
    ASSERT_TRUE(memory.fs.Get("/m/take.wav").has_value());
    EXPECT_EQ(memory.fs.Get("/m/take.wav")->size(), 44u + 8000u);
}

TEST(WaveFileFailureTest, EveryFailedLoadSaysWhy)
{
    CScratchDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("folder.wav")));
    const Bytes fmt = Chunk(Text("fmt "), Fmt(1, 1, 8000, 2, 16));
    WriteAll(dir.File("text.wav"), Ramp(100));
    WriteAll(dir.File("nofmt.wav"), Riff(Chunk(Text("data"), Ramp(8))));
    WriteAll(dir.File("nodata.wav"), Riff(fmt));
    WriteAll(dir.File("empty.wav"), Riff(Join({fmt, Chunk(Text("data"), {})})));
    Bytes cut = Riff(Join({fmt, ChunkStated(Text("data"), 1000, Ramp(10))}));
    WriteAll(dir.File("short.wav"), cut);
    struct Case {
        const char* name;
        const char* message; // none when empty
        WaveFileReason reason;
    };
    const Case cases[] = {
        {"missing.wav", "IDS_FILE_OPEN_FAIL", WaveFileReason::NotFound},
        {"folder.wav", "IDS_FILE_OPEN_FAIL", WaveFileReason::NotRegular},
        {"text.wav", "IDS_INVALID_WAVE_FILE", WaveFileReason::NotWave},
        {"nofmt.wav", "IDS_INVALID_WAVE_FILE", WaveFileReason::NotWave},
        {"nodata.wav", "IDS_INVALID_WAVE_FILE", WaveFileReason::NotWave},
        {"empty.wav", "", WaveFileReason::NotWave},
    };
    for (WaveFileMode mode : {WaveFileMode::MemoryMode, WaveFileMode::FileMode}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (mode == WaveFileMode::FileMode ? " in file mode" : " in memory mode"));
            CFakeServicesScope services;
            CWaveFile wave(dir.File(c.name), mode, false, dir.path);
            EXPECT_TRUE(wave.IsFailed());
            std::vector<std::string> expected;
            if (*c.message != '\0')
                expected.push_back(c.message);
            EXPECT_EQ(services.fake.MessageTexts(), expected);
            EXPECT_EQ(LastWaveFileFailure().reason, c.reason);
        }
    }
    CFakeServicesScope services;
    CWaveFile wave(dir.File("short.wav"), WaveFileMode::MemoryMode, false, dir.path);
    EXPECT_TRUE(wave.IsFailed());
    EXPECT_TRUE(services.fake.messages.empty());
    EXPECT_EQ(LastWaveFileFailure().reason, WaveFileReason::Truncated);
}

TEST(WaveFileFailureTest, FilesParseFromMemoryAndStreamWritesFailThroughTheSeam)
{
    CFakeServicesScope services;
    CMemoryFileSystemScope memory;
    const Bytes fmt = Chunk(Text("fmt "), Fmt(1, 1, 8000, 1, 8));
    memory.fs.Put("/m/in.wav", Riff(Join({fmt, Chunk(Text("data"), Ramp(64))})));
    {
        CWaveFile loaded("/m/in.wav", WaveFileMode::MemoryMode, false, "/m");
        ASSERT_FALSE(loaded.IsFailed());
        EXPECT_EQ(Bytes(loaded.GetData(), loaded.GetData() + loaded.GetByteSize()), Ramp(64));
    }
    CWaveFile wave("/m/in.wav", WaveFileMode::FileMode, false, "/m");
    ASSERT_FALSE(wave.IsFailed());
    memory.fs.faults.writeBudget = memory.fs.written + 100;
    memory.fs.faults.writeError = EIO;
    Bytes more = Ramp(100000);
    wave.SetPosition(64);
    EXPECT_EQ(wave.Write(more.data(), 100000), 0);
    EXPECT_TRUE(wave.IsFailed());
    EXPECT_TRUE(services.fake.messages.empty()) << "a failed stream write shows nothing";
    EXPECT_EQ(LastWaveFileFailure().reason, WaveFileReason::IoError);
    EXPECT_EQ(LastWaveFileFailure().operation, "write");
}

} // namespace
