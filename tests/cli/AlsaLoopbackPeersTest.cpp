// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli --loopback beside alsabat on the test plugin's loopback
// pair ("loop" of the hermetic configuration, whose capture hears its
// playback LoopDelayFrames later), each also against that truth: the tone
// frequency both find, and the round-trip latency. alsabat counts captured
// frames, a period at a time, from the moment it decides to play, and its
// tone starts behind a full playback buffer, so its figure is the delay and
// its buffer to within one of its periods.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ProcessRunner.h"
#include "audio/AlsaTestConfig.h"

namespace {

constexpr unsigned Rate = 48000;

bool Have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// A clean environment: alsabat mistakes a stale errno from looking up
// translations for a failure. In a sanitizer build it needs their runtimes
// to load the plugin (its own leaks are none of ours).
std::string Alsabat(const std::string& arguments)
{
    const std::filesystem::path& directory = alsatest::Install();
    std::string preload = TALLOWMERE_TOOL_PRELOAD;
    if (!preload.empty())
        preload = "LD_PRELOAD='" + preload + "' ASAN_OPTIONS=detect_leaks=0 ";
    return CommandOutput("cd '" + directory.string() + "' && env -i PATH=/usr/bin:/bin LC_ALL=C " + preload +
                         "ALSA_CONFIG_PATH='" + (directory / "asound.conf").string() + "' timeout 120 alsabat -D loop " +
                         arguments + " 2>&1");
}

// The numbers that follow each occurrence of `label`.
std::vector<double> NumbersAfter(const std::string& text, const std::string& label)
{
    std::vector<double> numbers;
    for (std::size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1))
        numbers.push_back(std::atof(text.c_str() + at + label.size()));
    return numbers;
}

class AlsaLoopbackPeers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { alsatest::Install(); }
    static void TearDownTestSuite() { alsatest::Remove(); }
    void SetUp() override
    {
        if (!Have("alsabat"))
            GTEST_SKIP() << "alsabat is not installed";
    }
};

// tallowmere-cli --loopback on the same pair, 16-bit at 48 kHz: its JSON
// result, or null with the reason in `why`.
JsonValue Tallowmere(const std::vector<std::string>& flags, std::string& why)
{
    std::vector<std::string> arguments = {"--loopback", "--input", "Loopback test device", "--output",
                                          "Loopback test device", "--rate", "48000", "--bits", "16", "--json"};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    std::string config = (alsatest::Install() / "asound.conf").string();
    ProcessResult run = RunProgram(arguments, {{"TALLOWMERE_AUDIO", "alsa"}, {"ALSA_CONFIG_PATH", config}});
    JsonValue json;
    if (run.status != 0 || !ParseJson(run.out, json) || json["loopback"]["outcome"].text != "measured") {
        why = "status " + std::to_string(run.status) + "\n" + run.out + run.err;
        return JsonValue{};
    }
    return json["loopback"];
}

// Its spectrum has bins of rate / 32768 and no interpolation: the same
// frequency is the same to within one bin.
constexpr double AlsabatBin = static_cast<double>(Rate) / 32768;

TEST_F(AlsaLoopbackPeers, ToneFrequencyIsAlsabatsInEveryChannel)
{
    std::string output = Alsabat("-c 2 -r 48000 -f S16_LE -n 48000 -F 1000");
    std::vector<double> peaks = NumbersAfter(output, "Detected peak at ");
    ASSERT_EQ(peaks.size(), 2u) << output;
    for (double peak : peaks)
        EXPECT_NEAR(peak, 1000, AlsabatBin) << output;
    EXPECT_NE(output.find("Return value is 0"), std::string::npos) << output;

    std::string why;
    JsonValue ours = Tallowmere({"--channels", "2", "--measure", "thd"}, why);
    ASSERT_EQ(ours.kind, JsonValue::Kind::Object) << why;
    ASSERT_EQ(ours["channel"].items.size(), 2u);
    for (std::size_t c = 0; c < 2; ++c) {
        EXPECT_NEAR(ours["channel"].items[c]["toneFrequencyHz"].number, peaks[c], AlsabatBin) << "channel " << c + 1;
        EXPECT_NEAR(ours["channel"].items[c]["gainDb"].number, 0, 0.01) << "the cable has no gain";
    }
}

// tallowmere counts from the frame played to the frame recorded: the delay,
// and how much later than the input the output started. alsabat counts its
// own playback buffer too. Both figures are compared within one period of
// tallowmere's devices (20 ms), which is at least one of alsabat's.
TEST_F(AlsaLoopbackPeers, LatencyIsWithinAPeriodOfAlsabats)
{
    std::string output = Alsabat("-c 1 -r 48000 -f S16_LE --roundtriplatency -E 720 -B 1440");
    // After an xrun it tries again with larger periods: the last set-up is the one measured.
    std::size_t setUp = output.rfind("Get period size: ");
    std::vector<double> latency = NumbersAfter(output, "Final round trip latency: ");
    ASSERT_NE(setUp, std::string::npos) << output;
    ASSERT_EQ(latency.size(), 1u) << output;
    std::string line = output.substr(setUp, output.find('\n', setUp) - setUp);
    double period = NumbersAfter(line, "period size: ").at(0);
    double buffer = NumbersAfter(line, "buffer size: ").at(0);
    double millisecond = Rate / 1000.0; // its figure is whole milliseconds
    double theirs = latency[0] * millisecond;
    EXPECT_NEAR(theirs, alsatest::LoopDelayFrames + buffer, period + millisecond) << output;

    // The start of the output can lag on a loaded machine: the least of a
    // few runs is the cable's.
    const double ourPeriod = std::max(Rate / 50.0, period);
    double ours = 0;
    for (int run = 0; run < 3; ++run) {
        std::string why;
        JsonValue result = Tallowmere({"--channels", "1", "--measure", "latency"}, why);
        ASSERT_EQ(result.kind, JsonValue::Kind::Object) << why;
        double frames = result["latency"]["frames"].number;
        ours = run == 0 ? frames : std::min(ours, frames);
        if (std::abs(ours + buffer - theirs) <= ourPeriod + millisecond && ours <= alsatest::LoopDelayFrames + ourPeriod)
            break;
    }
    EXPECT_GE(ours, alsatest::LoopDelayFrames - 1.0);
    EXPECT_LE(ours, alsatest::LoopDelayFrames + ourPeriod);
    EXPECT_NEAR(ours + buffer, theirs, ourPeriod + millisecond)
        << "tallowmere " << ours << " frames, alsabat " << theirs << " frames with a buffer of " << buffer;
    RecordProperty("tallowmereFrames", std::to_string(ours));
    RecordProperty("alsabatFrames", std::to_string(theirs));
}

} // namespace
