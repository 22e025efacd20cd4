// SPDX-License-Identifier: GPL-3.0-or-later
// The device layer over the virtual back end: construction, open in both
// format descriptions, buffers with the pre-roll and the retry after 34,
// start and restart, polling and close, with every failure message.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/WaveDevice.h"
#include "audio/backends/TestSignal.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

using Message = CFakeServices::Message;
const Message IoFail{"IDS_DEVICE_IO_FAIL", MessageIcon::Error};

class WaveDeviceTest : public ::testing::Test {
protected:
    CFakeServicesScope services;
    CScopedVirtualWaveApi wave;
    CFakeServices& fake = services.fake;
    CVirtualWaveApi& api = wave.api;

    VirtualDevice& In(std::uint32_t index = 0) { return api.Device(WaveDirection::Input, index); }
    VirtualDevice& Out(std::uint32_t index = 0) { return api.Device(WaveDirection::Output, index); }
};

// --- construction and the device count ---------------------------------

TEST_F(WaveDeviceTest, NoDeviceOfTheDirectionIsReportedAtOpenOnly)
{
    api.SetDevices(WaveDirection::Input, {});
    CWaveInDevice device(0);
    EXPECT_EQ(device.GetDeviceIndex(), -1);
    EXPECT_TRUE(fake.messages.empty());

    EXPECT_EQ(device.Open(nullptr, 16), WaveErrBadDeviceId);
    EXPECT_EQ(fake.messages, (std::vector<Message>{{"IDS_NO_SOUND_CARD", MessageIcon::Error}}));
    EXPECT_FALSE(device.IsOpen());

    std::vector<std::uint8_t> data(100);
    WaveResult code = 77;
    EXPECT_EQ(device.AddBuffer(data.data(), 100, 0, &code), 0);
    EXPECT_EQ(fake.messages.back(), IoFail);
    EXPECT_EQ(code, 77);
    EXPECT_EQ(device.IsBufferDone(0), 1);
}

TEST_F(WaveDeviceTest, IndexBeyondTheCountFailsTheProbeAndIsClampedAtOpen)
{
    api.SetDevices(WaveDirection::Output, {CVirtualWaveApi::MakeDevice("A"), CVirtualWaveApi::MakeDevice("B"),
                                           CVirtualWaveApi::MakeDevice("C")});
    CWaveOutDevice device(5);
    EXPECT_EQ(fake.messages, (std::vector<Message>{{"IDS_DEVICE_IO_FAIL", MessageIcon::None}}));
    EXPECT_STREQ(device.GetDeviceName(), "");
    EXPECT_EQ(device.GetDeviceIndex(), 5);

    EXPECT_EQ(device.Open(nullptr, 16), WaveNoError);
    EXPECT_EQ(device.GetDeviceIndex(), 2);
    EXPECT_TRUE(Out(2).isOpen);
}

TEST_F(WaveDeviceTest, IndexMinusOneWithDevicesOpensNothingSilently)
{
    CWaveInDevice device(-1);
    EXPECT_EQ(device.Open(nullptr, 16), WaveErrBadDeviceId);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_TRUE(In().calls.empty());
}

TEST_F(WaveDeviceTest, HeaderAllocationFailureMakesTheDeviceUnusable)
{
    std::size_t limit = CZeroBlock::Limit();
    CZeroBlock::SetLimit(sizeof(WaveHeader) - 1);
    CWaveInDevice device(0);
    CZeroBlock::SetLimit(limit);

    EXPECT_TRUE(device.IsHeaderAllocFailed());
    EXPECT_EQ(fake.messages, (std::vector<Message>{{"IDS_OUT_OF_MEMORY", MessageIcon::Error}}));
    EXPECT_EQ(device.Open(nullptr, 16), WaveErrNoMemory);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(In().calls.empty());
}

TEST_F(WaveDeviceTest, NewHeadersAreIdleAndDone)
{
    CWaveOutDevice device(0);
    for (std::uint16_t slot = 0; slot < WaveSlotCount; ++slot) {
        const WaveHeader* header = device.GetHeader(slot);
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->data, nullptr);
        EXPECT_EQ(header->flags.load(), WaveHeaderDone);
        EXPECT_EQ(device.IsBufferDone(slot), 1);
    }
}

// --- format descriptions -----------------------------------------------

TEST_F(WaveDeviceTest, StandardOpenSendsTheValidBitsAsBitsPerSample)
{
    CWaveInDevice device(0);
    device.SetFormat(48000, 2, 3);
    // 20 bits do not fill a 3-byte container: the description is refused.
    EXPECT_EQ(device.Open(nullptr, 20), WaveErrNotSupported);
    ASSERT_EQ(In().openedFormats.size(), 1u);
    const std::vector<std::uint8_t> expected = {
        0x01, 0x00,             // PCM
        0x02, 0x00,             // channels
        0x80, 0xBB, 0x00, 0x00, // 48000 Hz
        0x00, 0x65, 0x04, 0x00, // 288000 bytes/s
        0x06, 0x00,             // block align 3 x 2
        0x14, 0x00};            // 20 bits
    EXPECT_EQ(In().openedFormats[0], expected);
}

TEST_F(WaveDeviceTest, ExtendedOpenSendsContainerAndValidBitsApart)
{
    CWaveInDevice device(0);
    device.SetFormat(48000, 1, 3);
    EXPECT_EQ(device.OpenExtended(nullptr, 20), WaveNoError);
    ASSERT_EQ(In().openedFormats.size(), 1u);
    const std::vector<std::uint8_t> expected = {
        0xFE, 0xFF,             // extensible
        0x01, 0x00,             // mono
        0x80, 0xBB, 0x00, 0x00, // 48000 Hz
        0x80, 0x32, 0x02, 0x00, // 144000 bytes/s
        0x03, 0x00,             // block align
        0x18, 0x00,             // 24-bit container
        0x16, 0x00,             // 22 more bytes
        0x14, 0x00,             // 20 valid bits
        0x03, 0x00, 0x00, 0x00, // front left and right, even for mono
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}; // PCM sub-format
    EXPECT_EQ(In().openedFormats[0], expected);
}

TEST_F(WaveDeviceTest, RepairedFormatIsRefusedWithoutOpening)
{
    CWaveInDevice device(0);
    for (auto [rate, channels, width] : {std::tuple{0, 2, 2}, {44100, 3, 2}, {44100, 0, 2}, {44100, 2, 5}}) {
        device.SetFormat(rate, static_cast<std::uint16_t>(channels), static_cast<std::uint16_t>(width));
        EXPECT_EQ(device.Open(nullptr, 16), WaveErrNotSupported);
        EXPECT_EQ(device.OpenExtended(nullptr, 16), WaveErrNotSupported);
    }
    EXPECT_TRUE(In().calls.empty());
    device.SetFormat(44100, 2, 2);
    EXPECT_EQ(device.Open(nullptr, 16), WaveNoError);
}

// --- open ----------------------------------------------------------------

TEST_F(WaveDeviceTest, OpenFailureReturnsTheCodeWithoutMessage)
{
    Out().open.always = WaveErrAllocated;
    CWaveOutDevice device(0);
    EXPECT_EQ(device.Open(nullptr, 16), WaveErrAllocated);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(WaveDeviceTest, OutputIsPausedAfterOpenAndSilentUntilRestart)
{
    CWaveOutDevice device(0);
    device.SetFormat(8000, 1, 1);
    ASSERT_EQ(device.Open(nullptr, 8), WaveNoError);
    EXPECT_EQ(Out().calls, (std::vector<std::string>{"Open", "Pause"}));

    std::vector<std::uint8_t> tone(800, 0x55);
    WaveResult code = 99;
    ASSERT_EQ(device.AddBuffer(tone.data(), 800, 0, 0, &code), 1);
    EXPECT_EQ(code, WaveNoError);
    fake.Sleep(1000);
    EXPECT_EQ(device.IsBufferDone(0), 0);
    EXPECT_TRUE(Out().played.empty());

    ASSERT_EQ(device.Restart(&code), 1);
    fake.Sleep(99);
    EXPECT_EQ(device.IsBufferDone(0), 0);
    fake.Sleep(1);
    EXPECT_EQ(device.IsBufferDone(0), 1);
    EXPECT_EQ(Out().played, tone);
}

TEST_F(WaveDeviceTest, OpenOnAnOpenDeviceClosesItFirst)
{
    CWaveInDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    ASSERT_EQ(device.OpenExtended(nullptr, 16), WaveNoError);
    EXPECT_EQ(In().calls, (std::vector<std::string>{"Open", "Reset", "Close", "Open"}));
}

// --- buffers -------------------------------------------------------------

TEST_F(WaveDeviceTest, BadArgumentsToAddBufferAreRefusedQuietly)
{
    CWaveInDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(64);
    WaveResult code = 77;
    EXPECT_EQ(device.AddBuffer(data.data(), 64, 3, &code), 0);
    EXPECT_EQ(device.AddBuffer(nullptr, 64, 0, &code), 0);
    EXPECT_EQ(device.AddBuffer(data.data(), 0, 0, &code), 0);
    EXPECT_EQ(code, 77);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_TRUE(device.IsOpen());
}

TEST_F(WaveDeviceTest, ReusedSlotIsPreparedAgainAfterUnprepared)
{
    CWaveOutDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> first(40), second(80);
    WaveResult code = 99;
    ASSERT_EQ(device.AddBuffer(first.data(), 40, 0, 0, &code), 1);
    ASSERT_EQ(device.Restart(), 1);
    fake.Sleep(10);
    ASSERT_EQ(device.IsBufferDone(0), 1);

    ASSERT_EQ(device.AddBuffer(second.data(), 80, 0, 0, &code), 1);
    EXPECT_EQ(code, WaveNoError);
    EXPECT_EQ(Out().calls, (std::vector<std::string>{"Open", "Pause", "Prepare 40", "Queue 40", "Restart",
                                                     "Queue 80", "Prepare 80", "Queue 80"}));
    EXPECT_TRUE(fake.messages.empty());
}

// The device layer rewrites the slot's header before the back end can say
// the slot is busy; the buffer in flight must still be the one filled, and
// the new, shorter one must not be written at all.
TEST_F(WaveDeviceTest, SlotStillInFlightIsNotQueuedAgain)
{
    CWaveInDevice device(0);
    device.SetFormat(8000, 1, 1);
    ASSERT_EQ(device.Open(nullptr, 8), WaveNoError);
    std::vector<std::uint8_t> first(8000);
    ASSERT_EQ(device.AddBuffer(first.data(), 8000, 0), 1);
    ASSERT_EQ(device.Start(), 1);
    fake.Sleep(500);
    ASSERT_EQ(device.IsBufferDone(0), 0);

    std::vector<std::uint8_t> second(100, 0xEE);
    WaveResult code = 0;
    EXPECT_EQ(device.AddBuffer(second.data(), 10, 0, &code), 0);
    EXPECT_EQ(code, WaveErrStillPlaying);
    EXPECT_EQ(fake.messages, std::vector<Message>{IoFail});
    EXPECT_TRUE(device.IsOpen());

    fake.Sleep(500);
    EXPECT_EQ(device.IsBufferDone(0), 1);
    EXPECT_EQ(second, std::vector<std::uint8_t>(100, 0xEE));
    std::vector<std::uint8_t> expected(8000);
    WriteTestSignal(expected.data(), 0, 8000, WaveFormatInfo{false, 1, 8000, 1, 8, 1});
    EXPECT_EQ(first, expected);
}

TEST_F(WaveDeviceTest, FailedRetryAfterUnpreparedLeavesTheDeviceOpen)
{
    In().queue.next = {WaveErrUnprepared, WaveErrNoMemory};
    CWaveInDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(40);
    WaveResult code = 0;
    EXPECT_EQ(device.AddBuffer(data.data(), 40, 0, &code), 0);
    EXPECT_EQ(code, WaveErrNoMemory);
    EXPECT_EQ(fake.messages, std::vector<Message>{IoFail});
    EXPECT_TRUE(device.IsOpen());
}

TEST_F(WaveDeviceTest, UnpreparedOnceIsRetriedAndSucceeds)
{
    Out().queue.next = {WaveErrUnprepared};
    CWaveOutDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(40);
    WaveResult code = 99;
    EXPECT_EQ(device.AddBuffer(data.data(), 40, 0, 0, &code), 1);
    EXPECT_EQ(code, WaveNoError);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(WaveDeviceTest, PrepareFailureClosesAnInputButNotAnOutput)
{
    In().prepare.always = WaveErrNoMemory;
    Out().prepare.always = WaveErrNoMemory;
    std::vector<std::uint8_t> data(40);

    CWaveInDevice input(0);
    ASSERT_EQ(input.Open(nullptr, 16), WaveNoError);
    WaveResult code = 0;
    EXPECT_EQ(input.AddBuffer(data.data(), 40, 0, &code), 0);
    EXPECT_EQ(code, WaveErrNoMemory);
    EXPECT_FALSE(input.IsOpen());
    EXPECT_FALSE(In().isOpen);

    CWaveOutDevice output(0);
    ASSERT_EQ(output.Open(nullptr, 16), WaveNoError);
    EXPECT_EQ(output.AddBuffer(data.data(), 40, 0, 0, &code), 0);
    EXPECT_EQ(code, WaveErrNoMemory);
    EXPECT_TRUE(output.IsOpen());
    EXPECT_EQ(fake.messages, (std::vector<Message>{IoFail, IoFail}));
}

TEST_F(WaveDeviceTest, QueueFailureOtherThanUnpreparedClosesAnInputOnly)
{
    In().queue.always = WaveErrInvalidParam;
    Out().queue.always = WaveErrInvalidParam;
    std::vector<std::uint8_t> data(40);
    WaveResult code = 0;

    CWaveInDevice input(0);
    ASSERT_EQ(input.Open(nullptr, 16), WaveNoError);
    EXPECT_EQ(input.AddBuffer(data.data(), 40, 0, &code), 0);
    EXPECT_EQ(code, WaveErrInvalidParam);
    EXPECT_FALSE(input.IsOpen());

    CWaveOutDevice output(0);
    ASSERT_EQ(output.Open(nullptr, 16), WaveNoError);
    EXPECT_EQ(output.AddBuffer(data.data(), 40, 0, 0, &code), 0);
    EXPECT_TRUE(output.IsOpen());
    EXPECT_EQ(fake.messages, (std::vector<Message>{IoFail, IoFail}));
}

TEST_F(WaveDeviceTest, LoopingOutputHeaderAsksToRepeat)
{
    CWaveOutDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(40);
    ASSERT_EQ(device.AddBuffer(data.data(), 40, 1, 1), 1);
    const WaveHeader* header = device.GetHeader(1);
    EXPECT_EQ(header->loops, WaveLoopForever);
    EXPECT_EQ(header->flags.load() & (WaveHeaderBeginLoop | WaveHeaderEndLoop), WaveHeaderBeginLoop | WaveHeaderEndLoop);
    ASSERT_EQ(device.Restart(), 1);
    fake.Sleep(5000);
    EXPECT_EQ(device.IsBufferDone(1), 0);
}

// --- the pre-roll of "DAL" cards -----------------------------------------

TEST_F(WaveDeviceTest, DalCardQueuesSilenceAheadOfEachFirstBuffer)
{
    api.SetDevices(WaveDirection::Input, {CVirtualWaveApi::MakeDevice("DAL CardD")});
    CWaveInDevice device(0);
    ASSERT_TRUE(device.IsPreRollRequired());
    ASSERT_NE(device.GetPreRollBuffer(), nullptr);
    device.SetFormat(8000, 1, 2);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);

    std::vector<std::uint8_t> data(16000, 0xEE);
    ASSERT_EQ(device.AddBuffer(data.data(), 16000, 0), 1);
    EXPECT_EQ(device.GetHeader(2)->bufferLength, PreRollLength);
    ASSERT_EQ(device.Start(), 1);
    // The first 10000 bytes (5000 frames) land in the pre-roll block.
    fake.Sleep(625);
    EXPECT_EQ(device.IsBufferDone(2), 1);
    EXPECT_EQ(device.IsBufferDone(0), 0);
    fake.Sleep(1000);
    EXPECT_EQ(device.IsBufferDone(0), 1);
    std::vector<std::uint8_t> expected(16000);
    WaveFormatInfo info{false, 1, 8000, 2, 16, 2};
    WriteTestSignal(expected.data(), 5000, 8000, info);
    EXPECT_EQ(data, expected);

    // Queued again after a close and a new open; not a second time.
    device.Close();
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    In().calls.clear();
    ASSERT_EQ(device.AddBuffer(data.data(), 16000, 0), 1);
    ASSERT_EQ(device.AddBuffer(data.data(), 16000, 1), 1);
    EXPECT_EQ(In().calls, (std::vector<std::string>{"Prepare 10000", "Queue 10000", "Prepare 16000",
                                                    "Queue 16000", "Prepare 16000", "Queue 16000"}));
}

TEST_F(WaveDeviceTest, DalCardThatIsNotOpenUsesUpThePreRoll)
{
    api.SetDevices(WaveDirection::Output, {CVirtualWaveApi::MakeDevice("DAL CardD")});
    CWaveOutDevice device(0);
    std::vector<std::uint8_t> data(40);
    EXPECT_EQ(device.AddBuffer(data.data(), 40, 0, 0), 0);
    EXPECT_EQ(fake.messages, (std::vector<Message>{IoFail, IoFail}));

    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    Out().calls.clear();
    ASSERT_EQ(device.AddBuffer(data.data(), 40, 0, 0), 1);
    EXPECT_EQ(Out().calls, (std::vector<std::string>{"Prepare 40", "Queue 40"}));
}

TEST_F(WaveDeviceTest, PreRollThatCannotBeAllocatedIsSkipped)
{
    api.SetDevices(WaveDirection::Output, {CVirtualWaveApi::MakeDevice("DAL CardD")});
    std::size_t limit = CZeroBlock::Limit();
    CZeroBlock::SetLimit(PreRollLength - 1);
    CWaveOutDevice device(0);
    CZeroBlock::SetLimit(limit);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(device.GetPreRollBuffer(), nullptr);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(40);
    ASSERT_EQ(device.AddBuffer(data.data(), 40, 0, 0), 1);
    EXPECT_EQ(device.GetHeader(2)->bufferLength, 0u);
    EXPECT_TRUE(device.IsPreRollSent());
}

// --- start, restart, polling and close ------------------------------------

TEST_F(WaveDeviceTest, RecordingCompletesOnTheVirtualClock)
{
    CWaveInDevice device(0);
    device.SetFormat(44100, 2, 2);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(4 * 44100 * 4, 0xEE);
    ASSERT_EQ(device.AddBuffer(data.data(), static_cast<std::uint32_t>(data.size()), 0), 1);
    std::uint32_t before = fake.now;
    WaveResult code = 99;
    ASSERT_EQ(device.Start(&code), 1);
    EXPECT_EQ(code, WaveNoError);
    EXPECT_EQ(device.GetStartTime(), before);
    int polls = 0;
    while (!device.IsBufferDone(0)) {
        fake.Sleep(100);
        ++polls;
    }
    EXPECT_EQ(polls, 40);
    EXPECT_EQ(device.GetHeader(0)->bytesRecorded.load(), data.size());
    // Sample 11 of the 440 Hz test signal, both channels, not silence.
    std::int16_t left = 0, right = 0;
    std::memcpy(&left, &data[11 * 4], 2);
    std::memcpy(&right, &data[11 * 4 + 2], 2);
    EXPECT_EQ(left, TestSignalValue(11, 44100, 16, 16));
    EXPECT_EQ(left, right);
    EXPECT_GT(left, 3000);
}

TEST_F(WaveDeviceTest, StartTwiceDoesNotReachTheBackEnd)
{
    CWaveInDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    ASSERT_EQ(device.Start(), 1);
    WaveResult code = 77;
    EXPECT_EQ(device.Start(&code), 0);
    EXPECT_EQ(code, 77);
    EXPECT_EQ(In().calls, (std::vector<std::string>{"Open", "Start"}));
}

TEST_F(WaveDeviceTest, StartFailureClosesAndStaysStarted)
{
    In().start.always = WaveErrNoDriver;
    CWaveInDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    WaveResult code = 0;
    EXPECT_EQ(device.Start(&code), 0);
    EXPECT_EQ(code, WaveErrNoDriver);
    EXPECT_EQ(fake.messages, std::vector<Message>{IoFail});
    EXPECT_FALSE(device.IsOpen());
    EXPECT_TRUE(device.IsStarted());
}

TEST_F(WaveDeviceTest, RestartFailureCloses)
{
    Out().start.always = WaveErrUnspecified;
    CWaveOutDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    WaveResult code = 0;
    EXPECT_EQ(device.Restart(&code), 0);
    EXPECT_EQ(code, WaveErrUnspecified);
    EXPECT_EQ(fake.messages, std::vector<Message>{IoFail});
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.Restart(&code), 0);
    EXPECT_EQ(fake.messages.size(), 1u);
}

TEST_F(WaveDeviceTest, StartOrRestartOnAClosedDeviceDoesNothing)
{
    CWaveInDevice input(0);
    CWaveOutDevice output(0);
    EXPECT_EQ(input.Start(), 0);
    EXPECT_EQ(output.Restart(), 0);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(WaveDeviceTest, BufferThatNeverCompletesStaysNotDone)
{
    In().buffersNeverComplete = true;
    CWaveInDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(400);
    ASSERT_EQ(device.AddBuffer(data.data(), 400, 0), 1);
    ASSERT_EQ(device.Start(), 1);
    fake.Sleep(60000);
    EXPECT_EQ(device.IsBufferDone(0), 0);
    device.Close();
    EXPECT_EQ(device.IsBufferDone(0), 1);
}

TEST_F(WaveDeviceTest, CloseResetsUnpreparesAndClosesOnce)
{
    CWaveOutDevice device(0);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(40);
    ASSERT_EQ(device.AddBuffer(data.data(), 40, 1, 0), 1);
    Out().calls.clear();
    device.Close();
    device.Close();
    EXPECT_EQ(Out().calls, (std::vector<std::string>{"Pause", "Reset", "Unprepare 40", "Close"}));
    EXPECT_FALSE(Out().isOpen);
    for (std::uint16_t slot = 0; slot < WaveSlotCount; ++slot) {
        EXPECT_EQ(device.IsBufferDone(slot), 1);
        EXPECT_EQ(device.GetHeader(slot)->bufferLength, 0u);
        EXPECT_EQ(device.IsPrepared(slot), 0);
    }
}

TEST_F(WaveDeviceTest, DestructionClosesAnOpenDevice)
{
    {
        CWaveInDevice device(0);
        ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
        ASSERT_EQ(device.Start(), 1);
    }
    EXPECT_FALSE(In().isOpen);
    EXPECT_EQ(In().calls.back(), "Close");
}

} // namespace
