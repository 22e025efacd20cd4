// SPDX-License-Identifier: GPL-3.0-or-later
// The signals that end tallowmere-cli take a save's temporary files with
// them, whichever of them ends it; each case runs in a child process.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <fstream>

#include "cli/Interrupts.h"
#include "wavefile/TemporaryFiles.h"

namespace {

namespace fs = std::filesystem;

// Registers a file as a save's temporary one and delivers the signals.
void DieWithTemporaryFile(const std::string& path, std::initializer_list<int> signals)
{
    static CInterrupts interrupts;
    InstallInterruptHandlers(interrupts);
    std::ofstream(path) << "half a recording";
    RegisterTemporaryFile(path);
    for (int signalNumber : signals)
        std::raise(signalNumber);
    // Still alive: the signals did not end the process.
    std::_Exit(0);
}

} // namespace

TEST(SignalsDeathTest, EndingSignalsRemoveTemporaryFiles)
{
    struct Row {
        const char* name;
        std::initializer_list<int> signals;
        std::function<bool(int)> ended;
    };
    const Row rows[] = {
        {"SIGTERM", {SIGTERM}, testing::KilledBySignal(SIGTERM)},
        {"SIGHUP", {SIGHUP}, testing::KilledBySignal(SIGHUP)},
        {"SIGQUIT", {SIGQUIT}, testing::KilledBySignal(SIGQUIT)},
        {"SIGPIPE", {SIGPIPE}, testing::KilledBySignal(SIGPIPE)},
        {"Ctrl-C twice", {SIGINT, SIGINT}, testing::ExitedWithCode(130)},
    };
    const fs::path directory = fs::temp_directory_path();
    for (const Row& row : rows) {
        const std::string path =
            (directory / ("tallowmere-signal-" + std::to_string(getpid()) + "-" + row.name + ".wav")).string();
        EXPECT_EXIT(DieWithTemporaryFile(path, row.signals), row.ended, "") << row.name;
        EXPECT_FALSE(fs::exists(path)) << row.name;
        std::error_code ignored;
        fs::remove(path, ignored);
    }
}

// nohup's SIGHUP, or a script's background job's SIGINT, was ignored before
// the program started: it stays ignored.
TEST(SignalsDeathTest, SignalsIgnoredAtStartStayIgnored)
{
    const std::string path =
        (fs::temp_directory_path() / ("tallowmere-signal-ignored-" + std::to_string(getpid()))).string();
    auto ignoredThenRaised = [&path] {
        std::signal(SIGHUP, SIG_IGN);
        std::signal(SIGINT, SIG_IGN);
        DieWithTemporaryFile(path, {SIGHUP, SIGINT, SIGINT});
    };
    EXPECT_EXIT(ignoredThenRaised(), testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::exists(path));
    std::error_code ignored;
    fs::remove(path, ignored);
}

// One Ctrl-C only cancels: the program lives on and keeps its files.
TEST(SignalsDeathTest, OneCtrlCKeepsTheFiles)
{
    const std::string path =
        (fs::temp_directory_path() / ("tallowmere-signal-once-" + std::to_string(getpid()))).string();
    EXPECT_EXIT(DieWithTemporaryFile(path, {SIGINT}), testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::exists(path));
    std::error_code ignored;
    fs::remove(path, ignored);
}

// While one ending signal is handled the others wait, so the files are
// removed and the terminal put back once, and the first signal decides how
// the program ends.
TEST(SignalsDeathTest, EachHandlerHoldsOffTheOthers)
{
    auto checkMasks = [] {
        static CInterrupts interrupts;
        InstallInterruptHandlers(interrupts);
        const int ending[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT};
        for (int handled : ending) {
            struct sigaction current {};
            if (sigaction(handled, nullptr, &current) != 0)
                std::_Exit(3);
            for (int other : ending)
                if (!sigismember(&current.sa_mask, other))
                    std::_Exit(4);
        }
        std::_Exit(0);
    };
    EXPECT_EXIT(checkMasks(), testing::ExitedWithCode(0), "");
}
