// SPDX-License-Identifier: GPL-3.0-or-later
// Standard output that cannot be written is a failure: every action that
// prints (the test, --analyze-file, --loopback --json, --list, --help) exits
// 1 and says so on standard error when its output goes to a full device or
// to a descriptor the caller closed, rather than exit 0 with nothing written.
#include <gtest/gtest.h>

#include <filesystem>

#include "ProcessRunner.h"

namespace {

const std::map<std::string, std::string> virtualDevices = {{"TALLOWMERE_AUDIO", "virtual"}};

ProcessResult RunWithOutput(const std::string& redirection, const std::vector<std::string>& arguments)
{
    ProcessControl control;
    control.launcher = {"sh", "-c", "exec \"$0\" \"$@\" " + redirection};
    return RunProgram(arguments, virtualDevices, control);
}

TEST(LostOutputTest, EveryActionExitsOneWhenItsOutputIsLost)
{
    CRunDirectory run;
    const std::string wave = (run.Path() / "tone.wav").string();
    ASSERT_EQ(std::system(("sox -n -r 48000 -c 1 -b 16 '" + wave + "' synth 0.5 sine 1000").c_str()), 0);
    struct Action {
        const char* name;
        std::vector<std::string> arguments;
    };
    std::vector<Action> actions = {
        {"the test", {"--duration", "1"}},
        {"the test with --json", {"--duration", "1", "--json"}},
        {"--analyze-file", {"--analyze-file", wave}},
        {"--list", {"--list"}},
        {"--help", {"--help"}},
    };
#ifdef TALLOWMERE_CLI_HAS_LOOPBACK
    actions.push_back({"--loopback --json",
                       {"--loopback", "--input", "Tallowmere Virtual Loopback In", "--output",
                        "Tallowmere Virtual Loopback Out", "--measure", "latency", "--json"}});
#endif
    for (const Action& action : actions) {
        SCOPED_TRACE(action.name);
        ProcessResult full = RunWithOutput(">/dev/full", action.arguments);
        EXPECT_EQ(full.status, 1) << full.err;
        EXPECT_NE(full.err.find("tallowmere: write error on standard output: No space left on device\n"),
                  std::string::npos)
            << full.err;
        ProcessResult closed = RunWithOutput(">&-", action.arguments);
        EXPECT_EQ(closed.status, 1) << closed.err;
        EXPECT_NE(closed.err.find("tallowmere: write error on standard output: Bad file descriptor\n"),
                  std::string::npos)
            << closed.err;
    }
}

// A save while the caller closed standard output: the wave file must not
// take the free descriptor, where the report would be written into it.
TEST(LostOutputTest, ASaveNeverTakesTheClosedOutputsPlace)
{
    CRunDirectory run;
    const std::string wave = (run.Path() / "take.wav").string();
    ProcessResult closed = RunWithOutput(">&-", {"--duration", "1", "--save", wave});
    EXPECT_EQ(closed.status, 1) << closed.err;
    EXPECT_NE(CommandOutput("soxi -D '" + wave + "'").find("1.0"), std::string::npos) << closed.err;
}

} // namespace
