// SPDX-License-Identifier: GPL-3.0-or-later
// The composite: numbering the devices of several back ends in turn and
// routing each call.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/WaveDevice.h"
#include "audio/backends/CompositeWaveApi.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

TEST(CompositeWaveApiTest, NumbersDevicesOfEachBackEndInTurn)
{
    CFakeServicesScope services;
    auto first = std::make_unique<CVirtualWaveApi>();
    auto second = std::make_unique<CVirtualWaveApi>();
    first->SetDevices(WaveDirection::Input, {CVirtualWaveApi::MakeDevice("A0"), CVirtualWaveApi::MakeDevice("A1")});
    first->SetDevices(WaveDirection::Output, {});
    CVirtualWaveApi* secondApi = second.get();
    std::vector<std::unique_ptr<CWaveApi>> backEnds;
    backEnds.push_back(std::move(first));
    backEnds.push_back(std::move(second));
    CCompositeWaveApi composite(std::move(backEnds));

    EXPECT_EQ(composite.GetDeviceCount(WaveDirection::Input), 4);
    EXPECT_EQ(composite.GetDeviceCount(WaveDirection::Output), 2);
    WaveDeviceCaps caps;
    ASSERT_EQ(composite.GetDeviceCaps(WaveDirection::Input, 1, caps), WaveNoError);
    EXPECT_STREQ(caps.productName, "A1");
    ASSERT_EQ(composite.GetDeviceCaps(WaveDirection::Input, 2, caps), WaveNoError);
    EXPECT_STREQ(caps.productName, VirtualInputName);
    ASSERT_EQ(composite.GetDeviceCaps(WaveDirection::Input, 3, caps), WaveNoError);
    EXPECT_STREQ(caps.productName, VirtualLoopbackInputName);
    EXPECT_EQ(composite.GetDeviceCaps(WaveDirection::Input, 4, caps), WaveErrBadDeviceId);
    secondApi->Device(WaveDirection::Input, 0).hostDetail.call = "snd_pcm_open";
    EXPECT_EQ(composite.HostDetail(WaveDirection::Input, 2).call, "snd_pcm_open");
    EXPECT_TRUE(composite.HostDetail(WaveDirection::Input, 4).call.empty());

    // A whole session through the composite reaches the right back end.
    CScopedWaveApi scope(composite);
    CWaveOutDevice device(0);
    EXPECT_STREQ(device.GetDeviceName(), VirtualOutputName);
    device.SetFormat(8000, 1, 1);
    ASSERT_EQ(device.Open(nullptr, 8), WaveNoError);
    std::vector<std::uint8_t> tone(80, 0x42);
    ASSERT_EQ(device.AddBuffer(tone.data(), 80, 0, 0), 1);
    ASSERT_EQ(device.Restart(), 1);
    services.fake.Sleep(10);
    EXPECT_EQ(device.IsBufferDone(0), 1);
    device.Close();
    EXPECT_EQ(secondApi->Device(WaveDirection::Output, 0).played, tone);
    EXPECT_FALSE(secondApi->Device(WaveDirection::Output, 0).isOpen);
}

} // namespace
