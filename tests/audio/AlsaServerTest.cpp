// SPDX-License-Identifier: GPL-3.0-or-later
// What sound servers do to a stream, on the test plugin's devices: a delay
// that never reaches 0, a device that goes away, a capture not read in time,
// and the host detail that tells the user why a device failed.
#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "AlsaTestConfig.h"
#include "audio/backends/AlsaStream.h"
#include "audio/backends/AlsaWaveApi.h"
#include "support/FakeServices.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class AlsaServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { alsatest::Install(); }
    static void TearDownTestSuite() { alsatest::Remove(); }

    // 16-bit stereo at 16 kHz.
    const WaveFormatInfo format{false, 2, 16000, 2, 16, 4};

    std::shared_ptr<CAlsaStream> Open(const char* name, WaveDirection direction)
    {
        std::shared_ptr<CAlsaStream> stream;
        WaveHostDetail detail;
        EXPECT_EQ(CAlsaStream::Open(name, direction, format, stream, detail), WaveNoError) << detail.call;
        return stream;
    }

    static void Queue(CAlsaStream& stream, WaveHeader& header, std::vector<std::uint8_t>& data)
    {
        header.data = data.data();
        header.bufferLength = static_cast<std::uint32_t>(data.size());
        header.flags = WaveHeaderPrepared;
        ASSERT_EQ(stream.Queue(&header), WaveNoError);
    }

    static bool WaitDone(const WaveHeader& header, std::chrono::seconds limit)
    {
        Clock::time_point end = Clock::now() + limit;
        while (!(header.flags.load() & WaveHeaderDone)) {
            if (Clock::now() > end)
                return false;
            std::this_thread::sleep_for(milliseconds(5));
        }
        return true;
    }
};

// Its delay sticks at 150 frames after the last one played, as a sound
// server's plugin reports its own latency: the buffer is still done, soon
// after its last frame and not before.
TEST_F(AlsaServerTest, PlaybackWhoseDelayNeverReachesZeroIsDone)
{
    std::shared_ptr<CAlsaStream> stream = Open("sticky", WaveDirection::Output);
    ASSERT_NE(stream, nullptr);
    std::vector<std::uint8_t> data(4000 * 4, 0x22); // 250 ms
    WaveHeader header;
    Queue(*stream, header, data);
    Clock::time_point start = Clock::now();
    ASSERT_EQ(stream->Restart(), WaveNoError);
    ASSERT_TRUE(WaitDone(header, std::chrono::seconds(10)));
    EXPECT_GE(Clock::now() - start, milliseconds(240));
    EXPECT_EQ(stream->Close(), WaveNoError);
}

// Unplugged 30 ms after it starts, or its server gone (an xrun that every
// mend brings back): the worker sees it at once, says why, and then leaves
// the dead handle alone instead of polling it.
TEST_F(AlsaServerTest, LostDeviceIsSeenAtOnceAndNotPolledAgain)
{
    for (const char* name : {"unplugged", "servergone"})
    for (WaveDirection direction : {WaveDirection::Output, WaveDirection::Input}) {
        SCOPED_TRACE(std::string(name) + (direction == WaveDirection::Output ? " output" : " input"));
        std::shared_ptr<CAlsaStream> stream = Open(name, direction);
        ASSERT_NE(stream, nullptr);
        std::vector<std::uint8_t> data(16000 * 4, 0x33); // 1 s
        WaveHeader header;
        Queue(*stream, header, data);
        ASSERT_EQ(direction == WaveDirection::Output ? stream->Restart() : stream->Start(), WaveNoError);

        Clock::time_point end = Clock::now() + std::chrono::seconds(5);
        while (!stream->Detail().lost && Clock::now() < end)
            std::this_thread::sleep_for(milliseconds(5));
        WaveHostDetail detail = stream->Detail();
        ASSERT_TRUE(detail.lost);
        EXPECT_EQ(detail.deviceName, name);
        // The loss is no xrun of the stream's.
        EXPECT_EQ(detail.xruns, 0u);
        EXPECT_FALSE(detail.call.empty());
        EXPECT_GT(detail.error, 0);
        EXPECT_FALSE(detail.text.empty());

        double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(milliseconds(500));
        // A worker spinning on the dead handle would take the whole half second.
        EXPECT_LT(ProcessCpuSeconds() - before, 0.2);
        EXPECT_EQ(header.flags.load() & WaveHeaderDone, 0u);
        ASSERT_EQ(stream->Reset(), WaveNoError);
        EXPECT_NE(header.flags.load() & WaveHeaderDone, 0u);
        EXPECT_EQ(stream->Close(), WaveNoError);
    }
}

// Not read for 800 ms, more than its ring holds: one overrun, mended and
// counted with about the frames it cost.
TEST_F(AlsaServerTest, OverrunIsCountedWithTheFramesLost)
{
    std::shared_ptr<CAlsaStream> stream = Open("stalling", WaveDirection::Input);
    ASSERT_NE(stream, nullptr);
    std::vector<std::uint8_t> data(16000 * 4, 0); // 1 s
    WaveHeader header;
    Queue(*stream, header, data);
    ASSERT_EQ(stream->Start(), WaveNoError);
    ASSERT_TRUE(WaitDone(header, std::chrono::seconds(15)));
    EXPECT_EQ(header.bytesRecorded.load(), data.size());
    WaveHostDetail detail = stream->Detail();
    EXPECT_EQ(detail.xruns, 1u);
    EXPECT_FALSE(detail.lost);
    // 800 ms are 12800 frames; the bounds leave room for a slow machine.
    EXPECT_GE(detail.framesLost, 6400u);
    EXPECT_LE(detail.framesLost, 32000u);
    EXPECT_EQ(stream->Close(), WaveNoError);
}

TEST_F(AlsaServerTest, CaptureRingHoldsAtLeastAQuarterSecond)
{
    for (std::uint32_t rate : {8000u, 44100u, 192000u}) {
        WaveFormatInfo wide{false, 2, rate, 4, 32, 8};
        std::shared_ptr<CAlsaStream> stream;
        WaveHostDetail detail;
        ASSERT_EQ(CAlsaStream::Open("paced", WaveDirection::Input, wide, stream, detail), WaveNoError) << rate;
        EXPECT_GE(stream->BufferFrames(), rate / 4) << rate;
        EXPECT_EQ(stream->Close(), WaveNoError);
    }
}

// The code alone (8) cannot say why; the detail names the call and
// alsa-lib's words, until the next open of the device replaces it.
TEST_F(AlsaServerTest, RefusedRateNamesTheCallAndItsText)
{
    CFakeServicesScope services;
    CAlsaWaveApi api;
    std::vector<AlsaDeviceEntry> inputs = api.Devices(WaveDirection::Input);
    std::uint32_t paced = 0;
    while (paced < inputs.size() && inputs[paced].pcmName != "paced")
        ++paced;
    ASSERT_LT(paced, inputs.size());

    PcmWaveFormat tooSlow{WaveFormatTagPcm, 1, 4000, 8000, 2, 16};
    WaveHandle handle = 0;
    ASSERT_EQ(api.Open(WaveDirection::Input, handle, paced, &tooSlow, nullptr, 0, 0), WaveErrNotSupported);
    WaveHostDetail detail = api.HostDetail(WaveDirection::Input, paced);
    EXPECT_EQ(detail.deviceName, "paced");
    EXPECT_EQ(detail.call, "snd_pcm_hw_params_set_rate");
    EXPECT_EQ(detail.error, 22);
    EXPECT_EQ(detail.text, "Invalid argument");
    EXPECT_FALSE(detail.lost);
    EXPECT_TRUE(api.HostDetail(WaveDirection::Output, paced).call.empty());

    PcmWaveFormat fine{WaveFormatTagPcm, 1, 8000, 16000, 2, 16};
    ASSERT_EQ(api.Open(WaveDirection::Input, handle, paced, &fine, nullptr, 0, 0), WaveNoError);
    EXPECT_TRUE(api.HostDetail(WaveDirection::Input, paced).call.empty());
    EXPECT_EQ(api.Close(handle), WaveNoError);
    EXPECT_EQ(api.HostDetail(WaveDirection::Input, paced).deviceName, "paced");
}

} // namespace
