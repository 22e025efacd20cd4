// SPDX-License-Identifier: GPL-3.0-or-later
// The termination handlers both programs install, in a child process that
// holds a registered temporary file the way a save in progress does.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ui/TerminationSignals.h"
#include "wavefile/TemporaryFiles.h"

namespace {

namespace fs = std::filesystem;

struct Child {
    pid_t pid = -1;
    int ready = -1;  // read end: one byte once the handlers are in place
    int report = -1; // the same pipe: then what the clean-up said
};

int reportFd = -1;

// The front end's part of the clean-up: says it ran, and which of the other
// signals were blocked while it did.
void ReportCleanUp()
{
    sigset_t blocked;
    sigprocmask(SIG_BLOCK, nullptr, &blocked);
    const char report[] = {'c', sigismember(&blocked, SIGHUP) ? 'H' : '-', sigismember(&blocked, SIGINT) ? 'I' : '-',
                           sigismember(&blocked, SIGTERM) ? 'T' : '-'};
    [[maybe_unused]] auto written = write(reportFd, report, sizeof report);
}

// The child ignores SIGHUP first when asked (as under nohup), installs the
// handlers as the desktop program does, registers `path`, says it is ready
// and waits to be signalled.
Child StartChild(const fs::path& path, bool ignoreHangUp)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    pid_t pid = fork();
    if (pid == 0) {
        close(pipeEnds[0]);
        if (ignoreHangUp)
            signal(SIGHUP, SIG_IGN);
        reportFd = pipeEnds[1];
        SetTerminationCleanUp(ReportCleanUp);
        bool installed = InstallTerminationHandlers({{SIGTERM, EndOnTerminationSignal},
                                                     {SIGHUP, EndOnTerminationSignal},
                                                     {SIGINT, EndOnTerminationSignal}});
        RegisterTemporaryFile(path.string());
        char ok = installed ? '1' : '0';
        if (write(pipeEnds[1], &ok, 1) != 1)
            _exit(3);
        for (;;)
            pause();
    }
    close(pipeEnds[1]);
    return {pid, pipeEnds[0], pipeEnds[0]};
}

bool ChildReady(const Child& child)
{
    char ok = 0;
    return read(child.ready, &ok, 1) == 1 && ok == '1';
}

// The child's wait status, or -1 when it is still alive after `seconds`.
int WaitForChild(pid_t pid, int seconds)
{
    for (int tries = 0; tries < seconds * 100; ++tries) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return status;
        usleep(10000);
    }
    return -1;
}

class TerminationSignalsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        directory = fs::temp_directory_path() / ("tallowmere-signals-" + std::to_string(getpid()));
        fs::create_directories(directory);
        temporary = directory / "take.wav3f9a";
        std::ofstream(temporary) << "part of a recording";
    }
    void TearDown() override { fs::remove_all(directory); }

    fs::path directory;
    fs::path temporary;
};

} // namespace

TEST_F(TerminationSignalsTest, TheSignalRemovesTheTemporaryFileAndStillEndsTheProcess)
{
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        std::ofstream(temporary) << "part of a recording";
        Child child = StartChild(temporary, false);
        ASSERT_GT(child.pid, 0);
        ASSERT_TRUE(ChildReady(child));
        kill(child.pid, sig);
        int status = WaitForChild(child.pid, 30);
        if (status == -1) {
            kill(child.pid, SIGKILL);
            waitpid(child.pid, nullptr, 0);
            FAIL() << "the child outlived the signal";
        }
        EXPECT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_FALSE(fs::exists(temporary));
        // The front end's part ran once, with every listed signal blocked.
        char report[9] = {};
        EXPECT_EQ(read(child.report, report, sizeof report - 1), 4);
        EXPECT_STREQ(report, "cHIT");
        close(child.report);
    }
}

TEST_F(TerminationSignalsTest, AHangUpIgnoredAtStartStaysIgnored)
{
    Child child = StartChild(temporary, true);
    ASSERT_GT(child.pid, 0);
    ASSERT_TRUE(ChildReady(child));
    kill(child.pid, SIGHUP);
    EXPECT_EQ(WaitForChild(child.pid, 1), -1);
    EXPECT_TRUE(fs::exists(temporary));

    kill(child.pid, SIGTERM);
    int status = WaitForChild(child.pid, 30);
    if (status == -1) {
        kill(child.pid, SIGKILL);
        waitpid(child.pid, nullptr, 0);
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_FALSE(fs::exists(temporary));
    close(child.ready);
}
