// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli --soak run as a process on the virtual loopback pair with
// an xrun set in its cable: the summary, --json and --log, the checks'
// exit status, --report, Ctrl-C before and at the end, a kill that leaves the log
// readable line by line, and the flags it refuses.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "ProcessRunner.h"

namespace {

const std::vector<std::string> SoakPair = {"--input", "Tallowmere Virtual Loopback In", "--output",
                                           "Tallowmere Virtual Loopback Out", "--rate", "48000"};
// An underrun of the output 1 s in.
const std::map<std::string, std::string> Virtual = {{"TALLOWMERE_AUDIO", "virtual"},
                                                    {"TALLOWMERE_VIRTUAL_LOOPBACK", "latency=480,underrun=48000+1024"}};

std::vector<std::string> Soak(std::vector<std::string> flags)
{
    std::vector<std::string> arguments = SoakPair;
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    return arguments;
}

std::vector<JsonValue> LogLines(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::vector<JsonValue> lines;
    std::string line;
    while (std::getline(in, line)) {
        JsonValue value;
        EXPECT_TRUE(ParseJson(line, value)) << line;
        lines.push_back(value);
    }
    return lines;
}

TEST(SoakProcess, SummaryJsonLogAndChecks)
{
    CRunDirectory dir;
    const auto log = dir.Path() / "soak.jsonl";
    ProcessResult run = RunProgram(Soak({"--soak", "2s", "--json", "--log", log.string(), "--max-xruns", "0"}), Virtual);
    ASSERT_EQ(run.status, 3) << run.err << run.out;
    JsonValue doc;
    ASSERT_TRUE(ParseJson(run.out, doc)) << run.out;
    const JsonValue& soak = doc["soak"];
    EXPECT_EQ(soak["outcome"].text, "completed");
    EXPECT_EQ(soak["xruns"].number, 1);
    EXPECT_EQ(soak["glitches"].number, 0);
    EXPECT_EQ(soak["checks"]["failed"].items.at(0).text, "xruns 1 > 0");
    EXPECT_NEAR(soak["latencyMs"]["min"].number, 10, 0.01);
    EXPECT_EQ(doc["exitStatus"].number, 3);
    // Each event said on standard error as it came.
    EXPECT_NE(run.err.find("tallowmere: soak:"), std::string::npos) << run.err;

    std::vector<JsonValue> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]["event"].text, "start");
    EXPECT_EQ(lines[1]["event"].text, "xrun");
    EXPECT_EQ(lines[1]["frames"].number, 1024);
    EXPECT_EQ(lines[2]["event"].text, "gap");
    EXPECT_TRUE(lines[2]["explainedByXrun"].boolean);
    EXPECT_EQ(lines[3]["event"].text, "end");

    // The table, and the shareable report holding the soak's whole result.
    const auto report = dir.Path() / "soak.html";
    ProcessResult table = RunProgram(Soak({"--soak", "1", "--soak-mode", "record", "--report", report.string()}), Virtual);
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out.rfind("Soak:        record only, 1.0 s of 1 s (completed)\n", 0), 0u) << table.out;
    std::ifstream html(report);
    std::stringstream content;
    content << html.rdbuf();
    EXPECT_NE(content.str().find("\"mode\": \"record only\""), std::string::npos);
}

// Ctrl-C ends a soak early with 130 and still prints the summary; a soak
// asked to run until then ends with 0.
TEST(SoakProcess, CtrlCEndsItWithTheSummary)
{
    ProcessResult early = RunProgram(Soak({"--soak", "60"}), Virtual, "0:01 elapsed");
    EXPECT_EQ(early.status, 130) << early.err;
    EXPECT_NE(early.out.find("(cancelled)"), std::string::npos) << early.out;
    ProcessResult open = RunProgram(Soak({"--soak", "0"}), Virtual, "0:01 elapsed");
    EXPECT_EQ(open.status, 0) << open.err;
    EXPECT_NE(open.out.find("(until ended) (completed)"), std::string::npos) << open.out;
}

// A soak killed outright leaves a log whose every line is whole.
TEST(SoakProcess, KilledRunLeavesItsLogReadable)
{
    CRunDirectory dir;
    const auto log = dir.Path() / "killed.jsonl";
    ProcessControl control;
    control.signal = SIGKILL;
    control.signalWhen = [&log](int) {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str().find("\"gap\"") != std::string::npos;
    };
    ProcessResult run = RunProgram(Soak({"--soak", "0", "--log", log.string()}), Virtual, control);
    EXPECT_EQ(run.status, 128 + SIGKILL);
    std::vector<JsonValue> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["event"].text, "start");
    EXPECT_EQ(lines[1]["event"].text, "xrun");
    EXPECT_EQ(lines[2]["event"].text, "gap");
}

// The devices are named as in every mode: by a part one device alone has or
// a position; a part several have is refused, naming them.
TEST(SoakProcess, ChoosesItsDevicesAsEveryModeDoes)
{
    ProcessResult byPart = RunProgram({"--soak", "1", "--input", "loopback in", "--output", "1", "--json"}, Virtual);
    ASSERT_EQ(byPart.status, 0) << byPart.err;
    JsonValue doc;
    ASSERT_TRUE(ParseJson(byPart.out, doc)) << byPart.out;
    EXPECT_EQ(doc["soak"]["input"]["name"].text, "Tallowmere Virtual Loopback In");
    EXPECT_EQ(doc["soak"]["output"]["name"].text, "Tallowmere Virtual Loopback Out");

    ProcessResult ambiguous = RunProgram({"--soak", "1", "--input", "VIRTUAL", "--json"}, Virtual);
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_NE(ambiguous.err.find("tallowmere: --input: 'VIRTUAL' names 2 input devices: 0 'Tallowmere Virtual "
                                 "Input', 1 'Tallowmere Virtual Loopback In'; give more of the name, or its "
                                 "position\n"),
              std::string::npos)
        << ambiguous.err;
    ASSERT_TRUE(ParseJson(ambiguous.out, doc)) << ambiguous.out;
    EXPECT_EQ(doc["exitStatus"].number, 2);
}

TEST(SoakProcess, RefusesWhatItCannotRun)
{
    for (const std::vector<std::string>& flags :
         {std::vector<std::string>{"--max-xruns", "0"}, {"--soak", "10x"}, {"--soak", "5", "--loopback"},
          {"--soak", "5", "--soak-mode", "record", "--max-drift-ppm", "1"}, {"--soak", "5", "--duration", "4"},
          {"--soak", "5", "--channels", "3"}, {"--soak", "5", "--input", "No Such Device"},
          {"--soak", "5", "--log", "/nonexistent/dir/log"}}) {
        ProcessResult run = RunProgram(Soak(flags), Virtual);
        EXPECT_EQ(run.status, 2) << flags[0] << " " << run.err;
        EXPECT_EQ(run.out, "");
    }
}

} // namespace
