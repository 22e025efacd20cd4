// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli tells a script what it did and why, where the dialogs stay
// silent: a repaired duration, a test without a recording buffer, where a
// save went, and usage errors as a JSON document when --json asks for one.
#include <gtest/gtest.h>

#include "ProcessRunner.h"

namespace {

const std::map<std::string, std::string> virtualDevices = {{"TALLOWMERE_AUDIO", "virtual"}};

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(ReasonsProcessTest, UsageErrorsWithJsonPrintAnErrorDocument)
{
    struct Row {
        const char* name;
        std::vector<std::string> arguments;
        std::string error;
    };
    std::vector<Row> rows = {
        {"refused flag, --json after it", {"--bogus", "--json"}, "unknown option '--bogus' (see --help)"},
        {"refused value", {"--json", "--duration", "soon"}, "--duration: 'soon' is not a whole number of seconds"},
        {"device not listed", {"--json", "--input", "9"}, "--input: no input device at position '9'"},
        {"format matrix device not listed", {"--formats", "--json", "--input", "No Such"}, "'No Such'"},
    };
#ifdef TALLOWMERE_CLI_HAS_LOOPBACK
    rows.push_back({"loopback device not listed", {"--loopback", "--json", "--input", "No Such Device"}, "No Such Device"});
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ProcessResult run = RunProgram(row.arguments, virtualDevices);
        EXPECT_EQ(run.status, 2) << run.err;
        JsonValue doc;
        ASSERT_TRUE(ParseJson(run.out, doc)) << run.out;
        EXPECT_EQ(doc["program"].text, "tallowmere-cli");
        EXPECT_TRUE(Has(doc["error"].text, row.error)) << doc["error"].text;
        EXPECT_EQ(doc["exitStatus"].number, 2);
        EXPECT_TRUE(Has(run.err, "tallowmere: " + doc["error"].text + "\n")) << run.err;
    }
    ProcessResult plain = RunProgram({"--bogus"}, virtualDevices);
    EXPECT_EQ(plain.status, 2);
    EXPECT_EQ(plain.out, "") << "without --json the error stays on standard error alone";
}

TEST(ReasonsProcessTest, TheCommandLineSaysWhatTheDialogDidNot)
{
    ProcessResult repaired = RunProgram({"--duration", "101", "--timeout", "0.1"}, virtualDevices);
    EXPECT_TRUE(Has(repaired.err, "tallowmere: --duration 101: the test records 1 to 100 seconds; using 100\n"))
        << repaired.err;
    ProcessResult huge = RunProgram({"--rate", "2147483647", "--duration", "1"}, virtualDevices);
    EXPECT_EQ(huge.status, 1);
    EXPECT_TRUE(Has(huge.err, "tallowmere: no recording buffer: 1 s of 1 channel of 2 bytes at 2147483647 Hz needs "
                              "4294967294 bytes"))
        << huge.err;

    CRunDirectory run;
    const std::string wave = (run.Path() / "take.wav").string();
    ProcessResult saved = RunProgram({"--duration", "1", "--save", wave, "--json"}, virtualDevices);
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_TRUE(Has(saved.err, "tallowmere: saved to '" + wave + "'\n")) << saved.err;
    JsonValue doc;
    ASSERT_TRUE(ParseJson(saved.out, doc));
    EXPECT_EQ(doc["savedTo"].text, wave);
}

} // namespace
