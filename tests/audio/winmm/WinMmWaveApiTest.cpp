// SPDX-License-Identifier: GPL-3.0-or-later
// Runs against the platform's own WinMM: on Windows the machine's devices,
// under Wine the ALSA devices of the test configuration (one playback and
// one capture device). Needs at least one device each way.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/backends/WinMmWaveApi.h"

namespace {

constexpr std::uint32_t HeaderSize = sizeof(WaveHeader);

PcmWaveFormat Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits)
{
    std::uint16_t block = static_cast<std::uint16_t>(channels * bits / 8);
    return PcmWaveFormat{WaveFormatTagPcm, channels, rate, rate * block, block, bits};
}

ExtensibleWaveFormat Extensible(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::uint16_t valid)
{
    std::uint16_t block = static_cast<std::uint16_t>(channels * bits / 8);
    return ExtensibleWaveFormat{WaveFormatTagExtensible, channels, rate, rate * block, block, bits,
                                ExtensibleFormatExtraBytes, valid, WaveSpeakerFrontLeft | WaveSpeakerFrontRight,
                                WaveSubtypePcm};
}

// Polls like the device layer does; false when the buffer is not done in time.
bool WaitDone(CWaveApi& api, WaveHandle handle, const WaveHeader& header)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        api.Update(handle);
        if (header.flags.load(std::memory_order_acquire) & WaveHeaderDone)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class WinMmWaveApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (api.GetDeviceCount(WaveDirection::Output) == 0 || api.GetDeviceCount(WaveDirection::Input) == 0)
            GTEST_SKIP() << "no WinMM device in one direction";
    }

    CWinMmWaveApi api;
};

TEST_F(WinMmWaveApiTest, CapabilityRecordsComeFromThePlatform)
{
    for (WaveDirection direction : {WaveDirection::Output, WaveDirection::Input}) {
        std::uint16_t count = api.GetDeviceCount(direction);
        WaveDeviceCaps caps;
        ASSERT_EQ(api.GetDeviceCaps(direction, 0, caps), WaveNoError);
        EXPECT_GT(std::strlen(caps.productName), 0u);
        EXPECT_LT(std::strlen(caps.productName), WaveProductNameLength);
        EXPECT_NE(caps.formats, 0u);
        EXPECT_GE(caps.channels, 1);
        EXPECT_EQ(api.GetDeviceCaps(direction, count, caps), WaveErrBadDeviceId);
    }
}

TEST_F(WinMmWaveApiTest, RefusalsBeforeAndFromThePlatform)
{
    PcmWaveFormat pcm = Pcm(1, 44100, 16);
    PcmWaveFormat unknownTag = pcm;
    unknownTag.formatTag = 2;
    struct Row {
        const char* name;
        std::uint32_t device;
        const void* format;
        WaveResult expected;
    } rows[] = {
        {"device beyond the list", api.GetDeviceCount(WaveDirection::Output), &pcm, WaveErrBadDeviceId},
        {"no format", 0, nullptr, WaveErrInvalidParam},
        {"neither PCM nor extensible", 0, &unknownTag, WaveErrInvalidParam},
    };
    for (const Row& row : rows) {
        WaveHandle handle = 99;
        EXPECT_EQ(api.Open(WaveDirection::Output, handle, row.device, row.format, nullptr, 0, WaveCallbackNull),
                  row.expected)
            << row.name;
        EXPECT_EQ(handle, 0u) << row.name;
    }
    WaveHostDetail detail = api.HostDetail(WaveDirection::Output, api.GetDeviceCount(WaveDirection::Output));
    EXPECT_EQ(detail.call, "waveOutOpen");
    EXPECT_EQ(detail.error, WaveErrBadDeviceId);
}

TEST_F(WinMmWaveApiTest, HandlesThatAreNotOpenOrOfTheOtherDirection)
{
    PcmWaveFormat pcm = Pcm(1, 44100, 16);
    WaveHandle input = 0;
    WaveHandle output = 0;
    ASSERT_EQ(api.Open(WaveDirection::Input, input, 0, &pcm, nullptr, 0, WaveCallbackNull), WaveNoError);
    ASSERT_EQ(api.Open(WaveDirection::Output, output, 0, &pcm, nullptr, 0, WaveCallbackNull), WaveNoError);
    WaveHandle unknown = output + input + 100;
    WaveHeader header;
    EXPECT_EQ(api.PrepareHeader(unknown, &header, HeaderSize), WaveErrInvalidHandle);
    EXPECT_EQ(api.QueueBuffer(unknown, &header, HeaderSize), WaveErrInvalidHandle);
    EXPECT_EQ(api.Reset(unknown), WaveErrInvalidHandle);
    EXPECT_EQ(api.Close(unknown), WaveErrInvalidHandle);
    EXPECT_EQ(api.Start(output), WaveErrInvalidHandle);
    EXPECT_EQ(api.Pause(input), WaveErrInvalidHandle);
    EXPECT_EQ(api.Restart(input), WaveErrInvalidHandle);
    EXPECT_EQ(api.PrepareHeader(output, nullptr, HeaderSize), WaveErrInvalidParam);
    EXPECT_EQ(api.PrepareHeader(output, &header, 8), WaveErrInvalidParam);
    // Not prepared: refused, and the platform never sees the buffer.
    std::vector<std::uint8_t> data(64);
    header.data = data.data();
    header.bufferLength = static_cast<std::uint32_t>(data.size());
    EXPECT_EQ(api.QueueBuffer(output, &header, HeaderSize), WaveErrUnprepared);
    EXPECT_EQ(api.Close(input), WaveNoError);
    EXPECT_EQ(api.Close(output), WaveNoError);
    EXPECT_EQ(api.Close(output), WaveErrInvalidHandle);
}

// The device layer's order: open, pause, prepare, write, restart, poll.
TEST_F(WinMmWaveApiTest, PlaybackIsDoneWhenThePlatformSaysSo)
{
    struct Row {
        const char* name;
        bool extensible;
    } rows[] = {{"plain PCM", false}, {"extensible", true}};
    for (const Row& row : rows) {
        PcmWaveFormat pcm = Pcm(2, 44100, 16);
        ExtensibleWaveFormat extensible = Extensible(2, 44100, 16, 16);
        const void* format = row.extensible ? static_cast<const void*>(&extensible) : &pcm;
        WaveHandle handle = 0;
        ASSERT_EQ(api.Open(WaveDirection::Output, handle, 0, format, nullptr, 0, WaveCallbackNull), WaveNoError)
            << row.name;
        ASSERT_EQ(api.Pause(handle), WaveNoError);
        std::vector<std::uint8_t> data(44100 * 4 / 5, 0x10); // 200 ms
        WaveHeader header;
        header.data = data.data();
        header.bufferLength = static_cast<std::uint32_t>(data.size());
        header.flags = 0;
        ASSERT_EQ(api.PrepareHeader(handle, &header, HeaderSize), WaveNoError);
        EXPECT_TRUE(header.flags.load() & WaveHeaderPrepared) << row.name;
        ASSERT_EQ(api.QueueBuffer(handle, &header, HeaderSize), WaveNoError);
        // Paused: the platform holds the buffer.
        EXPECT_EQ(header.flags.load() & WaveHeaderDone, 0u) << row.name;
        ASSERT_EQ(api.Restart(handle), WaveNoError);
        EXPECT_TRUE(WaitDone(api, handle, header)) << row.name;
        EXPECT_EQ(api.UnprepareHeader(handle, &header, HeaderSize), WaveNoError);
        EXPECT_EQ(header.flags.load() & WaveHeaderPrepared, 0u) << row.name;
        EXPECT_EQ(api.Close(handle), WaveNoError) << row.name;
    }
}

TEST_F(WinMmWaveApiTest, RecordingFillsTheWholeBuffer)
{
    PcmWaveFormat pcm = Pcm(1, 44100, 16);
    WaveHandle handle = 0;
    ASSERT_EQ(api.Open(WaveDirection::Input, handle, 0, &pcm, nullptr, 0, WaveCallbackNull), WaveNoError);
    std::vector<std::uint8_t> data(44100 * 2 / 5, 0xA5); // 200 ms
    WaveHeader header;
    header.data = data.data();
    header.bufferLength = static_cast<std::uint32_t>(data.size());
    ASSERT_EQ(api.PrepareHeader(handle, &header, HeaderSize), WaveNoError);
    ASSERT_EQ(api.QueueBuffer(handle, &header, HeaderSize), WaveNoError);
    ASSERT_EQ(api.Start(handle), WaveNoError);
    ASSERT_TRUE(WaitDone(api, handle, header));
    EXPECT_EQ(header.bytesRecorded.load(), header.bufferLength);
    EXPECT_EQ(api.Reset(handle), WaveNoError);
    EXPECT_EQ(api.UnprepareHeader(handle, &header, HeaderSize), WaveNoError);
    EXPECT_EQ(api.Close(handle), WaveNoError);
}

TEST_F(WinMmWaveApiTest, ResetHandsBackAQueuedBuffer)
{
    PcmWaveFormat pcm = Pcm(1, 8000, 8);
    WaveHandle handle = 0;
    ASSERT_EQ(api.Open(WaveDirection::Output, handle, 0, &pcm, nullptr, 0, WaveCallbackNull), WaveNoError);
    ASSERT_EQ(api.Pause(handle), WaveNoError);
    std::vector<std::uint8_t> data(8000 * 10, 0x80); // 10 s, held by the pause
    WaveHeader header;
    header.data = data.data();
    header.bufferLength = static_cast<std::uint32_t>(data.size());
    ASSERT_EQ(api.PrepareHeader(handle, &header, HeaderSize), WaveNoError);
    ASSERT_EQ(api.QueueBuffer(handle, &header, HeaderSize), WaveNoError);
    // The platform still holds the buffer: its refusal comes through and
    // its WAVEHDR stays.
    EXPECT_EQ(api.UnprepareHeader(handle, &header, HeaderSize), WaveErrStillPlaying);
    EXPECT_EQ(api.Reset(handle), WaveNoError);
    EXPECT_TRUE(header.flags.load() & WaveHeaderDone);
    EXPECT_EQ(api.UnprepareHeader(handle, &header, HeaderSize), WaveNoError);

    // Closing with a buffer queued: Windows refuses (WaveErrStillPlaying)
    // and the handle must stay usable; Wine closes.
    header.flags = 0;
    ASSERT_EQ(api.PrepareHeader(handle, &header, HeaderSize), WaveNoError);
    ASSERT_EQ(api.QueueBuffer(handle, &header, HeaderSize), WaveNoError);
    WaveResult closed = api.Close(handle);
    if (closed == WaveErrStillPlaying) {
        EXPECT_EQ(api.Reset(handle), WaveNoError);
        EXPECT_EQ(api.UnprepareHeader(handle, &header, HeaderSize), WaveNoError);
        EXPECT_EQ(api.Close(handle), WaveNoError);
    } else {
        EXPECT_EQ(closed, WaveNoError);
        EXPECT_EQ(api.Reset(handle), WaveErrInvalidHandle);
    }
}

TEST_F(WinMmWaveApiTest, DestroyingTheApiReleasesADeviceStillPlaying)
{
    std::vector<std::uint8_t> data(8000 * 10, 0x80);
    WaveHeader header;
    header.data = data.data();
    header.bufferLength = static_cast<std::uint32_t>(data.size());
    PcmWaveFormat pcm = Pcm(1, 8000, 8);
    {
        CWinMmWaveApi scoped;
        WaveHandle handle = 0;
        ASSERT_EQ(scoped.Open(WaveDirection::Output, handle, 0, &pcm, nullptr, 0, WaveCallbackNull), WaveNoError);
        ASSERT_EQ(scoped.PrepareHeader(handle, &header, HeaderSize), WaveNoError);
        ASSERT_EQ(scoped.QueueBuffer(handle, &header, HeaderSize), WaveNoError);
    }
    EXPECT_TRUE(header.flags.load() & WaveHeaderDone);
    // The device is free again.
    WaveHandle again = 0;
    EXPECT_EQ(api.Open(WaveDirection::Output, again, 0, &pcm, nullptr, 0, WaveCallbackNull), WaveNoError);
    EXPECT_EQ(api.Close(again), WaveNoError);
}

} // namespace
