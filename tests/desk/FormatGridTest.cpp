// SPDX-License-Identifier: GPL-3.0-or-later
// The matrix grid from a real session on virtual devices with a stated
// capability set: each cell lands at its rate, channels, description and
// width with the text's mark, the class that colours it and its story.
#include <gtest/gtest.h>

#include <algorithm>

#include "audio/backends/VirtualWaveApi.h"
#include "desk/FormatGrid.h"
#include "support/FakeServices.h"

namespace {

FormatMatrixResult AcceptsMatrix(CVirtualWaveApi& api)
{
    FormatMatrixRequest request;
    request.input = 0;
    request.rates = {44100, 48000};
    request.level = FormatLevel::Accepts;
    FormatMatrixResult result;
    EXPECT_EQ(RunFormatMatrix(api, request, result), 1);
    return result;
}

std::size_t IndexOf(const std::vector<std::string>& names, const std::string& name)
{
    auto at = std::find(names.begin(), names.end(), name);
    EXPECT_NE(at, names.end()) << name;
    return static_cast<std::size_t>(at - names.begin());
}

TEST(FormatGrid, EachCellSitsAtItsKeyWithItsMarkClassAndStory)
{
    CFakeServicesScope services;
    CScopedVirtualWaveApi virtualApi;
    VirtualDevice& input = virtualApi.api.Device(WaveDirection::Input, 0);
    input.rates = {48000};
    input.significantBits = 24;
    const FormatMatrixResult result = AcceptsMatrix(virtualApi.api);
    ASSERT_EQ(result.devices.size(), 1u);
    const FormatGridModel grid = DeviceGrid(result.devices[0], result.level);

    // Two rates, one and two channels, both descriptions.
    EXPECT_EQ(grid.rowNames.size(), 8u);
    ASSERT_EQ(grid.cells.size(), grid.rowNames.size());
    for (const auto& row : grid.cells)
        ASSERT_EQ(row.size(), grid.columnNames.size());

    const std::size_t ext48 = IndexOf(grid.rowNames, "48000 Hz, 2 ch, Extended");
    const std::size_t std48 = IndexOf(grid.rowNames, "48000 Hz, 2 ch, Standard");
    const std::size_t ext44 = IndexOf(grid.rowNames, "44100 Hz, 2 ch, Extended");
    const GridCell& opens = grid.cells[ext48][IndexOf(grid.columnNames, "24/32")];
    EXPECT_EQ(opens.mark, "+");
    EXPECT_EQ(opens.kind, CellClass::Good);
    EXPECT_NE(opens.details.find("code 0"), std::string::npos) << opens.details;

    const GridCell& rate = grid.cells[ext44][IndexOf(grid.columnNames, "16/16")];
    EXPECT_EQ(rate.mark, ".");
    EXPECT_EQ(rate.kind, CellClass::Refused);
    EXPECT_NE(rate.details.find("code 8"), std::string::npos) << rate.details;

    EXPECT_EQ(grid.cells[ext48][IndexOf(grid.columnNames, "32/32")].mark, "."); // beyond 24 significant bits
    const GridCell& rules = grid.cells[std48][IndexOf(grid.columnNames, "24/32")];
    EXPECT_EQ(rules.mark, "-");
    EXPECT_NE(rules.details.find("before the device was asked"), std::string::npos);
}

TEST(FormatGrid, TheLegendNamesTheMarksOfItsLevel)
{
    auto has = [](const std::vector<std::string>& lines, const std::string& start) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(has(FormatLegend(FormatLevel::Accepts), "+  opens"));
    EXPECT_FALSE(has(FormatLegend(FormatLevel::Accepts), "D  delivered"));
    EXPECT_TRUE(has(FormatLegend(FormatLevel::Delivers), "D  delivered"));
    EXPECT_TRUE(has(FormatLegend(FormatLevel::Transparent), "Loop: T"));
}

TEST(FormatGrid, TheLoopGridMarksWhatThePathDid)
{
    FormatLoopCell clean;
    clean.key = {48000, 2, {16, 16}, false};
    clean.verdict.run = clean.verdict.heard = clean.verdict.transparent = true;
    FormatLoopCell lost = clean;
    lost.key.width = {24, 24};
    lost.verdict.heard = false;
    lost.verdict.transparent = false;
    FormatLoopCell cut = clean;
    cut.key.width = {24, 32};
    cut.verdict.transparent = false;
    cut.verdict.truncated = true;
    const FormatGridModel grid = LoopGrid({clean, lost, cut});
    ASSERT_EQ(grid.rowNames.size(), 1u);
    ASSERT_EQ(grid.columnNames.size(), 3u);
    EXPECT_EQ(grid.cells[0][0].mark, "T");
    EXPECT_EQ(grid.cells[0][0].kind, CellClass::Good);
    EXPECT_EQ(grid.cells[0][1].mark, "?");
    EXPECT_EQ(grid.cells[0][1].kind, CellClass::Failed);
    EXPECT_EQ(grid.cells[0][2].kind, CellClass::Partial);
    EXPECT_NE(grid.cells[0][2].details.find("Truncated"), std::string::npos);

    // A width only another row has: its cell here says why it is empty.
    FormatLoopCell extended = clean;
    extended.key.extended = true;
    extended.key.width = {20, 24};
    const FormatGridModel two = LoopGrid({clean, extended});
    ASSERT_EQ(two.rowNames.size(), 2u);
    EXPECT_EQ(two.cells[0][1].mark, "");
    EXPECT_NE(two.cells[0][1].details.find("Not run over the loop"), std::string::npos);
}

} // namespace
