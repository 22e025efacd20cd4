// SPDX-License-Identifier: GPL-3.0-or-later
// The one device list every front end shows, and how a user's words find an
// entry in it.
#include <gtest/gtest.h>

#include "audio/ListedDevices.h"
#include "audio/backends/VirtualWaveApi.h"

namespace {

std::vector<ListedDevice> Named(std::vector<std::string> names)
{
    std::vector<ListedDevice> devices;
    for (std::size_t i = 0; i < names.size(); ++i)
        devices.push_back({static_cast<std::uint32_t>(10 + i), names[i], {}});
    return devices;
}

} // namespace

// Failed queries are left out and the entries after them keep their own
// numbers; the position finds the entry, the entry gives the number.
TEST(ListedDevicesTest, EntriesKeepTheirNumbersPastADeviceLeftOut)
{
    CVirtualWaveApi api;
    api.SetDevices(WaveDirection::Output, {CVirtualWaveApi::MakeDevice("A"), CVirtualWaveApi::MakeDevice("B"),
                                           CVirtualWaveApi::MakeDevice("C", WaveFormat4S16, 9),
                                           CVirtualWaveApi::MakeDevice("D")});
    api.Device(WaveDirection::Output, 1).capsQuery.always = WaveErrNoDriver;
    api.Device(WaveDirection::Output, 3).capsQuery.next = {WaveErrNoMemory};
    std::vector<ListedDevice> listed = ListWaveDevices(api, WaveDirection::Output);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].id, 0u);
    EXPECT_EQ(listed[0].name, "A");
    EXPECT_EQ(listed[1].id, 2u);
    EXPECT_EQ(listed[1].name, "C");
    EXPECT_EQ(listed[1].caps.formats, WaveFormat4S16);
    EXPECT_EQ(listed[1].caps.productId, 9);
    EXPECT_EQ(ListedDeviceId(listed, 1), 2);
    EXPECT_EQ(ListedDeviceId(listed, FindListedDevice(listed, "c")), 2);
    // Queried once each: the failure queued for D was spent by this listing.
    EXPECT_EQ(ListWaveDevices(api, WaveDirection::Output).size(), 3u);

    api.SetDevices(WaveDirection::Input, {});
    EXPECT_TRUE(ListWaveDevices(api, WaveDirection::Input).empty());
}

TEST(ListedDevicesTest, NoEntryIsNoDevice)
{
    const std::vector<ListedDevice> listed = Named({"One", "Two"});
    EXPECT_EQ(ListedDeviceId(listed, -1), -1);
    EXPECT_EQ(ListedDeviceId(listed, 2), -1);
    EXPECT_EQ(ListedDeviceId({}, 0), -1);
}

TEST(ListedDevicesTest, PositionThenExactNameThenNameIgnoringCase)
{
    const std::vector<ListedDevice> listed = Named({"USB Audio", "usb audio", "2", "Line In", "123456"});
    struct Row {
        const char* wanted;
        int position;
    } rows[] = {
        {"0", 0},          {"4", 4},        {"5", -1},        {"00002", 2},
        {"2", 2},          {"usb audio", 1}, {"USB Audio", 0}, {"LINE IN", 3},
        {"123456", 4},     {"Line", -1},    {"", -1},         {"-1", -1},
        {"99999999999", -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FindListedDevice(listed, row.wanted), row.position) << row.wanted;
    EXPECT_EQ(FindListedDevice({}, "0"), -1);
}
