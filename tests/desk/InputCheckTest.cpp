// SPDX-License-Identifier: GPL-3.0-or-later
// "Check the input" over the virtual input on the fake clock: the meters
// move with every slice, the whole recording arrives gap-free and is
// analysed, and a refusal, a failing device, a stalled one and a cancel
// each end it with the reason.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/backends/VirtualWaveApi.h"
#include "desk/InputCheck.h"
#include "support/FakeServices.h"

namespace {

InputCheckRequest Request(int channels, int rate, int bits, int validBits)
{
    InputCheckRequest r;
    r.device = 0;
    r.deviceName = "Tallowmere Virtual Input";
    r.channels = channels;
    r.sampleRate = rate;
    r.bits = bits;
    r.validBits = validBits;
    r.seconds = 1;
    return r;
}

TEST(InputCheck, MetersEverySliceThenAnalysesTheWholeRecording)
{
    CFakeServicesScope services;
    CScopedVirtualWaveApi virtualApi;
    InputCheckRequest extended = Request(2, 192000, 32, 24);
    extended.extended = true;
    for (const InputCheckRequest& request : {Request(1, 44100, 16, 16), extended, Request(2, 48000, 8, 8),
                                             Request(1, 96000, 24, 24)}) {
        SCOPED_TRACE(std::to_string(request.sampleRate) + " Hz " + std::to_string(request.bits) + " bits");
        std::vector<LevelUpdate> updates;
        InputCheckHooks hooks;
        hooks.onLevels = [&updates](const LevelUpdate& u) { updates.push_back(u); };
        InputCheckResult result;
        ASSERT_EQ(RunInputCheck(request, hooks, result), InputCheckOutcome::Analysed) << result.error;

        // A slice a fortieth of a second long (rounded down to whole
        // frames): 40 updates for one second, and one for what is left.
        const int sliceFrames = request.sampleRate / InputCheckSlicesPerSecond;
        const int slices = (request.sampleRate + sliceFrames - 1) / sliceFrames;
        EXPECT_EQ(updates.size(), static_cast<std::size_t>(slices));
        EXPECT_EQ(updates.back().percent, 100);
        EXPECT_NEAR(updates.back().seconds, 1.0, 1e-9);
        // The last slice may hold a few frames only, short of a peak.
        for (std::size_t i = 0; i + 1 < updates.size(); ++i) {
            const LevelUpdate& u = updates[i];
            ASSERT_EQ(u.channels.size(), static_cast<std::size_t>(request.channels));
            // The virtual input's 440 Hz sine at half of full scale.
            EXPECT_NEAR(u.channels[0].peakDbfs, -6.02, 0.3);
        }
        const SignalAnalysis& a = result.analysis.analysis;
        ASSERT_TRUE(a.ok) << a.error;
        EXPECT_EQ(a.frames, static_cast<std::uint64_t>(request.sampleRate));
        EXPECT_EQ(a.requestedValidBits, request.validBits);
        EXPECT_NEAR(a.channel[0].tone.frequencyHz, 440, 0.5);
        EXPECT_EQ(a.dropoutCount, 0u) << "a slice was lost between slots";
        EXPECT_EQ(result.recording.size(),
                  static_cast<std::size_t>(request.sampleRate * request.channels * request.bits / 8));
    }
}

TEST(InputCheck, RefusesWhatItCannotRecordBeforeOpeningAnything)
{
    CFakeServicesScope services;
    CScopedVirtualWaveApi virtualApi;
    struct Case {
        const char* name;
        InputCheckRequest request;
        const char* why;
    };
    InputCheckRequest noDevice = Request(1, 44100, 16, 16);
    noDevice.device = -1;
    InputCheckRequest tooLong = Request(1, 44100, 16, 16);
    tooLong.seconds = 101;
    const Case cases[] = {
        {"no device", noDevice, "no input device"},
        {"three channels", Request(3, 44100, 16, 16), "1 or 2 channels"},
        {"20-bit container", Request(1, 44100, 20, 16), "8, 16, 24 or 32"},
        {"valid above container", Request(1, 44100, 16, 17), "valid bits"},
        {"rate", Request(1, 999, 16, 16), "rate"},
        {"past 100 seconds", tooLong, "1 to 100 seconds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InputCheckResult result;
        EXPECT_EQ(RunInputCheck(c.request, {}, result), InputCheckOutcome::Refused);
        EXPECT_NE(result.error.find(c.why), std::string::npos) << result.error;
    }
    EXPECT_TRUE(virtualApi.api.Device(WaveDirection::Input, 0).calls.empty());
}

TEST(InputCheck, AFailingStalledOrCancelledDeviceEndsTheCheckWithTheReason)
{
    CFakeServicesScope services;
    {
        CScopedVirtualWaveApi virtualApi;
        virtualApi.api.Device(WaveDirection::Input, 0).open.next.push_back(WaveErrAllocated);
        InputCheckResult result;
        EXPECT_EQ(RunInputCheck(Request(1, 44100, 16, 16), {}, result), InputCheckOutcome::DeviceFailed);
        EXPECT_EQ(result.code, WaveErrAllocated);
        EXPECT_NE(result.error.find("open failed with code 4"), std::string::npos) << result.error;
    }
    {
        CScopedVirtualWaveApi virtualApi;
        virtualApi.api.Device(WaveDirection::Input, 0).start.next.push_back(WaveErrNoMemory);
        InputCheckResult result;
        EXPECT_EQ(RunInputCheck(Request(1, 44100, 16, 16), {}, result), InputCheckOutcome::DeviceFailed);
        EXPECT_NE(result.error.find("start failed with code 7"), std::string::npos) << result.error;
        // The device layer said so too, through the services.
        EXPECT_FALSE(services.fake.messages.empty());
    }
    {
        CScopedVirtualWaveApi virtualApi;
        virtualApi.api.Device(WaveDirection::Input, 0).buffersNeverComplete = true;
        InputCheckResult result;
        EXPECT_EQ(RunInputCheck(Request(1, 44100, 16, 16), {}, result), InputCheckOutcome::DeviceFailed);
        EXPECT_NE(result.error.find("delivered nothing"), std::string::npos) << result.error;
        EXPECT_FALSE(virtualApi.api.Device(WaveDirection::Input, 0).isOpen);
    }
    {
        CScopedVirtualWaveApi virtualApi;
        int updates = 0;
        InputCheckHooks hooks;
        hooks.onLevels = [&updates](const LevelUpdate&) { ++updates; };
        hooks.cancelRequested = [&updates] { return updates == 5; };
        InputCheckResult result;
        EXPECT_EQ(RunInputCheck(Request(2, 48000, 16, 16), hooks, result), InputCheckOutcome::Cancelled);
        EXPECT_EQ(updates, 5);
        EXPECT_EQ(result.error, "the check was cancelled");
        EXPECT_FALSE(virtualApi.api.Device(WaveDirection::Input, 0).isOpen);
    }
}

} // namespace
