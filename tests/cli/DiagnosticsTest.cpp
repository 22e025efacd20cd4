// SPDX-License-Identifier: GPL-3.0-or-later
// The lines and JSON members that carry what the dialogs never show: the
// back end's detail of a device, a failed save's reason, a message key's
// meaning.
#include <gtest/gtest.h>

#include "cli/CliDiagnostics.h"
#include "cli/CliJsonResult.h"

namespace {

using Lines = std::vector<std::string>;

WaveHostDetail Detail(std::string name, std::string call, int error, std::string text, bool lost = false,
                      std::uint64_t xruns = 0, std::uint64_t framesLost = 0)
{
    WaveHostDetail detail;
    detail.deviceName = std::move(name);
    detail.call = std::move(call);
    detail.error = error;
    detail.text = std::move(text);
    detail.lost = lost;
    detail.xruns = xruns;
    detail.framesLost = framesLost;
    return detail;
}

} // namespace

TEST(HostDetailLines, EachFactOnItsOwnLineOnlyWhenItApplies)
{
    struct Row {
        const char* name;
        WaveHostDetail detail;
        bool stepFailed;
        Lines expected;
    };
    const Row rows[] = {
        {"refused rate", Detail("hw:1,0", "snd_pcm_hw_params_set_rate", 22, "Invalid argument"), true,
         {"tallowmere: capture 'hw:1,0': snd_pcm_hw_params_set_rate: Invalid argument"}},
        {"a call that failed in a step that still worked is not news",
         Detail("hw:1,0", "snd_pcm_hw_params_set_rate", 22, "Invalid argument"), false, {}},
        {"nothing known", Detail("", "", 0, ""), true, {}},
        {"errno without text", Detail("hw:0,0", "snd_pcm_open", 16, ""), true,
         {"tallowmere: capture 'hw:0,0': snd_pcm_open: Device or resource busy"}},
        {"lost, with the call", Detail("pulse", "snd_pcm_readi", 19, "No such device", true), false,
         {"tallowmere: capture 'pulse' was lost: snd_pcm_readi: No such device"}},
        {"lost without a host name: the list's name",
         Detail("", "", 0, "", true), true, {"tallowmere: capture 'Listed Input' was lost"}},
        {"xruns", Detail("hw:1,0", "", 0, "", false, 3, 1024), false,
         {"tallowmere: capture 'hw:1,0': 3 xruns recovered, 1024 frames lost"}},
        {"one xrun after a lost device", Detail("hw:1,0", "snd_pcm_readi", 19, "No such device", true, 1, 256), true,
         {"tallowmere: capture 'hw:1,0' was lost: snd_pcm_readi: No such device",
          "tallowmere: capture 'hw:1,0': 1 xrun recovered, 256 frames lost"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(HostDetailLines("capture", "Listed Input", row.detail, row.stepFailed), row.expected) << row.name;
}

TEST(ExplainMessage, NoSoundCardSaysWhatToCheckForTheDirection)
{
    EXPECT_EQ(ExplainMessage("IDS_NO_SOUND_CARD", WaveDirection::Input),
              "IDS_NO_SOUND_CARD: no input device could be opened: is a sound server running? see --list");
    EXPECT_EQ(ExplainMessage("IDS_NO_SOUND_CARD", WaveDirection::Output),
              "IDS_NO_SOUND_CARD: no output device could be opened: is a sound server running? see --list");
    EXPECT_EQ(ExplainMessage("IDS_DEVICE_IO_FAIL", WaveDirection::Input), "IDS_DEVICE_IO_FAIL");
    EXPECT_EQ(SaveFailureLine("/dev/full", "write '/dev/full': No space left on device"),
              "tallowmere: cannot save '/dev/full': write '/dev/full': No space left on device");
}

// Each key of the wave file keeps its name and says what it means and what
// to check, as the sound-card key does.
TEST(ExplainMessage, WaveFileKeysSayWhatToCheck)
{
    const char* keys[] = {"IDS_FILE_OPEN_FAIL",   "IDS_INVALID_WAVE_FILE",          "IDS_FAILURE_WRITING_WAVE_FILE",
                          "IDS_WAVE_DATA_MEMORY", "IDS_FAILURE_DELETING_TEMP_FILE", "IDS_CHECK_TEMP_VARIABLE"};
    for (const char* key : keys) {
        const std::string line = ExplainMessage(key, WaveDirection::Output);
        EXPECT_EQ(line.rfind(std::string(key) + ": ", 0), 0u) << line;
        EXPECT_NE(line.find("check"), std::string::npos) << line;
    }
    EXPECT_NE(ExplainMessage("IDS_CHECK_TEMP_VARIABLE", WaveDirection::Input).find("TMPDIR"), std::string::npos);
}

// A test without its recording buffer says why, in figures a user can change.
TEST(NoRecordBufferLine, NamesTheSizeAndWhatToLower)
{
    TestParameters p;
    p.channels = 1;
    p.bytesPerSample = 2;
    p.sampleRate = 2147483647;
    p.durationSeconds = 1;
    p.bufferBytes = 4294967294LL;
    EXPECT_EQ(NoRecordBufferLine(p),
              "tallowmere: no recording buffer: 1 s of 1 channel of 2 bytes at 2147483647 Hz needs 4294967294 "
              "bytes, more than a test records (2147483647); lower --rate, --channels, --bits or --duration");
    p.bufferBytes = -1; // the product overflowed
    EXPECT_NE(NoRecordBufferLine(p).find("needs more bytes than can be counted"), std::string::npos);
    p.bufferBytes = 1 << 30;
    EXPECT_EQ(NoRecordBufferLine(p), "tallowmere: no recording buffer: the memory for 1073741824 bytes could not be had");
}

TEST(DurationRepairLine, SaysWhatTheDialogUsesOnlyWhenItRepairs)
{
    EXPECT_EQ(DurationRepairLine("0", 4), "tallowmere: --duration 0: the test records 1 to 100 seconds; using 4, the default");
    EXPECT_EQ(DurationRepairLine("101", 100), "tallowmere: --duration 101: the test records 1 to 100 seconds; using 100");
    EXPECT_EQ(DurationRepairLine("4", 4), "");
    EXPECT_EQ(DurationRepairLine("0100", 100), "");
}

// A failed save never names a file as saved; the device's host detail and
// its xruns ride with the device they belong to.
TEST(OutcomeJson, FailedSaveAndHostDetail)
{
    CCliOutcome outcome;
    outcome.ran = true;
    outcome.record.tested = true;
    outcome.saveFailed = true;
    outcome.saveError = "write 'x.wav': No space left on device";
    outcome.recordHost = Detail("hw:1,0", "snd_pcm_readi", 32, "Broken pipe", false, 2, 512);
    std::string json = OutcomeJson(outcome, ExitDeviceFailed);
    EXPECT_NE(json.find("\"savedTo\": null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"saveError\": \"write 'x.wav': No space left on device\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"host\": {\n      \"device\": \"hw:1,0\",\n      \"call\": \"snd_pcm_readi\",\n"
                        "      \"error\": 32,\n      \"text\": \"Broken pipe\",\n      \"lost\": false,\n"
                        "      \"xruns\": 2,\n      \"framesLost\": 512\n    }"),
              std::string::npos)
        << json;
    // The output test did not run: no detail to give.
    EXPECT_NE(json.find("\"host\": null"), std::string::npos) << json;

    CCliOutcome saved;
    saved.savedPath = "take.wav";
    json = OutcomeJson(saved, ExitCompleted);
    EXPECT_NE(json.find("\"savedTo\": \"take.wav\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"saveError\": null"), std::string::npos) << json;
}
