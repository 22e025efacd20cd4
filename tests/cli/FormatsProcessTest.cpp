// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli --formats as a script runs it: the matrix on the virtual
// devices and on a device of the test plugin with a capability set, the
// exit statuses (0 taken, 3 an expected format not met, 2 a usage error),
// and the JSON read back cell for cell.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ProcessRunner.h"

namespace {

const std::map<std::string, std::string> Virtual = {{"TALLOWMERE_AUDIO", "virtual"}};

// A private configuration with one device that states a capability set:
// 48000 Hz only, 16-bit, two channels.
std::map<std::string, std::string> Narrow(const CRunDirectory& run)
{
    const std::filesystem::path config = run.Path() / "asound.conf";
    std::ofstream(config) << "pcm_type.tallowtest { lib \"" TALLOWMERE_ALSA_TEST_PLUGIN "\" }\n"
                             "pcm.narrow {\n  type tallowtest\n  rates [ 48000 ]\n  formats [ \"S16_LE\" ]\n"
                             "  channels [ 2 ]\n  hint { show on description \"Narrow card\" }\n}\n";
    return {{"TALLOWMERE_AUDIO", "alsa"}, {"ALSA_CONFIG_PATH", config.string()}};
}

TEST(FormatsProcessTest, MatrixOfTheVirtualDevicesIsTakenWholeAndTimed)
{
    ProcessResult run = RunProgram({"--formats"}, Virtual);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Input 0: Tallowmere Virtual Input, accepts\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Output 0: Tallowmere Virtual Output, accepts\n"), std::string::npos);
    EXPECT_NE(run.out.find("      Rate    8/8  16/16  24/24  20/24  32/32  24/32\n"), std::string::npos);
    EXPECT_NE(run.out.find("    384000      +      +      +      +      +      +\n"), std::string::npos);
    EXPECT_NE(run.out.find("Marks: "), std::string::npos);
    EXPECT_NE(run.out.find("Taken in "), std::string::npos);
}

TEST(FormatsProcessTest, ExpectedFormatsDecideTheStatusAndJsonHoldsEveryCell)
{
    CRunDirectory directory;
    auto environment = Narrow(directory);
    ProcessResult met = RunProgram({"--formats", "--input", "Narrow card", "--output", "narrow card",
                                    "--expect-formats", "48000/16/2"},
                                   environment);
    EXPECT_EQ(met.status, 0) << met.err;
    EXPECT_NE(met.out.find("Input 0: Narrow card (narrow), accepts"), std::string::npos) << met.out;
    EXPECT_NE(met.out.find("(snd_pcm_hw_params_set_rate: Invalid argument)"), std::string::npos) << met.out;

    ProcessResult unmet = RunProgram({"--formats", "--rate", "47999", "--json", "--expect-formats",
                                      "48000/16/2,44100/24/2"},
                                     environment);
    EXPECT_EQ(unmet.status, 3) << unmet.err;
    EXPECT_NE(unmet.err.find("44100/24/2 is not met at the accepts level"), std::string::npos) << unmet.err;
    JsonValue json;
    ASSERT_TRUE(ParseJson(unmet.out, json)) << unmet.out;
    EXPECT_EQ(json["status"].number, 3);
    ASSERT_EQ(json["unmetFormats"].items.size(), 1u);
    EXPECT_EQ(json["unmetFormats"].items[0].text, "44100/24/2");
    const JsonValue& matrix = json["matrices"].items.at(0);
    EXPECT_EQ(matrix["level"].text, "accepts");
    ASSERT_EQ(matrix["devices"].items.size(), 2u);
    for (const JsonValue& device : matrix["devices"].items) {
        // 14 rates (--rate's included) x 2 channel counts x 6 widths x 2 descriptions.
        ASSERT_EQ(device["cells"].items.size(), 14u * 2 * 6 * 2);
        int accepted = 0;
        for (const JsonValue& cell : device["cells"].items) {
            bool open = cell["sampleRate"].number == 48000 && cell["channels"].number == 2 &&
                        cell["bits"].number == 16 && cell["validBits"].number == 16;
            EXPECT_EQ(cell["accepted"].boolean, open);
            accepted += cell["accepted"].boolean;
            if (!open && cell["validBits"].number == cell["bits"].number) {
                EXPECT_EQ(cell["code"].number, 8);
                EXPECT_EQ(cell["host"]["text"].text, "Invalid argument");
            }
        }
        EXPECT_EQ(accepted, 2); // both descriptions
    }
}

// Ctrl-C during a matrix that takes long (the loop level in real time on
// the virtual pair) ends it with 130, printing what was taken.
TEST(FormatsProcessTest, CtrlCEndsTheMatrixWithWhatWasTaken)
{
    ProcessResult run = RunProgram({"--formats", "--level", "transparent", "--input", "1", "--output", "1"}, Virtual,
                                   "Format matrix");
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.out.find("Loop: output 1 into input 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Cancelled: the cells not shown were not tried.\n"), std::string::npos) << run.out;
}

TEST(FormatsProcessTest, FlagsThatCannotApplyAreUsageErrors)
{
    struct Row {
        std::vector<std::string> arguments;
        const char* message;
    };
    const Row rows[] = {
        {{"--level", "delivers"}, "--level needs --formats"},
        {{"--formats", "--level", "loud"}, "must be accepts, delivers or transparent"},
        {{"--formats", "--all-devices", "--level", "transparent"}, "one output wired back to one input"},
        {{"--formats", "--channels", "2"}, "--channels does not apply to --formats"},
        {{"--formats", "--max-thdn", "-60"}, "the analysis (--analyze, --analyze-file, --plot and their checks) does not"},
        {{"--formats", "--expect-formats", "48000/24"}, "is not RATE/VALID-BITS/CHANNELS"},
        {{"--formats", "--expect-formats", "48000/24/3"}, "is outside the matrix"},
        {{"--formats", "--input", "nothing like it"}, "--input: no input device named"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        ProcessResult run = RunProgram(row.arguments, Virtual);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

} // namespace
