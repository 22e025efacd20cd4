// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli run as a process on the virtual devices, as scripts use it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "ProcessRunner.h"

namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string> virtualDevices = {{"TALLOWMERE_AUDIO", "virtual"}};

// The report after its operating-system line, which names the machine.
std::string AfterOsLine(const std::string& report, const std::string& lineEnd)
{
    EXPECT_EQ(report.rfind("Operating System:\t ", 0), 0u) << report;
    std::size_t end = report.find(lineEnd);
    return end == std::string::npos ? report : report.substr(end + lineEnd.size());
}

std::string Header(const std::string& channels, const std::string& bits, const std::string& mode)
{
    return "\nChannels:\t" + channels + "\nnSampling Rate:\t44100\nBits Per Sample:\t" + bits + "\nValid Bits:\t" +
           bits + "\nAPI Mode:\t" + mode + "\n";
}

const std::string bothDevicesWorked = "\nInput Device:\tTallowmere Virtual Input\n"
                                      "   Open\tCalled sucessfully\n"
                                      "   Record\tCalled sucessfully\n"
                                      "\nOutput Device:\tTallowmere Virtual Output\n"
                                      "   Open\tCalled sucessfully\n"
                                      "   Playback\tCalled sucessfully\n";

struct ProgramTest : testing::Test {
    CRunDirectory run;
    const fs::path& directory = run.Path();
};

} // namespace

// The whole default test: report, status lines, exit 0, and a file that an
// independent reader takes for 4 s of 16-bit mono at 44100 Hz.
TEST_F(ProgramTest, DefaultRunReportsBothDevicesAndSavesTheRecording)
{
    std::string wave = (directory / "default.wav").string();
    ProcessResult run = RunProgram({"--save", wave}, virtualDevices);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(AfterOsLine(run.out, "\n"), Header("1", "16", "Standard") + bothDevicesWorked);
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_NE(run.err.find("Ready\nOpening Device...\nRecording...   Press <Esc> to cancel\nRecording Complete\n"
                           "Ready\nOpening Device...\nPlaying...   Press <Esc> to cancel\nPlayback Complete\nReady\n"),
              std::string::npos)
        << run.err;
    std::string info = CommandOutput("soxi '" + wave + "'");
    EXPECT_NE(info.find("Channels       : 1"), std::string::npos) << info;
    EXPECT_NE(info.find("Sample Rate    : 44100"), std::string::npos) << info;
    EXPECT_NE(info.find("Precision      : 16-bit"), std::string::npos) << info;
    EXPECT_NE(info.find("176400 samples"), std::string::npos) << info;
    // The virtual input records a signal, not silence.
    std::string stats = CommandOutput("sox '" + wave + "' -n stat 2>&1");
    EXPECT_EQ(stats.find("Maximum amplitude:     0.000000"), std::string::npos) << stats;
}

// The flags reach the report exactly as a user's typing would, and --crlf
// gives the report's own bytes.
TEST_F(ProgramTest, FlagsFillTheControlsAndCrlfKeepsTheReportBytes)
{
    ProcessResult run = RunProgram({"--duration", "1", "--channels", "2", "--bits", "24", "--api", "extended",
                                    "--input", "tallowmere virtual input", "--output=0", "--crlf"},
                                   virtualDevices);
    EXPECT_EQ(run.status, 0) << run.err;
    std::string expected = Header("2", "24", "Extended") + bothDevicesWorked;
    std::string crlf;
    for (char c : expected)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(AfterOsLine(run.out, "\r\n"), crlf);
}

// Three channels are refused by the virtual devices: the failed open is
// reported and the exit status says a device step failed. Without --tone the
// tone is declined (no terminal to ask) and the report is still printed.
TEST_F(ProgramTest, FailingOpenExitsOneWithTheReportWording)
{
    std::string wave = (directory / "none.wav").string();
    ProcessResult declined = RunProgram({"--channels", "3", "--duration", "1", "--save", wave}, virtualDevices);
    EXPECT_EQ(declined.status, 1);
    EXPECT_NE(declined.out.find("\nInput Device:\tTallowmere Virtual Input\n"
                                "   Open\tError - sampling format is not supported\n"
                                "   Record\tNot tested\n"),
              std::string::npos)
        << declined.out;
    EXPECT_EQ(declined.out.find("Output Device"), std::string::npos);
    EXPECT_NE(declined.err.find("Notice: Recording test failed.  Do you want to run the playback test with a 1kHz "
                                "tone? no"),
              std::string::npos)
        << declined.err;
    EXPECT_NE(declined.err.find("nothing was saved to " + wave), std::string::npos) << declined.err;
    EXPECT_FALSE(fs::exists(wave));

    ProcessResult tone = RunProgram({"--channels", "3", "--duration", "1", "--tone", "yes"}, virtualDevices);
    EXPECT_EQ(tone.status, 1);
    EXPECT_NE(tone.out.find("\nOutput Device:\tTallowmere Virtual Output\n"
                            "   Open\tError - sampling format is not supported\n"
                            "   Playback\tNot tested\n"),
              std::string::npos)
        << tone.out;
}

// The time-out presses Esc for the user: the recording is cancelled, no
// playback follows, the results still come, and the status is 130.
TEST_F(ProgramTest, TimeOutCancelsTheRecording)
{
    std::string wave = (directory / "cut.wav").string();
    ProcessResult run = RunProgram({"--duration", "100", "--timeout", "0.5", "--save", wave}, virtualDevices);
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.out.find("   Record\tRecording cancelled\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Output Device"), std::string::npos);
    EXPECT_NE(run.err.find("tallowmere: time-out: cancelling\nRecording Cancelled\n"), std::string::npos) << run.err;
    // A cancelled recording is saved whole, as the results dialog does.
    EXPECT_NE(CommandOutput("soxi '" + wave + "'").find("4410000 samples"), std::string::npos);
}

// Ctrl-C once the recording runs (not after a fixed time, which a slow start
// could reach before the program has its handler).
TEST_F(ProgramTest, CtrlCCancelsLikeEsc)
{
    ProcessResult run = RunProgram({"--duration", "100"}, virtualDevices, "Recording...");
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.out.find("   Record\tRecording cancelled\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Recording Cancelled\n"), std::string::npos) << run.err;
}

TEST_F(ProgramTest, JsonResultParsesBack)
{
    ProcessResult run = RunProgram({"--duration", "1", "--rate", "22050", "--json"}, virtualDevices);
    EXPECT_EQ(run.status, 0) << run.err;
    JsonValue result;
    ASSERT_TRUE(ParseJson(run.out, result)) << run.out;
    const JsonValue& parameters = result["parameters"];
    EXPECT_EQ(parameters["channels"].number, 1);
    EXPECT_EQ(parameters["sampleRate"].number, 22050);
    EXPECT_EQ(parameters["bufferBytes"].number, 44100);
    EXPECT_EQ(parameters["apiMode"].text, "standard");
    for (const char* device : {"input", "output"}) {
        const JsonValue& d = result[device];
        EXPECT_EQ(d["index"].number, 0) << device;
        EXPECT_TRUE(d["tested"].boolean && d["complete"].boolean) << device;
        EXPECT_FALSE(d["cancelled"].boolean) << device;
        EXPECT_EQ(d["open"]["code"].number, 0) << device;
        EXPECT_EQ(d["open"]["text"].text, "Called sucessfully") << device;
        EXPECT_EQ(d["transfer"]["text"].text, "Called sucessfully") << device;
    }
    EXPECT_EQ(result["input"]["name"].text, "Tallowmere Virtual Input");
    EXPECT_EQ(result["exitStatus"].number, 0);
    EXPECT_EQ(result["savedTo"].kind, JsonValue::Kind::Null);
    // The report inside keeps its exact line ends.
    EXPECT_NE(result["report"].text.find("\r\nnSampling Rate:\t22050\r\n"), std::string::npos);

    ProcessResult cancelled = RunProgram({"--duration", "50", "--timeout", "0.3", "--json"}, virtualDevices);
    EXPECT_EQ(cancelled.status, 130);
    result = JsonValue{};
    ASSERT_TRUE(ParseJson(cancelled.out, result)) << cancelled.out;
    EXPECT_TRUE(result["input"]["cancelled"].boolean);
    EXPECT_EQ(result["input"]["transfer"]["text"].text, "Recording cancelled");
    EXPECT_FALSE(result["output"]["tested"].boolean);
    EXPECT_EQ(result["output"]["open"]["code"].number, 65535);
    EXPECT_TRUE(result["timedOut"].boolean);
    EXPECT_EQ(result["exitStatus"].number, 130);
}

TEST_F(ProgramTest, UsageErrorsExitTwoNamingTheFlag)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"--channels", "two"}, "tallowmere: --channels: 'two' is not a whole number"},
        {{"--rate"}, "tallowmere: --rate needs a value"},
        {{"--loud"}, "tallowmere: unknown option '--loud'"},
        {{"--input", "7"}, "tallowmere: --input: no input device at position '7' (2 listed; see --list)"},
        {{"--output", "Speakers"}, "tallowmere: --output: no output device named 'Speakers'"},
        {{"--timeout", "12345678"}, "tallowmere: --timeout: '12345678' is longer than the longest time-out, 9999999"},
    };
    for (const Case& c : cases) {
        ProcessResult run = RunProgram(c.arguments, virtualDevices);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_EQ(run.out, "") << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        // The error alone: no status line of a dialog that never ran a test.
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

TEST_F(ProgramTest, ListHelpAndVersion)
{
    ProcessResult list = RunProgram({"-l"}, virtualDevices);
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "Input devices:\n"
                        "  0: Tallowmere Virtual Input (input, 2 channels, id 7A11:0001, driver 1.0)\n"
                        "       11025 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "       22050 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "       44100 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "  1: Tallowmere Virtual Loopback In (input, 2 channels, id 7A11:0003, driver 1.0)\n"
                        "       11025 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "       22050 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "       44100 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "Output devices:\n"
                        "  0: Tallowmere Virtual Output (output, 2 channels, id 7A11:0002, driver 1.0)\n"
                        "       11025 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "       22050 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "       44100 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "  1: Tallowmere Virtual Loopback Out (output, 2 channels, id 7A11:0004, driver 1.0)\n"
                        "       11025 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "       22050 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n"
                        "       44100 Hz: 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo\n");
    ProcessResult help = RunProgram({"--help"}, virtualDevices);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status: 0 when recording and playback both completed"), std::string::npos);
    ProcessResult version = RunProgram({"--version"}, virtualDevices);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tallowmere-cli ", 0), 0u);
}

// A save that fails is shown with the wave file's own message and makes the
// run count as failed, so a script does not go on without its file.
TEST_F(ProgramTest, FailedSaveIsReportedAndExitsOne)
{
    std::string wave = (directory / "missing" / "x.wav").string();
    ProcessResult run = RunProgram({"--duration", "1", "--save", wave}, virtualDevices);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("tallowmere: IDS_"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("tallowmere: cannot save '" + wave + "': "), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(wave));
}
