// SPDX-License-Identifier: GPL-3.0-or-later
// alsabat on the test plugin's loopback pair ("loop" of the hermetic
// configuration, whose capture hears its playback LoopDelayFrames later):
// its frequency check finds the tone it played, and its round-trip latency
// is that delay plus what it holds in its own playback buffer. alsabat
// counts captured frames, a period at a time, from the moment it decides to
// play, and its tone starts behind a full playback buffer, so its figure is
// the delay and its buffer to within one of its periods.
#include <gtest/gtest.h>

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

TEST_F(AlsaLoopbackPeers, AlsabatFindsItsToneInEveryChannel)
{
    std::string output = Alsabat("-c 2 -r 48000 -f S16_LE -n 48000 -F 1000");
    std::vector<double> peaks = NumbersAfter(output, "Detected peak at ");
    ASSERT_EQ(peaks.size(), 2u) << output;
    // Its spectrum has bins of rate / 32768 and no interpolation.
    for (double peak : peaks)
        EXPECT_NEAR(peak, 1000, static_cast<double>(Rate) / 32768) << output;
    EXPECT_NE(output.find("Return value is 0"), std::string::npos) << output;
}

TEST_F(AlsaLoopbackPeers, AlsabatRoundTripIsTheDelayAndItsBuffer)
{
    std::string output = Alsabat("-c 1 -r 48000 -f S16_LE --roundtriplatency -E 480 -B 960");
    // After an xrun it tries again with larger periods: the last set-up is the one measured.
    std::size_t setUp = output.rfind("Get period size: ");
    std::vector<double> latency = NumbersAfter(output, "Final round trip latency: ");
    ASSERT_NE(setUp, std::string::npos) << output;
    ASSERT_EQ(latency.size(), 1u) << output;
    std::string line = output.substr(setUp, output.find('\n', setUp) - setUp);
    double period = NumbersAfter(line, "period size: ").at(0);
    double expected = alsatest::LoopDelayFrames + NumbersAfter(line, "buffer size: ").at(0);
    double millisecond = Rate / 1000.0; // its figure is whole milliseconds
    double theirs = latency[0] * millisecond;
    EXPECT_NEAR(theirs, expected, period + millisecond) << output;
}

} // namespace
