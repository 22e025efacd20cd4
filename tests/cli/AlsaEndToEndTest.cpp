// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli on real alsa-lib without a sound card: a private ALSA
// configuration (only its devices exist) whose capture device reads a tone
// made by sox and whose playback device writes a file. The recording saved
// through the results dialog and the bytes played must both be that tone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ProcessRunner.h"

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct AlsaEndToEndTest : testing::Test {
    AlsaEndToEndTest()
    {
        directory = fs::path(TALLOWMERE_CLI_TEST_DIR) / ("alsa-" + std::to_string(getpid()));
        fs::create_directories(directory);
        config = directory / "asound.conf";
        std::ofstream out(config);
        out << "pcm.testcap {\n"
               "  type file\n"
               "  slave.pcm { type null }\n"
               "  file \"/dev/null\"\n"
               "  infile \"" << (directory / "tone.raw").string() << "\"\n"
               "  format \"raw\"\n"
               "  hint { show on description \"Test capture|IOIDInput\" }\n"
               "}\n"
               "pcm.testplay {\n"
               "  type file\n"
               "  slave.pcm { type null }\n"
               "  file \"" << (directory / "played.raw").string() << "\"\n"
               "  format \"raw\"\n"
               "  hint { show on description \"Test playback|IOIDOutput\" }\n"
               "}\n"
               // The project's paced test device: 8 to 192 kHz only.
               "pcm_type.tallowtest { lib \"" TALLOWMERE_ALSA_TEST_PLUGIN "\" }\n"
               "pcm.paced {\n"
               "  type tallowtest\n"
               "  lock \"" << (directory / "paced.lock").string() << "\"\n"
               "  hint { show on description \"Paced test device\" }\n"
               "}\n"
               // Disconnected 300 ms after it starts, as a server that goes away.
               "pcm.unplugged {\n"
               "  type tallowtest\n"
               "  lock \"" << (directory / "unplugged.lock").string() << "\"\n"
               "  unplug 300\n"
               "  hint { show on description \"Unplugged test device\" }\n"
               "}\n"
               // From 300 ms after it starts every mend brings the xrun
               // back, as a sound server's plugin does once its server died.
               "pcm.servergone {\n"
               "  type tallowtest\n"
               "  lock \"" << (directory / "servergone.lock").string() << "\"\n"
               "  gone 300\n"
               "  hint { show on description \"Server gone test device\" }\n"
               "}\n";
    }
    ~AlsaEndToEndTest() override
    {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    // A 1 kHz tone longer than the recording: the file device repeats stale
    // data past the end of its input.
    std::string MakeTone(int channels, int bits, int seconds)
    {
        fs::path tone = directory / "tone.raw";
        std::string command = "sox -n -r 44100 -c " + std::to_string(channels) + " -b " + std::to_string(bits) +
                              " -e signed-integer -t raw '" + tone.string() + "' synth " + std::to_string(seconds) +
                              " sine 1000 gain -3";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return ReadBytes(tone);
    }

    ProcessResult Run(std::vector<std::string> arguments)
    {
        return RunProgram(arguments, {{"TALLOWMERE_AUDIO", "alsa"}, {"ALSA_CONFIG_PATH", config.string()}});
    }

    // The sample bytes of a WAVE file, as an independent reader gives them.
    std::string SavedSamples(const fs::path& wave)
    {
        return CommandOutput("sox '" + wave.string() + "' -t raw -");
    }

    fs::path directory;
    fs::path config;
};

} // namespace

TEST_F(AlsaEndToEndTest, DefaultRunRecordsTheKnownToneAndPlaysItBack)
{
    std::string tone = MakeTone(1, 16, 5);
    const std::size_t recorded = 4 * 44100 * 2;
    ASSERT_GT(tone.size(), recorded);
    fs::path wave = directory / "out.wav";

    ProcessResult run = Run({"--save", wave.string()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("\nInput Device:\tTest capture\n   Open\tCalled sucessfully\n"
                           "   Record\tCalled sucessfully\n"
                           "\nOutput Device:\tTest playback\n   Open\tCalled sucessfully\n"
                           "   Playback\tCalled sucessfully\n"),
              std::string::npos)
        << run.out;
    std::string saved = SavedSamples(wave);
    ASSERT_EQ(saved.size(), recorded);
    EXPECT_TRUE(saved == tone.substr(0, recorded)) << "saved samples differ from the tone";
    std::string played = ReadBytes(directory / "played.raw");
    ASSERT_EQ(played.size(), recorded);
    EXPECT_TRUE(played == saved) << "played bytes differ from the recording";
}

// Stereo 24-bit in 3-byte containers, devices chosen by name, the extended
// description: the bytes still go through untouched.
TEST_F(AlsaEndToEndTest, Stereo24BitByNameIsBitExact)
{
    std::string tone = MakeTone(2, 24, 2);
    const std::size_t recorded = 44100 * 2 * 3;
    fs::path wave = directory / "stereo.wav";

    ProcessResult run = Run({"--input", "Test capture", "--output", "test playback", "--channels", "2", "--bits",
                             "24", "--api", "extended", "--duration", "1", "--save", wave.string()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(CommandOutput("soxi '" + wave.string() + "'").find("Precision      : 24-bit"), std::string::npos);
    std::string saved = SavedSamples(wave);
    ASSERT_EQ(saved.size(), recorded);
    EXPECT_TRUE(saved == tone.substr(0, recorded)) << "saved samples differ from the tone";
    EXPECT_TRUE(ReadBytes(directory / "played.raw") == saved) << "played bytes differ from the recording";
}

// A rate the device refuses: the report words the code as always, and the
// ALSA call that refused it and alsa-lib's text go to standard error and JSON.
TEST_F(AlsaEndToEndTest, RefusedRateNamesTheAlsaCallBesideAnUnchangedReport)
{
    MakeTone(1, 16, 1);
    ProcessResult run = Run({"--input", "Paced test device", "--rate", "4000", "--duration", "1", "--json"});
    EXPECT_EQ(run.status, 1) << run.err;
    JsonValue result;
    ASSERT_TRUE(ParseJson(run.out, result)) << run.out;
    const JsonValue& input = result["input"];
    EXPECT_EQ(input["open"]["code"].number, 8);
    const std::string& report = result["report"].text;
    std::size_t section = report.find("\r\nInput Device:");
    ASSERT_NE(section, std::string::npos) << report;
    EXPECT_EQ(report.substr(section), "\r\nInput Device:\tPaced test device\r\n"
                                      "   Open\tError - sampling format is not supported\r\n"
                                      "   Record\tNot tested\r\n");
    const JsonValue& host = input["host"];
    ASSERT_EQ(host.kind, JsonValue::Kind::Object) << run.out;
    EXPECT_EQ(host["device"].text, "paced");
    EXPECT_EQ(host["call"].text.rfind("snd_pcm_hw_params_set_rate", 0), 0u) << host["call"].text;
    EXPECT_FALSE(host["text"].text.empty());
    EXPECT_NE(run.err.find("tallowmere: capture 'paced': " + host["call"].text + ": " + host["text"].text + "\n"),
              std::string::npos)
        << run.err;
}

// A device lost for good mid-step, unplugged or its server gone, ends the
// step at once rather than at the time-out: exit status 1, the loss on
// standard error and in the JSON, the report in the dialog's own words.
TEST_F(AlsaEndToEndTest, LostDeviceEndsItsStepAtOnce)
{
    struct Row {
        const char* device;
        const char* pcm;
        bool input;
    } rows[] = {{"Unplugged test device", "unplugged", true},
                {"Server gone test device", "servergone", true},
                {"Server gone test device", "servergone", false}};
    MakeTone(1, 16, 11);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.pcm) + (row.input ? " input" : " output"));
        const auto start = std::chrono::steady_clock::now();
        ProcessResult run = Run({row.input ? "--input" : "--output", row.device, "--duration", "10", "--timeout",
                                 "60", "--json"});
        const auto seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Lost 0.3 s into the step; the test's own settling takes 0.5 s.
        EXPECT_LT(seconds, 4) << run.err;
        EXPECT_EQ(run.status, 1) << run.err;
        JsonValue result;
        ASSERT_TRUE(ParseJson(run.out, result)) << run.out;
        const JsonValue& device = result[row.input ? "input" : "output"];
        EXPECT_FALSE(device["complete"].boolean);
        ASSERT_EQ(device["host"].kind, JsonValue::Kind::Object) << run.out;
        EXPECT_TRUE(device["host"]["lost"].boolean) << run.out;
        EXPECT_FALSE(result["timedOut"].boolean);
        EXPECT_FALSE(result["interrupted"].boolean);
        EXPECT_EQ(result["exitStatus"].number, 1);
        EXPECT_NE(result["report"].text.find(row.input ? "   Record\tRecording cancelled\r\n"
                                                        : "   Playback\tPlayback cancelled\r\n"),
                  std::string::npos)
            << result["report"].text;
        EXPECT_NE(run.err.find("tallowmere: device lost: ending the step\n"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(std::string("tallowmere: ") + (row.input ? "capture '" : "playback '") + row.pcm +
                               "' was lost"),
                  std::string::npos)
            << run.err;
    }
}

TEST_F(AlsaEndToEndTest, ListShowsThePrivateDevices)
{
    MakeTone(1, 16, 1); // the capture device opens only with its input file there
    ProcessResult list = Run({"--list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("Input devices:\n  0: Test capture (input"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Output devices:\n  0: Test playback (output"), std::string::npos) << list.out;
}
