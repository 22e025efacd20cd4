// SPDX-License-Identifier: GPL-3.0-or-later
// The one device list every front end shows, and how a user's words find an
// entry in it.
#include <gtest/gtest.h>

#include "audio/ListedDevices.h"
#include "audio/backends/VirtualWaveApi.h"

namespace {

std::vector<ListedDevice> Named(std::vector<std::string> names, std::vector<std::string> hostNames = {})
{
    std::vector<ListedDevice> devices;
    for (std::size_t i = 0; i < names.size(); ++i)
        devices.push_back({static_cast<std::uint32_t>(10 + i), names[i], {}, i < hostNames.size() ? hostNames[i] : ""});
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

TEST(ListedDevicesTest, PositionThenExactNameThenNameIgnoringCaseThenAPart)
{
    const std::vector<ListedDevice> listed = Named({"USB Audio", "usb audio", "2", "Line In", "123456"});
    struct Row {
        const char* wanted;
        int position;
    } rows[] = {
        {"0", 0},          {"4", 4},         {"5", -1},        {"00002", 2},
        {"2", 2},          {"usb audio", 1}, {"USB Audio", 0}, {"LINE IN", 3},
        {"123456", 4},     {"Line", 3},      {"", -1},         {"-1", -1},
        {"99999999999", -1}, {"12345", -1},  {"ne i", 3},      {"Lines", -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FindListedDevice(listed, row.wanted), row.position) << row.wanted;
    EXPECT_EQ(FindListedDevice({}, "0"), -1);
    // "usb" is a part of two names: no entry, and both as candidates.
    const ListedDeviceMatch usb = MatchListedDevice(listed, "usb");
    EXPECT_EQ(usb.position, -1);
    EXPECT_TRUE(usb.Ambiguous());
    EXPECT_EQ(usb.candidates, (std::vector<int>{0, 1}));
}

// The host's names, whole or ignoring case, then as parts beside the
// product names; a device with the part in both counts once.
TEST(ListedDevicesTest, HostNamesFindTheirDevices)
{
    const std::vector<ListedDevice> listed =
        Named({"Default ALSA device", "HDA Intel PCH: ALC892 Analog", "USB Audio CODEC: USB Audio", "Line Out"},
              {"default", "hw:0,0", "hw:1,0", ""});
    struct Row {
        const char* wanted;
        int position;
    } rows[] = {
        {"hw:1,0", 2},  {"HW:0,0", 1},  {"default", 0}, {"USB Audio", 2}, {"usb", 2},
        {"alc892", 1},  {"hw:", -1},    {"DEFAULT ALSA", 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FindListedDevice(listed, row.wanted), row.position) << row.wanted;
    EXPECT_EQ(MatchListedDevice(listed, "hw:").candidates, (std::vector<int>{1, 2}));
}
