// SPDX-License-Identifier: GPL-3.0-or-later
// The wave files on what only a POSIX system gives a test: permission bits
// and the umask, a file-size limit that cuts writes short as a full disk
// would, FIFOs and devices as targets, and a file system that fills up.
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "support/FakeServices.h"
#include "wavefile/WaveFile.h"
#include "wavefile/WaveFileFailure.h"

namespace {

const Bytes OldFile = Ramp(300, 7);
const Bytes Mono8 = Chunk(Text("fmt "), Fmt(1, 1, 8000, 1, 8));

// Writes beyond `bytes` in any file fail with EFBIG while this lives.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = bytes;
        applied = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~CFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, oldHandler);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;
    bool applied = false;

private:
    struct rlimit saved {};
    void (*oldHandler)(int) = SIG_DFL;
};

// A test whose fault would hang for ever ends the test program instead.
class CAlarm {
public:
    explicit CAlarm(unsigned seconds) { ::alarm(seconds); }
    ~CAlarm() { ::alarm(0); }
};

std::uint32_t Mode(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

class WaveFilePosixTest : public ::testing::Test {
protected:
    // Saves `frames` frames of 8-bit mono, all written, as a new in-memory file.
    int SaveRamp(const std::string& path, std::uint32_t frames)
    {
        CWaveFile wave(frames, CSampleFormat(8000, 1, 1), dir.path);
        Bytes samples = Ramp(frames);
        wave.Write(samples.data(), frames);
        wave.SetFileName(path);
        int result = wave.Save();
        EXPECT_EQ(result == 0, wave.IsFailed()) << path;
        return result;
    }

    CFakeServicesScope services;
    CScratchDir dir;
};

TEST_F(WaveFilePosixTest, SaveReplacesALongerFileKeepingItsPermissions)
{
    WriteAll(dir.File("old.wav"), Ramp(5000));
    ::chmod(dir.File("old.wav").c_str(), 0640);
    ASSERT_EQ(SaveRamp(dir.File("old.wav"), 4), 1);
    EXPECT_EQ(ReadAll(dir.File("old.wav")).size(), 48u);
    EXPECT_EQ(Mode(dir.File("old.wav")), 0640u);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"old.wav"}) << "no temporary file left";
}

TEST_F(WaveFilePosixTest, NewFileGetsThePermissionsTheUmaskAllows)
{
    mode_t saved = ::umask(027);
    int result = SaveRamp(dir.File("new.wav"), 4);
    ::umask(saved);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(Mode(dir.File("new.wav")), 0640u) << "not the temporary file's private 0600";
}

TEST_F(WaveFilePosixTest, FailedWriteLeavesTheExistingFileAsItWas)
{
    WriteAll(dir.File("keep.wav"), OldFile);
    int result = 0;
    {
        CFileSizeLimit limit(1000);
        ASSERT_TRUE(limit.applied);
        result = SaveRamp(dir.File("keep.wav"), 8000);
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_FAILURE_WRITING_WAVE_FILE"})
        << "the user is told that the write failed";
    EXPECT_EQ(LastWaveFileFailure().reason, WaveFileReason::NoSpace);
    EXPECT_EQ(ReadAll(dir.File("keep.wav")), OldFile);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"keep.wav"});
}

TEST_F(WaveFilePosixTest, FailedGrowingWriteLeavesTheFileDescribingWhatItHolds)
{
    WriteAll(dir.File("f.wav"), Join({Riff(Join({Mono8, Chunk(Text("data"), Ramp(5))})), Chunk(U32(101), CalibrationBytes(9))}));
    Bytes first = Ramp(1000, 50);
    Bytes second = Ramp(20000, 90);
    {
        CWaveFile wave(dir.File("f.wav"), WaveFileMode::FileMode, false, dir.path);
        ASSERT_FALSE(wave.IsFailed());
        wave.SetPosition(5);
        ASSERT_EQ(wave.Write(first.data(), 1000), 1);
        int result = 1;
        {
            CFileSizeLimit limit(4096);
            ASSERT_TRUE(limit.applied);
            result = wave.Write(second.data(), 20000);
        }
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(wave.IsFailed());
        EXPECT_TRUE(services.fake.messages.empty()) << "a failed stream write shows nothing";
    }
    EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_FAILURE_WRITING_WAVE_FILE"})
        << "closing a file that missed a write reports it";
    // The header counts the samples written before the failure; what the
    // failed write left lies after the RIFF chunk.
    Bytes file = ReadAll(dir.File("f.wav"));
    Bytes expected = Riff(Join({Mono8, Chunk(Text("data"), Join({Ramp(5), first}))}));
    ASSERT_GE(file.size(), expected.size());
    EXPECT_EQ(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
    CWaveFile loaded(dir.File("f.wav"), WaveFileMode::MemoryMode, false, dir.path);
    ASSERT_FALSE(loaded.IsFailed());
    EXPECT_EQ(Bytes(loaded.GetData(), loaded.GetData() + loaded.GetByteSize()), Join({Ramp(5), first}));
}

TEST_F(WaveFilePosixTest, TargetsThatAreNoFilesFailAtOnce)
{
    ASSERT_EQ(::mkfifo(dir.File("fifo.wav").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.File("folder.wav").c_str(), 0700), 0);
    struct Case {
        std::string path;
        const char* message;
        WaveFileReason reason;
    };
    const Case cases[] = {
        {"/dev/full", "IDS_FAILURE_WRITING_WAVE_FILE", WaveFileReason::NoSpace},
        {dir.File("fifo.wav"), "IDS_FILE_OPEN_FAIL", WaveFileReason::NotRegular},
        {dir.File("folder.wav"), "IDS_FILE_OPEN_FAIL", WaveFileReason::NotRegular},
        {dir.File("missing/take.wav"), "IDS_FILE_OPEN_FAIL", WaveFileReason::NotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        services.fake.messages.clear();
        CAlarm guard(120);
        EXPECT_EQ(SaveRamp(c.path, 4000), 0);
        EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(LastWaveFileFailure().reason, c.reason);
    }
    // A FIFO is never opened to be read either: that would wait for a writer.
    for (WaveFileMode mode : {WaveFileMode::MemoryMode, WaveFileMode::FileMode}) {
        SCOPED_TRACE(mode == WaveFileMode::FileMode ? "loading a FIFO in file mode" : "loading a FIFO in memory mode");
        services.fake.messages.clear();
        CAlarm guard(120);
        CWaveFile wave(dir.File("fifo.wav"), mode, false, dir.path);
        EXPECT_TRUE(wave.IsFailed());
        EXPECT_EQ(services.fake.MessageTexts(), std::vector<std::string>{"IDS_FILE_OPEN_FAIL"});
        EXPECT_EQ(LastWaveFileFailure().reason, WaveFileReason::NotRegular);
    }
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"fifo.wav", "folder.wav"})) << "nothing left beside them";
    services.fake.messages.clear();
    EXPECT_EQ(SaveRamp("/dev/null", 4000), 1) << "a device that takes everything is written in place";
}

// A 128 KiB file system, mounted in a private mount namespace of a child
// process (root only), so a failing test cannot leave it mounted.
TEST(WaveFilePosixFullTest, FullFileSystemFailsTheSaveAndKeepsTheOldFile)
{
    CScratchDir dir;
    std::string small = dir.File("small");
    ASSERT_EQ(::mkdir(small.c_str(), 0700), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=128k") != 0)
            ::_exit(77);
        CFakeServicesScope services;
        WriteAll(small + "/take.wav", OldFile);
        CWaveFile wave(200000, CSampleFormat(44100, 1, 2), small);
        Bytes samples = Ramp(400000);
        wave.Write(samples.data(), 400000);
        wave.SetFileName(small + "/take.wav");
        int failures = 0;
        failures += wave.Save() != 0;
        failures += services.fake.MessageTexts() != std::vector<std::string>{"IDS_FAILURE_WRITING_WAVE_FILE"};
        failures += LastWaveFileFailure().reason != WaveFileReason::NoSpace;
        failures += ReadAll(small + "/take.wav") != OldFile;
        int entries = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(small))
            ++entries;
        failures += entries != 1;
        ::_exit(failures);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no private tmpfs here (needs root)";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "checks that failed in the child";
}

} // namespace
