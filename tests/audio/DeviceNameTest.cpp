// SPDX-License-Identifier: GPL-3.0-or-later
// Device names are cut to 31 bytes where a UTF-8 character begins.
#include <gtest/gtest.h>

#include <string>

#include "audio/DeviceName.h"
#include "audio/backends/VirtualWaveApi.h"
#include "support/FakeServices.h"

namespace {

struct NameRow {
    const char* name;
    std::string given;
    std::string kept;
};

TEST(DeviceNameTest, CutsAtACharacterBoundaryWithinThirtyOneBytes)
{
    const std::string thirty(30, 'a');
    const NameRow rows[] = {
        {"short", "Line In", "Line In"},
        {"exactly 31 bytes", thirty + "b", thirty + "b"},
        {"32 ASCII bytes", thirty + "bc", thirty + "b"},
        {"two-byte character across the limit", "Ausgabegeraet fuer Pruefungen \xC3\xA4",
         "Ausgabegeraet fuer Pruefungen "},
        {"two-byte character ending at the limit", std::string(29, 'a') + "\xC3\xA4" + "x",
         std::string(29, 'a') + "\xC3\xA4"},
        {"three-byte character across the limit", thirty + "\xE2\x82\xAC", thirty},
        {"four-byte character across the limit", std::string(28, 'a') + "\xF0\x9F\x8E\xB5", std::string(28, 'a')},
        {"stray continuation bytes are cut at the limit", std::string(26, 'a') + std::string(6, '\x80'),
         std::string(26, 'a') + std::string(5, '\x80')},
    };
    for (const NameRow& row : rows) {
        std::string kept = CutDeviceName(row.given);
        EXPECT_EQ(kept, row.kept) << row.name;
        EXPECT_LE(kept.size(), 31u) << row.name;
    }
}

TEST(DeviceNameTest, CapabilityRecordsCarryTheCutName)
{
    CFakeServicesScope services;
    CVirtualWaveApi api;
    api.SetDevices(WaveDirection::Output, {CVirtualWaveApi::MakeDevice("Ausgabegeraet fuer Pruefungen \xC3\xA4")});
    WaveDeviceCaps caps;
    caps.productName[31] = 'x';
    ASSERT_EQ(api.GetDeviceCaps(WaveDirection::Output, 0, caps), WaveNoError);
    EXPECT_STREQ(caps.productName, "Ausgabegeraet fuer Pruefungen ");
    EXPECT_EQ(caps.productName[31], '\0');
}

} // namespace
