// SPDX-License-Identifier: GPL-3.0-or-later
// The full-duplex run over the virtual devices on the fake clock: a whole
// run, the calls each device sees, Esc, every device step failing, requests
// refused before anything opens, and both format descriptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/FullDuplexRun.h"
#include "audio/backends/TestSignal.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

using Calls = std::vector<std::string>;
const CFakeServices::Message IoFail{"IDS_DEVICE_IO_FAIL", MessageIcon::Error};

constexpr std::uint32_t Rate = 48000;
constexpr std::uint32_t FrameBytes = 4; // stereo 16-bit
constexpr std::uint32_t StimulusBytes = Rate / 2 * FrameBytes;
constexpr std::uint32_t CaptureBytes = Rate * FrameBytes;

class FullDuplexRunTest : public ::testing::Test {
protected:
    CFakeServicesScope services;
    CScopedVirtualWaveApi wave;
    CFakeServices& fake = services.fake;
    CVirtualWaveApi& api = wave.api;
    std::vector<std::uint8_t> stimulus;
    FullDuplexRequest request;
    FullDuplexResult result;

    FullDuplexRunTest() : stimulus(StimulusBytes)
    {
        for (std::size_t i = 0; i < stimulus.size(); ++i)
            stimulus[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
        request.sampleRate = Rate;
        request.channels = 2;
        request.bytesPerSample = 2;
        request.validBits = 16;
        request.stimulus = stimulus;
        request.captureBytes = CaptureBytes;
    }

    VirtualDevice& In() { return api.Device(WaveDirection::Input, 0); }
    VirtualDevice& Out() { return api.Device(WaveDirection::Output, 0); }
    int Run() { return RunFullDuplex(api, request, result); }

    // What the virtual input records from its first frame on.
    std::vector<std::uint8_t> TestSignal(std::uint32_t bytes) const
    {
        WaveFormatInfo info{request.extended, request.channels, Rate, request.bytesPerSample, request.validBits,
                            static_cast<std::uint16_t>(request.channels * request.bytesPerSample)};
        std::vector<std::uint8_t> signal(bytes);
        WriteTestSignal(signal.data(), 0, bytes / info.blockAlign, info);
        return signal;
    }
};

TEST_F(FullDuplexRunTest, CompletesWithTheFullCaptureAndTheStimulusPlayed)
{
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(result.outcome, FullDuplexOutcome::Completed);
    EXPECT_EQ(result.capture, TestSignal(CaptureBytes));
    EXPECT_EQ(Out().played, stimulus);
    EXPECT_TRUE(result.playbackDone);
    // Both released at the same tick, after the settling pause.
    EXPECT_TRUE(result.inputStarted && result.outputStarted);
    EXPECT_EQ(result.inputStartTick, 100000u + FullDuplexSettleMs);
    EXPECT_EQ(result.outputStartTick, result.inputStartTick);
    EXPECT_EQ(result.steps, 10u);
    EXPECT_EQ(fake.sleeps.front(), FullDuplexSettleMs);
    EXPECT_EQ(fake.sleeps.size(), 11u);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_FALSE(In().isOpen);
    EXPECT_FALSE(Out().isOpen);
}

TEST_F(FullDuplexRunTest, EachDeviceSeesTheSequenceOfTheRecordAndPlaybackTest)
{
    ASSERT_EQ(Run(), 1);
    const std::string capture = std::to_string(CaptureBytes);
    const std::string played = std::to_string(StimulusBytes);
    EXPECT_EQ(In().calls, (Calls{"Open", "Prepare " + capture, "Queue " + capture, "Start", "Reset", "Reset",
                                 "Unprepare " + capture, "Close"}));
    EXPECT_EQ(Out().calls, (Calls{"Open", "Pause", "Prepare " + played, "Queue " + played, "Restart", "Pause",
                                  "Reset", "Unprepare " + played, "Close"}));
}

TEST_F(FullDuplexRunTest, TheGivenApiIsCurrentOnlyForTheRun)
{
    CVirtualWaveApi other;
    ASSERT_EQ(RunFullDuplex(other, request, result), 1);
    EXPECT_EQ(other.Device(WaveDirection::Output, 0).played, stimulus);
    EXPECT_TRUE(Out().calls.empty());
    EXPECT_EQ(&WaveApi(), &api);
}

TEST_F(FullDuplexRunTest, TheProgressHookSeesEveryStepAndMayNotThrowPastTheRun)
{
    std::vector<std::uint32_t> steps;
    request.onStep = [&](std::uint32_t step) { steps.push_back(step); };
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(steps, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    request.onStep = [](std::uint32_t step) {
        if (step == 2)
            throw std::runtime_error("display gone");
    };
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(result.outcome, FullDuplexOutcome::Failed);
    EXPECT_EQ(result.failedStep, FullDuplexStep::None);
    EXPECT_TRUE(result.capture.empty());
    EXPECT_FALSE(In().isOpen);
    EXPECT_FALSE(Out().isOpen);
}

TEST_F(FullDuplexRunTest, EscCancelsKeepsWhatWasRecordedAndClosesBoth)
{
    fake.ScriptKeyAt(1, 'q'); // other keys are taken off the queue and ignored
    fake.ScriptKeyAt(3, KeyEscape);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(result.outcome, FullDuplexOutcome::Cancelled);
    EXPECT_EQ(result.steps, 3u);
    const std::uint32_t threeSteps = Rate * 3 * FullDuplexPollMs / 1000 * FrameBytes;
    EXPECT_EQ(result.capture, TestSignal(threeSteps));
    EXPECT_EQ(Out().played, std::vector<std::uint8_t>(stimulus.begin(), stimulus.begin() + threeSteps));
    EXPECT_FALSE(In().isOpen);
    EXPECT_FALSE(Out().isOpen);
}

TEST_F(FullDuplexRunTest, EscInTheStepTheCaptureFillsStillCancels)
{
    fake.ScriptKeyAt(10, KeyEscape);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(result.outcome, FullDuplexOutcome::Cancelled);
    EXPECT_EQ(result.capture.size(), CaptureBytes);
}

TEST_F(FullDuplexRunTest, ADeviceThatNeverFinishes)
{
    // A capture that never fills runs until Esc, however long.
    In().buffersNeverComplete = true;
    fake.ScriptKeyAt(600, KeyEscape);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(result.outcome, FullDuplexOutcome::Cancelled);
    EXPECT_EQ(result.steps, 600u);
    EXPECT_TRUE(result.capture.empty());
    EXPECT_FALSE(In().isOpen);

    // An output that never finishes leaves a capture that cannot hold the
    // whole stimulus: said so, not counted as complete.
    In().buffersNeverComplete = false;
    Out().buffersNeverComplete = true;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(result.outcome, FullDuplexOutcome::PlaybackUnfinished);
    EXPECT_FALSE(result.playbackDone);
    EXPECT_EQ(result.capture.size(), CaptureBytes);
    EXPECT_FALSE(Out().isOpen);
}

// A device the back end says is lost for good ends the run at the next
// step, as a failure of that device's transfer, without waiting for Esc.
TEST_F(FullDuplexRunTest, ALostDeviceEndsTheRunAtOnce)
{
    for (WaveDirection direction : {WaveDirection::Input, WaveDirection::Output}) {
        SCOPED_TRACE(direction == WaveDirection::Input ? "input" : "output");
        VirtualDevice& device = direction == WaveDirection::Input ? In() : Out();
        device.buffersNeverComplete = true;
        device.hostDetail = {};
        // Lost 300 ms into the run, after the settling pause.
        const std::uint32_t lostAt = fake.now + FullDuplexSettleMs + 300;
        fake.onSleep = [&device, lostAt](std::uint32_t now) {
            if (now >= lostAt)
                device.hostDetail.lost = true;
        };
        EXPECT_EQ(Run(), 0);
        fake.onSleep = nullptr;
        EXPECT_EQ(result.outcome, FullDuplexOutcome::Failed);
        EXPECT_EQ(result.failedDirection, direction);
        EXPECT_EQ(result.failedStep, FullDuplexStep::Transfer);
        EXPECT_EQ(result.code, WaveErrNoDriver);
        EXPECT_EQ(result.steps, 3u);
        EXPECT_TRUE(result.capture.empty());
        EXPECT_FALSE(In().isOpen);
        EXPECT_FALSE(Out().isOpen);
        device.buffersNeverComplete = false;
        device.hostDetail = {};
    }
    EXPECT_STREQ(FullDuplexStepText(FullDuplexStep::Transfer), "transfer");
}

struct FailureRow {
    const char* name;
    std::function<void(CVirtualWaveApi&)> inject;
    WaveDirection direction;
    FullDuplexStep step;
    WaveResult code;
    bool messageShown;
    bool prepareFails = false;
};

const FailureRow FailureRows[] = {
    {"InputOpen", [](CVirtualWaveApi& a) { a.Device(WaveDirection::Input, 0).open.next = {WaveErrAllocated}; },
     WaveDirection::Input, FullDuplexStep::Open, WaveErrAllocated, false},
    {"OutputOpen", [](CVirtualWaveApi& a) { a.Device(WaveDirection::Output, 0).open.next = {WaveErrNoDriver}; },
     WaveDirection::Output, FullDuplexStep::Open, WaveErrNoDriver, false},
    {"InputPrepare", [](CVirtualWaveApi& a) { a.Device(WaveDirection::Input, 0).prepare.next = {WaveErrNoMemory}; },
     WaveDirection::Input, FullDuplexStep::Queue, WaveErrNoMemory, true, true},
    {"InputQueue", [](CVirtualWaveApi& a) { a.Device(WaveDirection::Input, 0).queue.next = {WaveErrUnspecified}; },
     WaveDirection::Input, FullDuplexStep::Queue, WaveErrUnspecified, true},
    {"OutputPrepare", [](CVirtualWaveApi& a) { a.Device(WaveDirection::Output, 0).prepare.next = {WaveErrNoMemory}; },
     WaveDirection::Output, FullDuplexStep::Queue, WaveErrNoMemory, true, true},
    {"OutputQueue",
     [](CVirtualWaveApi& a) { a.Device(WaveDirection::Output, 0).queue.next = {WaveErrInvalidParam}; },
     WaveDirection::Output, FullDuplexStep::Queue, WaveErrInvalidParam, true},
    {"OutputQueueRetryFails",
     [](CVirtualWaveApi& a) { a.Device(WaveDirection::Output, 0).queue.next = {WaveErrUnprepared, WaveErrUnspecified}; },
     WaveDirection::Output, FullDuplexStep::Queue, WaveErrUnspecified, true},
    {"InputStart", [](CVirtualWaveApi& a) { a.Device(WaveDirection::Input, 0).start.next = {WaveErrUnspecified}; },
     WaveDirection::Input, FullDuplexStep::Start, WaveErrUnspecified, true},
    {"OutputRestart", [](CVirtualWaveApi& a) { a.Device(WaveDirection::Output, 0).start.next = {WaveErrNoDriver}; },
     WaveDirection::Output, FullDuplexStep::Start, WaveErrNoDriver, true},
};

TEST_F(FullDuplexRunTest, EveryFailedStepIsNamedAndLeavesBothClosedAndUnprepared)
{
    for (const FailureRow& row : FailureRows) {
        SCOPED_TRACE(row.name);
        In() = CVirtualWaveApi::DefaultInput();
        Out() = CVirtualWaveApi::DefaultOutput();
        fake.messages.clear();
        row.inject(api);

        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(result.outcome, FullDuplexOutcome::Failed);
        EXPECT_EQ(result.failedDirection, row.direction);
        EXPECT_EQ(result.failedStep, row.step);
        EXPECT_EQ(result.code, row.code);
        EXPECT_TRUE(result.capture.empty());
        EXPECT_EQ(fake.messages, row.messageShown ? std::vector<CFakeServices::Message>{IoFail}
                                                  : std::vector<CFakeServices::Message>{});
        const bool inputOpenFails = row.direction == WaveDirection::Input && row.step == FullDuplexStep::Open;
        for (VirtualDevice* device : {&In(), &Out()}) {
            SCOPED_TRACE(device->name);
            const bool isInput = device == &In();
            const bool tried = isInput || !inputOpenFails; // the output is opened only after the input
            const bool itsOpenFails =
                row.step == FullDuplexStep::Open && (row.direction == WaveDirection::Input) == isInput;
            const bool opened = tried && !itsOpenFails;
            EXPECT_FALSE(device->isOpen);
            const Calls& calls = device->calls;
            if (!tried) {
                EXPECT_TRUE(calls.empty());
            } else if (!opened) {
                EXPECT_EQ(calls, Calls{"Open"});
            } else {
                EXPECT_EQ(calls.back(), "Close");
            }
            // A header that was prepared is unprepared before the close.
            auto count = [&](const char* call) {
                return std::count_if(calls.begin(), calls.end(),
                                     [&](const std::string& c) { return c.rfind(call, 0) == 0; });
            };
            const bool failedHere = row.prepareFails && (row.direction == WaveDirection::Input) == isInput;
            const bool prepared = count("Prepare") > (failedHere ? 1 : 0);
            EXPECT_EQ(count("Unprepare"), prepared ? 1 : 0);
            if (prepared) {
                EXPECT_EQ(calls.end()[-2].rfind("Unprepare", 0), 0u) << "unprepared just before the close";
            }
        }
    }
}

TEST_F(FullDuplexRunTest, AnUnpreparedQueueRetriedOnceStillCompletes)
{
    Out().queue.next = {WaveErrUnprepared};
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Out().played, stimulus);
}

TEST_F(FullDuplexRunTest, RequestsThatCannotRunAreRefusedBeforeAnythingOpens)
{
    struct Row {
        const char* name;
        std::function<void(FullDuplexRequest&)> change;
        FullDuplexRefusal refusal;
    };
    const std::vector<std::uint8_t> odd(StimulusBytes + 2);
    const Row rows[] = {
        {"NoChannels", [](FullDuplexRequest& r) { r.channels = 0; }, FullDuplexRefusal::Format},
        {"ThreeChannels", [](FullDuplexRequest& r) { r.channels = 3; }, FullDuplexRefusal::Format},
        {"FiveBytes", [](FullDuplexRequest& r) { r.bytesPerSample = 5; }, FullDuplexRefusal::Format},
        {"NoRate", [](FullDuplexRequest& r) { r.sampleRate = 0; }, FullDuplexRefusal::Format},
        {"NoStimulus", [](FullDuplexRequest& r) { r.stimulus = {}; }, FullDuplexRefusal::EmptyStimulus},
        {"HalfFrameStimulus", [&](FullDuplexRequest& r) { r.stimulus = odd; }, FullDuplexRefusal::PartialFrames},
        {"HalfFrameCapture", [](FullDuplexRequest& r) { r.captureBytes += 1; }, FullDuplexRefusal::PartialFrames},
        {"CaptureShorter", [](FullDuplexRequest& r) { r.captureBytes = StimulusBytes - FrameBytes; },
         FullDuplexRefusal::CaptureTooShort},
        {"CaptureBeyond32Bits", [](FullDuplexRequest& r) { r.captureBytes = std::uint64_t{1} << 32; },
         FullDuplexRefusal::TooLarge},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FullDuplexRequest changed = request;
        row.change(changed);
        EXPECT_EQ(RunFullDuplex(api, changed, result), 0);
        EXPECT_EQ(result.outcome, FullDuplexOutcome::Refused);
        EXPECT_EQ(result.refusal, row.refusal);
        EXPECT_TRUE(In().calls.empty() && Out().calls.empty());
        EXPECT_TRUE(fake.sleeps.empty());
    }
    // A capture exactly as long as the stimulus is enough.
    request.captureBytes = StimulusBytes;
    EXPECT_EQ(Run(), 1);
}

TEST_F(FullDuplexRunTest, BothDevicesOpenWithTheDescriptionOfTheApiMode)
{
    request.bytesPerSample = 3;
    request.validBits = 20;
    request.channels = 1;
    std::vector<std::uint8_t> mono(Rate / 10 * 3);
    request.stimulus = mono;
    request.captureBytes = mono.size() * 2;

    request.extended = true;
    ASSERT_EQ(Run(), 1);
    for (VirtualDevice* device : {&In(), &Out()}) {
        ASSERT_EQ(device->openedFormats.size(), 1u);
        ASSERT_EQ(device->openedFormats[0].size(), sizeof(ExtensibleWaveFormat));
        ExtensibleWaveFormat sent;
        std::memcpy(&sent, device->openedFormats[0].data(), sizeof sent);
        EXPECT_EQ(sent.formatTag, WaveFormatTagExtensible);
        EXPECT_EQ(sent.channels, 1);
        EXPECT_EQ(sent.samplesPerSec, Rate);
        EXPECT_EQ(sent.blockAlign, 3);
        EXPECT_EQ(sent.bitsPerSample, 24);
        EXPECT_EQ(sent.validBitsPerSample, 20);
    }
    EXPECT_EQ(result.capture, TestSignal(static_cast<std::uint32_t>(request.captureBytes)));

    // The plain description carries the valid bits as its bits per sample,
    // which no device takes below the container: the input's open says so.
    request.extended = false;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(result.failedDirection, WaveDirection::Input);
    EXPECT_EQ(result.failedStep, FullDuplexStep::Open);
    EXPECT_EQ(result.code, WaveErrNotSupported);
    ASSERT_EQ(In().openedFormats.back().size(), sizeof(PcmWaveFormat));
    PcmWaveFormat plain;
    std::memcpy(&plain, In().openedFormats.back().data(), sizeof plain);
    EXPECT_EQ(plain.formatTag, WaveFormatTagPcm);
    EXPECT_EQ(plain.bitsPerSample, 20);
}

} // namespace
