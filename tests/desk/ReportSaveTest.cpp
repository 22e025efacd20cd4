// SPDX-License-Identifier: GPL-3.0-or-later
// "Save report" from what the views hold: a check of the virtual input and
// a format matrix on the fake clock become the HTML report with their
// sections and the JSON document beside it, which parses and holds each
// measurement's own document; nothing shown, or a place that cannot be
// written, is refused with the reason and leaves no file.
#include <gtest/gtest.h>

#include "audio/backends/VirtualWaveApi.h"
#include "desk/InputCheck.h"
#include "desk/ReportSave.h"
#include "support/FakeServices.h"
#include "support/JsonReader.h"
#include "support/ScratchDir.h"

namespace {

DeskReportContent CheckedAndMatrix()
{
    DeskReportContent content;
    InputCheckRequest request;
    request.device = 0;
    request.deviceName = "Tallowmere Virtual Input";
    request.seconds = 1;
    InputCheckResult checked;
    EXPECT_EQ(RunInputCheck(request, {}, checked), InputCheckOutcome::Analysed);
    content.analysis = checked.analysis;
    FormatMatrixRequest matrix;
    matrix.input = 0;
    matrix.rates = {48000};
    FormatMatrixResult result;
    EXPECT_EQ(RunFormatMatrix(WaveApi(), matrix, result), 1);
    content.formats = result;
    content.devices.push_back({"capture", "Tallowmere Virtual Input", ""});
    return content;
}

TEST(ReportSave, TheViewsBecomeTheReportAndItsJson)
{
    CFakeServicesScope services;
    CScopedVirtualWaveApi virtualApi;
    CScratchDir scratch{"tallowmere-report"};
    const DeskReportContent content = CheckedAndMatrix();
    const std::string html = scratch.File("card.html");
    std::string error;
    ASSERT_TRUE(SaveDeskReport(content, "tallowmere-measure 9.9", html, error)) << error;
    EXPECT_EQ(JsonPathFor(html), scratch.File("card.json"));

    const std::vector<std::uint8_t> page = ReadAll(html);
    const std::string text(page.begin(), page.end());
    for (const char* id : {"id=\"system\"", "id=\"analysis\"", "id=\"formats\""})
        EXPECT_NE(text.find(id), std::string::npos) << id;
    EXPECT_EQ(text.find("id=\"loopback\""), std::string::npos) << "no loopback ran";
    EXPECT_NE(text.find("tallowmere-measure 9.9"), std::string::npos);

    const std::vector<std::uint8_t> bytes = ReadAll(scratch.File("card.json"));
    JsonValue json;
    ASSERT_TRUE(ParseJson(std::string(bytes.begin(), bytes.end()), json));
    EXPECT_EQ(json["program"].text, "tallowmere-measure 9.9");
    ASSERT_EQ(json["analysis"]["analysis"]["channel"].items.size(), 1u);
    EXPECT_NEAR(json["analysis"]["analysis"]["channel"].items[0]["tone"]["frequencyHz"].number, 440, 0.5);
    EXPECT_EQ(json["formats"]["level"].text, "accepts");
    EXPECT_EQ(json.members.count("loopback"), 0u);
}

TEST(ReportSave, NothingShownOrAnUnwritablePlaceIsRefusedWithTheReason)
{
    CFakeServicesScope services;
    CScopedVirtualWaveApi virtualApi;
    CScratchDir scratch{"tallowmere-report"};
    std::string error;
    EXPECT_FALSE(SaveDeskReport({}, "tallowmere-measure", scratch.File("none.html"), error));
    EXPECT_EQ(error, "there is nothing to report yet");
    EXPECT_FALSE(SaveDeskReport(CheckedAndMatrix(), "tallowmere-measure", scratch.File("missing/dir/r.html"), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_TRUE(scratch.List().empty());
    EXPECT_EQ(JsonPathFor("r.htm"), "r.json");
    EXPECT_EQ(JsonPathFor("report"), "report.json");
}

} // namespace
