// SPDX-License-Identifier: GPL-3.0-or-later
// The full-duplex run on real alsa-lib, over the test plugin's loopback
// pair in real time: the stimulus comes back whole in the capture, the
// cable's delay later plus whatever lay between the two starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "AlsaTestConfig.h"
#include "audio/FullDuplexRun.h"
#include "audio/backends/AlsaWaveApi.h"

namespace {

constexpr std::int32_t Rate = 48000;
constexpr std::uint32_t FrameBytes = 4; // stereo 16-bit

std::int32_t LoopIndex(CAlsaWaveApi& api, WaveDirection direction)
{
    std::vector<AlsaDeviceEntry> list = api.Devices(direction);
    auto found = std::find_if(list.begin(), list.end(), [](const AlsaDeviceEntry& e) { return e.pcmName == "loop"; });
    return found == list.end() ? -1 : static_cast<std::int32_t>(found - list.begin());
}

class AlsaFullDuplex : public ::testing::Test {
protected:
    static void SetUpTestSuite() { alsatest::Install(); }
    static void TearDownTestSuite() { alsatest::Remove(); }
};

TEST_F(AlsaFullDuplex, TheStimulusComesBackWholeAfterTheCablesDelay)
{
    CAlsaWaveApi api;
    std::vector<std::uint8_t> stimulus(Rate / 2 * FrameBytes);
    std::uint32_t state = 7;
    for (std::uint8_t& byte : stimulus) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    FullDuplexRequest request;
    request.inputDevice = LoopIndex(api, WaveDirection::Input);
    request.outputDevice = LoopIndex(api, WaveDirection::Output);
    ASSERT_GE(request.inputDevice, 0);
    ASSERT_GE(request.outputDevice, 0);
    request.sampleRate = Rate;
    request.stimulus = stimulus;
    request.captureBytes = std::uint64_t{Rate} * FrameBytes;

    FullDuplexResult result;
    ASSERT_EQ(RunFullDuplex(api, request, result), 1) << FullDuplexOutcomeText(result.outcome);
    ASSERT_EQ(result.capture.size(), request.captureBytes);
    EXPECT_TRUE(result.playbackDone);

    auto found = std::search(result.capture.begin(), result.capture.end(), stimulus.begin(), stimulus.end());
    ASSERT_NE(found, result.capture.end()) << "the stimulus did not come back byte for byte";
    const auto frame = static_cast<std::int64_t>((found - result.capture.begin()) / FrameBytes);
    // The ticks are whole milliseconds and the workers start the streams a
    // little after the calls return: allow 20 ms beyond the gap they show.
    const std::int64_t gapFrames = std::int64_t{result.outputStartTick - result.inputStartTick} * Rate / 1000;
    EXPECT_GE(frame, alsatest::LoopDelayFrames);
    EXPECT_LE(frame, alsatest::LoopDelayFrames + gapFrames + Rate / 50);
}

} // namespace
