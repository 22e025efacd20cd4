// SPDX-License-Identifier: GPL-3.0-or-later
// The format matrix on the virtual devices and the fake clock: the accepts
// matrix equals each device's capability set cell for cell in both
// directions, the delivers level tells a device that records and plays
// from one that never finishes, and over the loopback pair the transparent
// level names what the chain does at each format.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "audio/backends/VirtualWaveApi.h"
#include "measure/formats/FormatMatrix.h"
#include "measure/formats/FormatMatrixText.h"
#include "measure/formats/FormatRuns.h"
#include "support/FakeServices.h"

namespace {

constexpr std::int32_t Loopback = 1;

std::string Name(const FormatKey& k)
{
    return std::to_string(k.sampleRate) + "/" + std::to_string(k.channels) + "/" + std::to_string(k.width.validBits) +
           "in" + std::to_string(k.width.bits) + (k.extended ? " ext" : " std");
}

class FormatMatrixVirtualTest : public ::testing::Test {
protected:
    CFakeServicesScope services;
    CVirtualWaveApi api;
};

// What a device with this capability set must answer: the description
// rules first (a plain PCM description has no valid bits of its own), then
// the set.
bool Opens(const VirtualDevice& d, const FormatKey& k)
{
    if (!k.extended && k.width.validBits != k.width.bits)
        return false;
    auto listed = [](const auto& list, auto value) {
        return list.empty() || std::find(list.begin(), list.end(), value) != list.end();
    };
    return listed(d.rates, k.sampleRate) && listed(d.channelCounts, k.channels) &&
           listed(d.containerBytes, k.width.bits / 8) && k.width.validBits <= d.significantBits;
}

TEST_F(FormatMatrixVirtualTest, AcceptsMatrixEqualsEachCapabilitySet)
{
    VirtualDevice& in = api.Device(WaveDirection::Input, 0);
    in.rates = {44100, 48000, 96000};
    in.channelCounts = {2};
    in.containerBytes = {2, 3};
    VirtualDevice& out = api.Device(WaveDirection::Output, 0);
    out.rates = {48000};
    out.containerBytes = {2, 4};
    out.significantBits = 24;
    FormatMatrixRequest request;
    request.input = 0;
    request.output = 0;
    FormatMatrixResult result;
    ASSERT_EQ(RunFormatMatrix(api, request, result), 1);
    ASSERT_EQ(result.devices.size(), 2u);
    for (const FormatDeviceMatrix& m : result.devices) {
        const VirtualDevice& device = api.Device(m.direction, 0);
        SCOPED_TRACE(device.name);
        EXPECT_EQ(m.name, device.name);
        ASSERT_EQ(m.cells.size(), 13u * 2 * 6 * 2); // 312 combinations
        for (const FormatCell& cell : m.cells) {
            SCOPED_TRACE(Name(cell.key));
            EXPECT_EQ(cell.accept.Accepted(), Opens(device, cell.key));
            EXPECT_EQ(cell.accept.byRules, !cell.key.extended && cell.key.width.validBits != cell.key.width.bits);
            if (!cell.accept.Accepted()) {
                EXPECT_EQ(cell.accept.code, WaveErrNotSupported);
            }
        }
    }
    EXPECT_FALSE(result.DeviceFailed());
    EXPECT_FALSE(result.cancelled);
    // The text has a table per description and channel count for each
    // device, and the refusals summarised.
    std::string text = FormatMatrixText(result);
    EXPECT_NE(text.find("Input 0: Tallowmere Virtual Input, accepts"), std::string::npos) << text;
    EXPECT_NE(text.find("Extended description, 2 channels"), std::string::npos);
    EXPECT_NE(text.find("before the device"), std::string::npos);
    EXPECT_NE(text.find("     48000      .      +      +      +      .      .\n"), std::string::npos) << text;
}

TEST_F(FormatMatrixVirtualTest, CancelKeepsWhatWasTakenAndABusyDeviceIsAFailure)
{
    api.Device(WaveDirection::Input, 0).open.next = {WaveErrAllocated};
    FormatMatrixRequest request;
    request.input = 0;
    request.onProgress = [](const FormatMatrixProgress& p) { return p.done < 10; };
    FormatMatrixResult result;
    EXPECT_EQ(RunFormatMatrix(api, request, result), 0);
    EXPECT_TRUE(result.cancelled);
    ASSERT_EQ(result.devices.size(), 1u);
    EXPECT_EQ(result.devices[0].cells.size(), 10u);
    EXPECT_EQ(result.devices[0].cells[0].accept.code, WaveErrAllocated);
    EXPECT_TRUE(result.DeviceFailed());
    EXPECT_EQ(FormatCellMark(result.devices[0].cells[0], WaveDirection::Input, result.level), "!");
}

TEST_F(FormatMatrixVirtualTest, DeliversTellsAHeardDeviceFromOneThatNeverFinishes)
{
    FormatMatrixRequest request;
    request.input = 0;
    request.output = 0;
    request.level = FormatLevel::Delivers;
    request.rates = {8000, 48000};
    request.channelCounts = {2};
    request.descriptions = {true};
    api.Device(WaveDirection::Output, 0).buffersNeverComplete = true;
    FormatMatrixResult result;
    ASSERT_EQ(RunFormatMatrix(api, request, result), 1);
    for (const FormatCell& cell : result.devices[0].cells) {
        SCOPED_TRACE(Name(cell.key));
        EXPECT_TRUE(cell.delivery.Delivered(WaveDirection::Input, cell.key.width.validBits));
        EXPECT_EQ(cell.delivery.bitsCarried, cell.key.width.validBits);
        EXPECT_EQ(FormatCellMark(cell, WaveDirection::Input, result.level), "D");
    }
    for (const FormatCell& cell : result.devices[1].cells) {
        SCOPED_TRACE(Name(cell.key));
        EXPECT_FALSE(cell.delivery.done);
        EXPECT_EQ(FormatCellMark(cell, WaveDirection::Output, result.level), "t");
    }
}

// Both directions of a combination run side by side: over the loopback pair
// the input hears the output's sequence (alone it would record silence),
// and a combination takes one delivery's time, not two.
TEST_F(FormatMatrixVirtualTest, DeliversRunsBothDirectionsAtOnce)
{
    FormatMatrixRequest request;
    request.input = Loopback;
    request.output = Loopback;
    request.level = FormatLevel::Delivers;
    request.rates = {44100, 48000};
    request.channelCounts = {1, 2};
    request.descriptions = {true};
    FormatMatrixResult result;
    ASSERT_EQ(RunFormatMatrix(api, request, result), 1);
    std::size_t delivered = 0;
    for (const FormatDeviceMatrix& m : result.devices)
        for (const FormatCell& cell : m.cells) {
            SCOPED_TRACE(Name(cell.key));
            ASSERT_TRUE(cell.accept.Accepted());
            EXPECT_TRUE(cell.delivery.Delivered(m.direction, cell.key.width.validBits));
            EXPECT_FALSE(cell.delivery.silent);
            delivered += m.direction == WaveDirection::Input;
        }
    ASSERT_EQ(delivered, 2u * 2 * StandardMatrixWidths().size());
    EXPECT_LT(result.elapsedMs, delivered * (FormatDeliveryMs + 60)) << result.elapsedMs;
}

struct LoopRow {
    const char* name;
    const char* chain;
    std::vector<std::pair<FormatKey, const char*>> marks;
};

TEST_F(FormatMatrixVirtualTest, TransparentLevelNamesWhatTheChainDoes)
{
    const FormatKey s16_48{48000, 2, {16, 16}, true}, s16_44{44100, 2, {16, 16}, true};
    const FormatKey s24in32_48{48000, 2, {32, 24}, true}, s24_48{48000, 2, {24, 24}, true};
    const LoopRow rows[] = {
        {"Plain cable", "latency=300", {{s16_48, "T"}, {s16_44, "T"}, {s24in32_48, "T"}, {s24_48, "T"}}},
        {"A 48 kHz server", "server=48000", {{s16_48, "T"}, {s16_44, "R"}, {s24_48, "T"}}},
        {"A 16-bit path", "bits=16", {{s16_48, "T"}, {s24in32_48, "Q"}, {s24_48, "Q"}}},
        {"Noise added", "noise=-80", {{s16_48, "N"}, {s24_48, "N"}}},
        {"Level down", "gain=-3", {{s16_48, "G"}}},
        {"Swapped", "swap", {{s16_48, "S"}}},
    };
    for (const LoopRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error;
        api.loopbackChain = {};
        ASSERT_TRUE(ParseVirtualLoopbackChain(row.chain, api.loopbackChain, error)) << error;
        for (const auto& [key, mark] : row.marks) {
            SCOPED_TRACE(Name(key));
            FormatMatrixRequest request;
            request.input = Loopback;
            request.output = Loopback;
            request.level = FormatLevel::Transparent;
            request.rates = {key.sampleRate};
            request.channelCounts = {key.channels};
            request.widths = {key.width};
            request.descriptions = {key.extended};
            FormatMatrixResult result;
            ASSERT_EQ(RunFormatMatrix(api, request, result), 1);
            ASSERT_EQ(result.loop.size(), 1u);
            EXPECT_EQ(FormatLoopMark(result.loop[0].verdict), mark);
            EXPECT_TRUE(result.loop[0].verdict.heard);
        }
    }
}

} // namespace

namespace {

// A combination the loop did not run says why in the loop's table as in the
// devices' own: a plain description of 20 of 24 bits is refused before the
// device, not by it.
TEST_F(FormatMatrixVirtualTest, LoopTableMarksWhatWasNotRunAsTheDevicesDo)
{
    FormatMatrixRequest request;
    request.input = Loopback;
    request.output = Loopback;
    request.level = FormatLevel::Transparent;
    request.rates = {48000};
    request.channelCounts = {2};
    request.widths = {{24, 20}};
    request.descriptions = {false};
    FormatMatrixResult result;
    ASSERT_EQ(RunFormatMatrix(api, request, result), 1);
    EXPECT_TRUE(result.loop.empty());
    const std::string text = FormatMatrixText(result, false);
    const std::size_t loop = text.find("Loop: output");
    ASSERT_NE(loop, std::string::npos) << text;
    const std::size_t row = text.find("48000", loop);
    ASSERT_NE(row, std::string::npos) << text;
    EXPECT_EQ(text.substr(row, text.find('\n', row) - row), "48000      -") << text;
}

} // namespace
