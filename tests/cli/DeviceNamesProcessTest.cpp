// SPDX-License-Identifier: GPL-3.0-or-later
// Devices as users name them, on real alsa-lib with a private configuration:
// --list shows each device's PCM name and the configuration space it states
// beside the dialog's capability record; --input and --output take a part
// of a name ("USB Audio", the README's own example) when one device has it,
// the PCM name, or a PCM name the list leaves out; a part that several
// devices have is a usage error naming them.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "ProcessRunner.h"

namespace {

// Two capture and one playback device that move file bytes, one that is not
// listed (no description), and one with a capability set.
std::map<std::string, std::string> Devices(const CRunDirectory& run)
{
    const std::filesystem::path in = run.Path() / "in.raw";
    std::ofstream(in) << std::string(4 << 20, '\x10');
    auto file = [&](const char* name, const char* description, bool capture) {
        return std::string("pcm.") + name + " {\n  type file\n  slave.pcm { type null }\n  file \"" +
               (capture ? std::string("/dev/null") : (run.Path() / name).string()) + "\"\n" +
               (capture ? "  infile \"" + in.string() + "\"\n" : std::string()) + "  format \"raw\"\n" +
               (description ? std::string("  hint { show on description \"") + description + "\" }\n" : "") + "}\n";
    };
    const std::filesystem::path config = run.Path() / "asound.conf";
    std::ofstream(config) << file("usbcap", "USB Audio CODEC|IOIDInput", true)
                          << file("linecap", "Line In Card|IOIDInput", true)
                          << file("usbplay", "USB Audio CODEC|IOIDOutput", false)
                          << file("hiddencap", nullptr, true)
                          << "pcm_type.tallowtest { lib \"" TALLOWMERE_ALSA_TEST_PLUGIN "\" }\n"
                             "pcm.narrow {\n  type tallowtest\n  rates [ 44100 48000 ]\n  formats [ \"S16_LE\" ]\n"
                             "  channels [ 2 ]\n  hint { show on description \"Narrow card|IOIDOutput\" }\n}\n";
    return {{"TALLOWMERE_AUDIO", "alsa"}, {"ALSA_CONFIG_PATH", config.string()}};
}

TEST(DeviceNamesProcessTest, ListShowsPcmNamesAndTheStatedSpaceBesideTheRecord)
{
    CRunDirectory run;
    ProcessResult list = RunProgram({"--list"}, Devices(run));
    ASSERT_EQ(list.status, 0) << list.err;
    // The lines scripts read stay as they were.
    EXPECT_NE(list.out.find("Input devices:\n  0: USB Audio CODEC (input, 2 channels"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("       ALSA PCM: usbcap\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("       ALSA PCM: linecap\n"), std::string::npos);
    EXPECT_EQ(list.out.find("hiddencap"), std::string::npos);
    // The capability set as the device states it, not the record's three rates.
    const std::string narrow = list.out.substr(list.out.find("Narrow card (output"));
    EXPECT_NE(narrow.find("       ALSA PCM: narrow\n"), std::string::npos) << narrow;
    EXPECT_NE(narrow.find("       formats: S16_LE\n"), std::string::npos) << narrow;
    EXPECT_NE(narrow.find("       channels: 2\n"), std::string::npos) << narrow;
    EXPECT_NE(narrow.find("       rates: 44100-48000 Hz\n"), std::string::npos) << narrow;
    EXPECT_NE(narrow.find("       access: "), std::string::npos) << narrow;
    EXPECT_NE(narrow.find(" frames, buffer: "), std::string::npos) << narrow;
    EXPECT_NE(narrow.find("       the dialog's capability record (11025, 22050 and 44100 Hz at 8 and 16 bits "
                          "only):\n         44100 Hz: 16-bit stereo\n"),
              std::string::npos)
        << narrow;
}

TEST(DeviceNamesProcessTest, TestRunsOnADevicePickedByPartOfItsName)
{
    CRunDirectory run;
    ProcessResult test = RunProgram({"--input", "USB Audio", "--output", "usb audio", "--duration", "1", "--json"},
                                    Devices(run));
    EXPECT_EQ(test.status, 0) << test.err;
    JsonValue json;
    ASSERT_TRUE(ParseJson(test.out, json)) << test.out;
    EXPECT_NE(json["report"].text.find("USB Audio CODEC"), std::string::npos) << json["report"].text;
    EXPECT_TRUE(std::filesystem::file_size(run.Path() / "usbplay") > 0);
}

TEST(DeviceNamesProcessTest, PcmNamesListedOrNotAndAmbiguousParts)
{
    CRunDirectory run;
    const auto environment = Devices(run);
    // By PCM name, and by one the list leaves out (opened under that name).
    ProcessResult byPcm = RunProgram({"--formats", "--input", "linecap", "--output", "narrow", "--rate", "48000"},
                                     environment);
    EXPECT_EQ(byPcm.status, 0) << byPcm.err;
    EXPECT_NE(byPcm.out.find("Input 1: Line In Card (linecap), accepts"), std::string::npos) << byPcm.out;
    ProcessResult unlisted = RunProgram(
        {"--formats", "--input", "hiddencap", "--output", "Narrow", "--rate", "48000"}, environment);
    EXPECT_EQ(unlisted.status, 0) << unlisted.err;
    EXPECT_NE(unlisted.out.find("Input 2: hiddencap (hiddencap), accepts"), std::string::npos) << unlisted.out;

    // "cap" is in two inputs' PCM names: refused, naming both.
    ProcessResult ambiguous = RunProgram({"--formats", "--input", "CAP", "--json"}, environment);
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_NE(ambiguous.err.find("tallowmere: --input: 'CAP' names 2 input devices: 0 'USB Audio CODEC' (usbcap), "
                                 "1 'Line In Card' (linecap); give more of the name, or its position\n"),
              std::string::npos)
        << ambiguous.err;
    JsonValue json;
    ASSERT_TRUE(ParseJson(ambiguous.out, json)) << ambiguous.out;
    EXPECT_EQ(json["exitStatus"].number, 2);
    ProcessResult none = RunProgram({"--input", "nosuchcard", "--duration", "1"}, environment);
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("--input: no input device named 'nosuchcard' (2 listed; see --list)"), std::string::npos)
        << none.err;
}

} // namespace
