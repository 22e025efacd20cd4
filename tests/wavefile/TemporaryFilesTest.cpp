// SPDX-License-Identifier: GPL-3.0-or-later
// A process killed in the middle of a save leaves no temporary file: the
// catchable signals through the registry the handlers empty, SIGKILL because
// the file being written has no name until it is complete.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "WaveTestFiles.h"
#include "support/FakeServices.h"
#include "wavefile/FileSystem.h"
#include "wavefile/TemporaryFiles.h"
#include "wavefile/WaveFile.h"

namespace {

// The platform's file system, except that the write that passes `pauseAfter`
// bytes tells the parent through a pipe and then waits to be killed.
class CPausingFileSystem final : public IFileSystem {
public:
    CPausingFileSystem(int notify, bool anonymous) : notifyFd(notify), allowAnonymous(anonymous) {}

    class CFile final : public IFile {
    public:
        CFile(std::unique_ptr<IFile> wrapped, CPausingFileSystem& owner) : inner(std::move(wrapped)), fs(owner) {}
        std::int64_t ReadAt(void* d, std::size_t n, std::int64_t at) override { return inner->ReadAt(d, n, at); }
        int WriteAt(const void* s, std::size_t n, std::int64_t at) override
        {
            fs.written += n;
            if (fs.written > PauseAfter) {
                const char ready = 'r';
                (void)!::write(fs.notifyFd, &ready, 1);
                for (;;)
                    ::pause();
            }
            return inner->WriteAt(s, n, at);
        }
        std::int64_t Size() override { return inner->Size(); }
        int Truncate(std::int64_t bytes) override { return inner->Truncate(bytes); }
        int Reserve(std::int64_t bytes) override { return inner->Reserve(bytes); }
        int Sync() override { return inner->Sync(); }
        int Close() override { return inner->Close(); }
        FileKind Kind() const override { return inner->Kind(); }
        std::unique_ptr<IFile> inner;
        CPausingFileSystem& fs;
    };

    int Open(const std::string& name, FileAccess access, std::unique_ptr<IFile>& file) override
    {
        return Wrap(real.Open(name, access, file), file);
    }
    int Inspect(const std::string& name, FileInfo& info) override { return real.Inspect(name, info); }
    int ResolveTarget(const std::string& name, std::string& target, std::string& refusal) override
    {
        return real.ResolveTarget(name, target, refusal);
    }
    int Rename(const std::string& from, const std::string& to) override { return real.Rename(from, to); }
    int Remove(const std::string& name) override { return real.Remove(name); }
    int CreateTemporary(const std::string& directory, const std::string& prefix, std::string& name,
                        std::unique_ptr<IFile>& file) override
    {
        return Wrap(real.CreateTemporary(directory, prefix, name, file), file);
    }
    int CreateAnonymous(const std::string& directory, std::unique_ptr<IFile>& file) override
    {
        return allowAnonymous ? Wrap(real.CreateAnonymous(directory, file), file) : EOPNOTSUPP;
    }
    int LinkAnonymous(IFile& file, const std::string& name) override
    {
        return real.LinkAnonymous(*static_cast<CFile&>(file).inner, name);
    }
    int Adopt(IFile& file, const FileInfo& like) override { return real.Adopt(*static_cast<CFile&>(file).inner, like); }
    std::string TemporaryDirectory() override { return real.TemporaryDirectory(); }
    std::string DirectoryOf(const std::string& path) override { return real.DirectoryOf(path); }

private:
    static constexpr std::size_t PauseAfter = 100000;
    int Wrap(int error, std::unique_ptr<IFile>& file)
    {
        if (error == 0)
            file = std::make_unique<CFile>(std::move(file), *this);
        return error;
    }
    IFileSystem& real = PlatformFileSystem();
    int notifyFd;
    bool allowAnonymous;
    std::size_t written = 0;
};

void RemoveAndDie(int signal)
{
    RemoveTemporaryFilesNow();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void SaveLargeRecording(const std::string& path, const std::string&)
{
    CWaveFile wave(500000, CSampleFormat(44100, 1, 2), {});
    Bytes samples = Ramp(1000000);
    wave.Write(samples.data(), 1000000);
    wave.SetFileName(path);
    wave.Save();
}

void StreamNewFile(const std::string&, const std::string& directory)
{
    CWaveFile wave(CSampleFormat(44100, 1, 2), false, directory);
    Bytes samples = Ramp(60000);
    for (int i = 0; i < 10; ++i)
        wave.Write(samples.data(), 60000);
}

struct Kill {
    const char* name;
    int signal;
    bool anonymous;
    void (*work)(const std::string& path, const std::string& directory);
    std::size_t entriesWhilePaused; // what the directory shows mid-save
};

TEST(TemporaryFilesTest, NoTemporaryFileSurvivesAKilledSave)
{
    const Kill kills[] = {
        {"SIGTERM, named temporary file", SIGTERM, false, SaveLargeRecording, 2},
        {"SIGHUP, named temporary file", SIGHUP, false, SaveLargeRecording, 2},
        {"SIGINT, named temporary file", SIGINT, false, SaveLargeRecording, 2},
        {"SIGTERM, file without a name", SIGTERM, true, SaveLargeRecording, 1},
        {"SIGKILL, file without a name", SIGKILL, true, SaveLargeRecording, 1},
        {"SIGTERM, file-mode working file", SIGTERM, true, StreamNewFile, 2},
    };
    const Bytes old = Ramp(300, 3);
    for (const Kill& kill : kills) {
        SCOPED_TRACE(kill.name);
        CScratchDir dir;
        WriteAll(dir.File("take.wav"), old);
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            for (int signal : {SIGTERM, SIGHUP, SIGINT})
                std::signal(signal, RemoveAndDie);
            CFakeServicesScope services;
            CPausingFileSystem pausing(pipeFds[1], kill.anonymous);
            SetFileSystem(&pausing);
            kill.work(dir.File("take.wav"), dir.path);
            ::_exit(3); // the pause never came
        }
        ::close(pipeFds[1]);
        pollfd ready{pipeFds[0], POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 120000), 1) << "the child never reached the middle of its save";
        char byte = 0;
        EXPECT_EQ(::read(pipeFds[0], &byte, 1), 1);
        ::close(pipeFds[0]);
        EXPECT_EQ(dir.List().size(), kill.entriesWhilePaused);
        ASSERT_EQ(::kill(child, kill.signal), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == kill.signal);
        EXPECT_EQ(dir.List(), std::vector<std::string>{"take.wav"});
        EXPECT_EQ(ReadAll(dir.File("take.wav")), old);
    }
}

} // namespace
