// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual back end's own behaviour: its default pair, its limits, the
// wrap of the tick count, real time, and the record of what it played.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/WaveDevice.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

PcmWaveFormat Pcm(std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign, std::uint16_t bits)
{
    return {WaveFormatTagPcm, channels, rate, rate * blockAlign, blockAlign, bits};
}

class VirtualWaveApiTest : public ::testing::Test {
protected:
    CFakeServicesScope services;
    CVirtualWaveApi api;
};

// Per direction the default device first, so its number stays 0, then the
// loopback one.
TEST_F(VirtualWaveApiTest, DefaultAndLoopbackDevicesAreListedWithTheirIdentity)
{
    struct Row {
        WaveDirection direction;
        std::uint32_t index;
        const char* name;
        std::uint16_t productId;
    };
    for (const Row& row : {Row{WaveDirection::Input, 0, VirtualInputName, VirtualInputProductId},
                           Row{WaveDirection::Input, 1, VirtualLoopbackInputName, VirtualLoopbackInputProductId},
                           Row{WaveDirection::Output, 0, VirtualOutputName, VirtualOutputProductId},
                           Row{WaveDirection::Output, 1, VirtualLoopbackOutputName, VirtualLoopbackOutputProductId}}) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(api.GetDeviceCount(row.direction), 2);
        WaveDeviceCaps caps;
        ASSERT_EQ(api.GetDeviceCaps(row.direction, row.index, caps), WaveNoError);
        EXPECT_STREQ(caps.productName, row.name);
        EXPECT_EQ(caps.productId, row.productId);
        EXPECT_EQ(caps.formats, WaveStandardFormatsAll);
        EXPECT_EQ(caps.manufacturerId, VirtualManufacturerId);
        EXPECT_EQ(api.GetDeviceCaps(row.direction, 2, caps), WaveErrBadDeviceId);
    }
}

TEST_F(VirtualWaveApiTest, RatesAndChannelsOutsideTheDeviceAreRefused)
{
    WaveHandle handle = 0;
    for (auto f : {Pcm(1, 999, 2, 16), Pcm(1, 384001, 2, 16), Pcm(3, 44100, 6, 16)})
        EXPECT_EQ(api.Open(WaveDirection::Input, handle, 0, &f, nullptr, 0, 0), WaveErrNotSupported);
    for (auto f : {Pcm(1, 1000, 2, 16), Pcm(2, 384000, 8, 32)}) {
        ASSERT_EQ(api.Open(WaveDirection::Input, handle, 0, &f, nullptr, 0, 0), WaveNoError);
        EXPECT_EQ(api.Close(handle), WaveNoError);
    }
}

// A capability set opens exactly what it lists, in either description.
TEST_F(VirtualWaveApiTest, CapabilitySetOpensOnlyWhatItLists)
{
    VirtualDevice& device = api.Device(WaveDirection::Output, 0);
    device.rates = {44100, 96000};
    device.channelCounts = {2};
    device.containerBytes = {2, 4};
    device.significantBits = 24;
    for (std::uint32_t rate : {8000u, 44100u, 48000u, 96000u}) {
        for (std::uint16_t channels : {1, 2}) {
            for (std::uint16_t bytes : {1, 2, 3, 4}) {
                for (std::uint16_t valid : {std::uint16_t(8 * bytes), std::uint16_t(bytes == 4 ? 24 : 8 * bytes)}) {
                    SCOPED_TRACE(std::to_string(rate) + "/" + std::to_string(channels) + "/" + std::to_string(bytes) +
                                 "/" + std::to_string(valid));
                    auto block = static_cast<std::uint16_t>(channels * bytes);
                    ExtensibleWaveFormat f{WaveFormatTagExtensible, channels, rate, rate * block, block,
                                           static_cast<std::uint16_t>(8 * bytes), ExtensibleFormatExtraBytes, valid,
                                           3, WaveSubtypePcm};
                    bool listed = (rate == 44100 || rate == 96000) && channels == 2 && (bytes == 2 || bytes == 4) &&
                                  valid <= 24;
                    WaveHandle handle = 0;
                    ASSERT_EQ(api.Open(WaveDirection::Output, handle, 0, &f, nullptr, 0, 0),
                              listed ? WaveNoError : WaveErrNotSupported);
                    if (listed) {
                        EXPECT_EQ(api.Close(handle), WaveNoError);
                    }
                }
            }
        }
    }
}

TEST_F(VirtualWaveApiTest, TicksWrappingAroundDoNotStallTheStream)
{
    services.fake.now = 0xFFFFFF00u;
    CScopedWaveApi scope(api);
    CWaveInDevice device(0);
    device.SetFormat(1000, 1, 1);
    ASSERT_EQ(device.Open(nullptr, 8), WaveNoError);
    std::vector<std::uint8_t> data(1000);
    ASSERT_EQ(device.AddBuffer(data.data(), 1000, 0), 1);
    ASSERT_EQ(device.Start(), 1);
    services.fake.Sleep(999);
    EXPECT_EQ(device.IsBufferDone(0), 0);
    services.fake.Sleep(1);
    EXPECT_EQ(device.IsBufferDone(0), 1);
}

// The program's real clock: the recording must take its full second.
TEST(VirtualRealTimeTest, OneSecondRecordingTakesAtLeastOneSecond)
{
    CScopedVirtualWaveApi wave;
    CWaveInDevice device(0);
    device.SetFormat(8000, 1, 2);
    ASSERT_EQ(device.Open(nullptr, 16), WaveNoError);
    std::vector<std::uint8_t> data(8000 * 2);
    ASSERT_EQ(device.AddBuffer(data.data(), static_cast<std::uint32_t>(data.size()), 0), 1);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(device.Start(), 1);
    while (!device.IsBufferDone(0)) {
        Services().Sleep(10);
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    }
    EXPECT_GE(Services().TickCount() - device.GetStartTime(), 1000u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(999));
}

TEST_F(VirtualWaveApiTest, PlayedRecordSaysWhenItStopsAtItsLimit)
{
    api.playedLimit = 100;
    CScopedWaveApi scope(api);
    CWaveOutDevice device(0);
    device.SetFormat(8000, 1, 1);
    ASSERT_EQ(device.Open(nullptr, 8), WaveNoError);
    std::vector<std::uint8_t> tone(80, 0x42);
    ASSERT_EQ(device.AddBuffer(tone.data(), 80, 0, 0), 1);
    ASSERT_EQ(device.Restart(), 1);
    services.fake.Sleep(10);
    ASSERT_EQ(device.IsBufferDone(0), 1);
    EXPECT_FALSE(api.Device(WaveDirection::Output, 0).playedIncomplete);
    ASSERT_EQ(device.AddBuffer(tone.data(), 80, 1, 0), 1);
    services.fake.Sleep(10);
    ASSERT_EQ(device.IsBufferDone(1), 1);
    EXPECT_EQ(api.Device(WaveDirection::Output, 0).played.size(), 100u);
    EXPECT_TRUE(api.Device(WaveDirection::Output, 0).playedIncomplete);
}

// Tests set the detail a real back end would keep; the composite passes it
// on under the composite's numbering.
TEST_F(VirtualWaveApiTest, HostDetailIsWhatTheTestInjected)
{
    WaveHostDetail detail;
    detail.deviceName = "virtual:1";
    detail.call = "snd_pcm_hw_params_set_rate";
    detail.error = 22;
    detail.text = "Invalid argument";
    detail.xruns = 2;
    api.Device(WaveDirection::Input, 0).hostDetail = detail;
    WaveHostDetail seen = api.HostDetail(WaveDirection::Input, 0);
    EXPECT_EQ(seen.call, detail.call);
    EXPECT_EQ(seen.error, 22);
    EXPECT_EQ(seen.text, detail.text);
    EXPECT_EQ(seen.xruns, 2u);
    EXPECT_TRUE(api.HostDetail(WaveDirection::Input, 1).deviceName.empty());
    EXPECT_TRUE(api.HostDetail(WaveDirection::Output, 0).call.empty());
}

} // namespace
