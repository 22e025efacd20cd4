// SPDX-License-Identifier: GPL-3.0-or-later
// The ALSA back end on real alsa-lib without a sound card: a private ALSA
// configuration (only its devices exist) with `file` devices over `null`
// that move exact bytes, and a paced test device of our own
// (alsa/pcm_tallowtest.c) that refuses formats, can be busy and underruns.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "AlsaTestConfig.h"
#include "audio/WaveDevice.h"
#include "audio/backends/AlsaStream.h"
#include "audio/backends/AlsaWaveApi.h"
#include "support/FakeServices.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using alsatest::InFile;
using alsatest::OutFile;

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

class AlsaWaveApiTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { alsatest::Install(); }
    static void TearDownTestSuite() { alsatest::Remove(); }

    CFakeServicesScope services;
    CAlsaWaveApi api;
    CScopedWaveApi scope{api};

    std::uint32_t Index(WaveDirection direction, const std::string& pcmName)
    {
        std::vector<AlsaDeviceEntry> list = api.Devices(direction);
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].pcmName == pcmName)
                return static_cast<std::uint32_t>(i);
        }
        ADD_FAILURE() << pcmName << " not listed";
        return 0;
    }

    // Polls like the test sequence does, with a bound that a slow machine
    // cannot reach.
    static bool WaitDone(CWaveDevice& device, std::uint16_t slot, std::chrono::seconds limit = std::chrono::seconds(10))
    {
        Clock::time_point end = Clock::now() + limit;
        while (!device.IsBufferDone(slot)) {
            if (Clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
};

// "deadserver" is described too, but a device that cannot be opened is not listed.
TEST_F(AlsaWaveApiTest, ListsThePrivateDevicesByDirection)
{
    std::vector<AlsaDeviceEntry> inputs = api.Devices(WaveDirection::Input);
    std::vector<AlsaDeviceEntry> outputs = api.Devices(WaveDirection::Output);
    ASSERT_EQ(inputs.size(), 3u);
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_EQ(inputs[0].pcmName, "testcap");
    EXPECT_EQ(inputs[0].productName, "Test capture");
    EXPECT_EQ(outputs[0].pcmName, "testplay");
    EXPECT_EQ(outputs[0].productName, "Test playback");
    EXPECT_EQ(inputs[1].pcmName, "paced");
    EXPECT_EQ(outputs[1].pcmName, "paced");
    EXPECT_EQ(inputs[1].productName, "Paced test device, a name longe");
    // The loopback pair is one device both ways.
    EXPECT_EQ(inputs[2].pcmName, "loop");
    EXPECT_EQ(outputs[2].productName, "Loopback test device");
    EXPECT_EQ(api.GetDeviceCount(WaveDirection::Input), 3);
}

TEST_F(AlsaWaveApiTest, CapabilitiesCarryTheFormatsTheDeviceTakes)
{
    WriteFile(InFile(), Pattern(64, 1));
    WaveDeviceCaps caps;
    ASSERT_EQ(api.GetDeviceCaps(WaveDirection::Input, Index(WaveDirection::Input, "testcap"), caps), 0);
    EXPECT_STREQ(caps.productName, "Test capture");
    EXPECT_EQ(caps.formats, WaveStandardFormatsAll);
    // The paced device takes no 8-bit samples.
    ASSERT_EQ(api.GetDeviceCaps(WaveDirection::Output, Index(WaveDirection::Output, "paced"), caps), 0);
    EXPECT_EQ(caps.formats, 0xCCCu);
    EXPECT_EQ(api.GetDeviceCaps(WaveDirection::Output, 9, caps), WaveErrBadDeviceId);

    CWaveOutDevice device(static_cast<std::int32_t>(Index(WaveDirection::Output, "paced")));
    EXPECT_STREQ(device.GetDeviceName(), "Paced test device, a name longe");
    EXPECT_EQ(device.GetMaxFormat().channels, 2);
}

TEST_F(AlsaWaveApiTest, RecordingReturnsTheInputFileExactlyInEveryWidth)
{
    for (std::uint16_t width = 1; width <= 4; ++width) {
        for (std::uint16_t channels = 1; channels <= 2; ++channels) {
            SCOPED_TRACE(testing::Message() << width << " bytes, " << channels << " channels");
            std::uint32_t frames = 3000;
            std::vector<std::uint8_t> input = Pattern(frames * width * channels * 2u, width * 10u + channels);
            WriteFile(InFile(), input);

            CWaveInDevice device(static_cast<std::int32_t>(Index(WaveDirection::Input, "testcap")));
            device.SetFormat(22050, channels, width);
            ASSERT_EQ(device.Open(nullptr, static_cast<std::uint16_t>(8 * width)), WaveNoError);
            std::vector<std::uint8_t> recorded(frames * width * channels, 0xEE);
            ASSERT_EQ(device.AddBuffer(recorded.data(), static_cast<std::uint32_t>(recorded.size()), 0), 1);
            ASSERT_EQ(device.Start(), 1);
            ASSERT_TRUE(WaitDone(device, 0));
            EXPECT_EQ(device.GetHeader(0)->bytesRecorded.load(), recorded.size());
            device.Close();
            EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), input.begin()));
        }
    }
    EXPECT_TRUE(services.fake.messages.empty());
}

TEST_F(AlsaWaveApiTest, PlaybackWritesTheBufferExactlyInEveryWidth)
{
    for (std::uint16_t width = 1; width <= 4; ++width) {
        for (std::uint16_t channels = 1; channels <= 2; ++channels) {
            SCOPED_TRACE(testing::Message() << width << " bytes, " << channels << " channels");
            std::vector<std::uint8_t> tone = Pattern(2500u * width * channels, width * 20u + channels);
            {
                CWaveOutDevice device(static_cast<std::int32_t>(Index(WaveDirection::Output, "testplay")));
                device.SetFormat(48000, channels, width);
                ASSERT_EQ(device.OpenExtended(nullptr, static_cast<std::uint16_t>(8 * width)), WaveNoError);
                ASSERT_EQ(device.AddBuffer(tone.data(), static_cast<std::uint32_t>(tone.size()), 0, 0), 1);
                ASSERT_EQ(device.Restart(), 1);
                ASSERT_TRUE(WaitDone(device, 0));
            }
            // The file plugin writes out when the device is closed.
            EXPECT_EQ(ReadFile(OutFile()), tone);
        }
    }
}

TEST_F(AlsaWaveApiTest, FormatsTheDeviceDoesNotTakeAreRefusedWith8)
{
    std::int32_t paced = static_cast<std::int32_t>(Index(WaveDirection::Input, "paced"));
    CWaveInDevice device(paced);
    device.SetFormat(44100, 2, 1); // no 8-bit
    EXPECT_EQ(device.Open(nullptr, 8), WaveErrNotSupported);
    device.SetFormat(4000, 1, 2); // below its rates
    EXPECT_EQ(device.Open(nullptr, 16), WaveErrNotSupported);
    device.SetFormat(44100, 2, 3);
    EXPECT_EQ(device.Open(nullptr, 20), WaveErrNotSupported); // 20 bits cannot fill 3 bytes
    EXPECT_EQ(device.OpenExtended(nullptr, 20), WaveNoError);
    device.Close();

    PcmWaveFormat threeChannels{WaveFormatTagPcm, 3, 44100, 44100 * 6, 6, 16};
    WaveHandle handle = 0;
    EXPECT_EQ(api.Open(WaveDirection::Input, handle, static_cast<std::uint32_t>(paced), &threeChannels, nullptr, 0, 0),
              WaveErrNotSupported);
    EXPECT_EQ(handle, 0u);
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(AlsaWaveApiTest, PacedRecordingTakesRealTime)
{
    CWaveInDevice device(static_cast<std::int32_t>(Index(WaveDirection::Input, "paced")));
    device.SetFormat(8000, 1, 2);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> recorded(4000 * 2); // half a second
    ASSERT_EQ(device.AddBuffer(recorded.data(), static_cast<std::uint32_t>(recorded.size()), 0), 1);
    Clock::time_point start = Clock::now();
    ASSERT_EQ(device.Start(), 1);
    EXPECT_EQ(device.IsBufferDone(0), 0);
    ASSERT_TRUE(WaitDone(device, 0));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(450));
    // The device hands out a running byte counter; nothing is lost or repeated.
    for (std::size_t i = 1; i < recorded.size(); ++i)
        ASSERT_EQ(static_cast<std::uint8_t>(recorded[i - 1] + 1), recorded[i]) << "at byte " << i;
}

// Queueing into a slot whose buffer is still recording rewrites the header
// first; the worker must go on filling the buffer it was given and refuse
// the second.
TEST_F(AlsaWaveApiTest, SlotStillRecordingIsNotQueuedAgain)
{
    CWaveInDevice device(static_cast<std::int32_t>(Index(WaveDirection::Input, "paced")));
    device.SetFormat(8000, 1, 2);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> first(2400 * 2); // 0.3 s
    ASSERT_EQ(device.AddBuffer(first.data(), static_cast<std::uint32_t>(first.size()), 0), 1);
    ASSERT_EQ(device.Start(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(device.IsBufferDone(0), 0);

    std::vector<std::uint8_t> second(64, 0xEE);
    WaveResult code = 0;
    EXPECT_EQ(device.AddBuffer(second.data(), 4, 0, &code), 0);
    EXPECT_EQ(code, WaveErrStillPlaying);
    EXPECT_TRUE(device.IsOpen());
    ASSERT_TRUE(WaitDone(device, 0));
    EXPECT_EQ(second, std::vector<std::uint8_t>(64, 0xEE));
    for (std::size_t i = 1; i < first.size(); ++i)
        ASSERT_EQ(static_cast<std::uint8_t>(first[i - 1] + 1), first[i]) << "at byte " << i;
}

TEST_F(AlsaWaveApiTest, PacedPlaybackTakesRealTimeAndRecoversFromUnderrun)
{
    CWaveOutDevice device(static_cast<std::int32_t>(Index(WaveDirection::Output, "paced")));
    device.SetFormat(16000, 2, 2);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> tone = Pattern(16000 / 4 * 4, 7); // a quarter second
    ASSERT_EQ(device.AddBuffer(tone.data(), static_cast<std::uint32_t>(tone.size()), 0, 0), 1);
    // Paused after open: nothing plays until Restart.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(device.IsBufferDone(0), 0);

    Clock::time_point start = Clock::now();
    ASSERT_EQ(device.Restart(), 1);
    ASSERT_TRUE(WaitDone(device, 0));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(230));

    // The device has run dry since; the next buffer must mend the xrun and play.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::uint32_t xruns = AlsaRecoveredXruns();
    WaveResult code = 99;
    ASSERT_EQ(device.AddBuffer(tone.data(), static_cast<std::uint32_t>(tone.size()), 1, 0, &code), 1);
    EXPECT_EQ(code, WaveNoError);
    start = Clock::now();
    ASSERT_TRUE(WaitDone(device, 1));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(230));
    EXPECT_GT(AlsaRecoveredXruns(), xruns);
}

// A buffer shorter than one frame moves nothing; it must not count as
// played frames and so finish the buffer ahead of it early. Queued while
// the first one's last 50 ms are still in the device's 80 ms ring.
TEST_F(AlsaWaveApiTest, BufferShorterThanAFrameDoesNotHurryTheOneBefore)
{
    CWaveOutDevice device(static_cast<std::int32_t>(Index(WaveDirection::Output, "paced")));
    device.SetFormat(16000, 2, 2);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> tone = Pattern(16000 / 4 * 4, 5); // a quarter second
    std::uint8_t crumb[2] = {1, 2};
    ASSERT_EQ(device.AddBuffer(tone.data(), static_cast<std::uint32_t>(tone.size()), 0, 0), 1);
    Clock::time_point start = Clock::now();
    ASSERT_EQ(device.Restart(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(device.AddBuffer(crumb, sizeof crumb, 1, 0), 1);
    ASSERT_TRUE(WaitDone(device, 0));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(240));
    EXPECT_TRUE(WaitDone(device, 1));
}

// A device lost in the middle (unplugged) leaves its buffers not done, also
// when everything was written and only the tail was still to play; a reset
// still hands them back.
TEST_F(AlsaWaveApiTest, BuffersOfADeviceLostInTheMiddleAreNeverDone)
{
    for (WaveDirection direction : {WaveDirection::Output, WaveDirection::Input}) {
        SCOPED_TRACE(direction == WaveDirection::Output ? "output" : "input");
        WaveFormatInfo format{false, 2, 16000, 2, 16, 4};
        std::shared_ptr<CAlsaStream> stream;
        WaveHostDetail detail;
        ASSERT_EQ(CAlsaStream::Open("unplugged", direction, format, stream, detail), WaveNoError);
        // 50 ms: shorter than the device's ring, so playback writes it all at once.
        std::vector<std::uint8_t> data = Pattern(800 * 4, 3);
        WaveHeader header;
        header.data = data.data();
        header.bufferLength = static_cast<std::uint32_t>(data.size());
        header.flags = WaveHeaderPrepared;
        ASSERT_EQ(stream->Queue(&header), WaveNoError);
        ASSERT_EQ(direction == WaveDirection::Output ? stream->Restart() : stream->Start(), WaveNoError);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(header.flags.load() & WaveHeaderDone, 0u);
        ASSERT_EQ(stream->Reset(), WaveNoError);
        EXPECT_EQ(header.flags.load() & (WaveHeaderDone | WaveHeaderInQueue), WaveHeaderDone);
        EXPECT_LT(header.bytesRecorded.load(), data.size());
        EXPECT_EQ(stream->Close(), WaveNoError);
    }
}

// A device suspended in the middle (the machine slept) and resumed goes on
// recording and playing where it stopped, and its buffers complete.
TEST_F(AlsaWaveApiTest, DeviceResumedAfterASuspendCompletesItsBuffers)
{
    for (WaveDirection direction : {WaveDirection::Output, WaveDirection::Input}) {
        SCOPED_TRACE(direction == WaveDirection::Output ? "output" : "input");
        WaveFormatInfo format{false, 2, 16000, 2, 16, 4};
        std::shared_ptr<CAlsaStream> stream;
        WaveHostDetail detail;
        ASSERT_EQ(CAlsaStream::Open("suspending", direction, format, stream, detail), WaveNoError);
        std::vector<std::uint8_t> data = Pattern(3200 * 4, 4); // 0.2 s
        WaveHeader header;
        header.data = data.data();
        header.bufferLength = static_cast<std::uint32_t>(data.size());
        header.flags = WaveHeaderPrepared;
        ASSERT_EQ(stream->Queue(&header), WaveNoError);
        Clock::time_point start = Clock::now();
        ASSERT_EQ(direction == WaveDirection::Output ? stream->Restart() : stream->Start(), WaveNoError);
        Clock::time_point end = start + std::chrono::seconds(5);
        while (!(header.flags.load() & WaveHeaderDone) && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_NE(header.flags.load() & WaveHeaderDone, 0u);
        // Nothing written before the suspend was dropped: it all takes its time.
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
        EXPECT_EQ(header.bytesRecorded.load(), data.size());
        ASSERT_EQ(stream->Reset(), WaveNoError);
        EXPECT_EQ(stream->Close(), WaveNoError);
    }
}

TEST(AlsaErrorTest, ErrorsMapToTheCodesTheReportWords)
{
    EXPECT_EQ(AlsaErrorToResult(-ENOENT, false), WaveErrBadDeviceId);
    EXPECT_EQ(AlsaErrorToResult(-EBUSY, false), WaveErrAllocated);
    EXPECT_EQ(AlsaErrorToResult(-ENODEV, false), WaveErrNoDriver);
    EXPECT_EQ(AlsaErrorToResult(-ENXIO, false), WaveErrNoDriver);
    EXPECT_EQ(AlsaErrorToResult(-ENOMEM, true), WaveErrNoMemory);
    EXPECT_EQ(AlsaErrorToResult(-EINVAL, true), WaveErrNotSupported);
    EXPECT_EQ(AlsaErrorToResult(-EINVAL, false), WaveErrInvalidParam);
    EXPECT_EQ(AlsaErrorToResult(-EIO, false), WaveErrUnspecified);
}

} // namespace
