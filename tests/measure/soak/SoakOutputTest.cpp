// SPDX-License-Identifier: GPL-3.0-or-later
// The soak's words and JSON on a run with known events, and its checks
// against the limits.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "audio/backends/VirtualWaveApi.h"
#include "measure/soak/SoakJson.h"
#include "measure/soak/SoakSession.h"
#include "measure/soak/SoakText.h"
#include "support/FakeServices.h"
#include "support/JsonReader.h"

namespace {

class SoakOutputTest : public ::testing::Test {
protected:
    SoakOutputTest()
    {
        api.playedLimit = 0;
        std::string error;
        EXPECT_TRUE(ParseVirtualLoopbackChain("latency=480,underrun=96000+2048,dropout=400000+100,drift=20",
                                              api.loopbackChain, error));
        request.input = {1, "In \"quoted\""};
        request.output = {1, VirtualLoopbackOutputName};
        request.format = {1, 48000, 24, 20, true};
        request.durationSeconds = 12;
        request.limits.maxGlitches = 0;
        request.limits.maxDriftPpm = 25;
        hooks.onEvent = [this](const SoakEvent& e, const SoakRun&) { log += SoakEventJsonLine(e) + "\n"; };
        EXPECT_TRUE(RunSoakSession(api, request, hooks, run));
    }

    CFakeServicesScope services;
    CVirtualWaveApi api;
    SoakRequest request;
    SoakHooks hooks;
    std::string log;
    SoakRun run;
};

TEST_F(SoakOutputTest, JsonHoldsTheRunAndEveryLogLineParses)
{
    JsonValue doc;
    ASSERT_TRUE(ParseJson(SoakJson(run, 3), doc));
    const JsonValue& soak = doc["soak"];
    EXPECT_EQ(doc["exitStatus"].number, 3);
    EXPECT_EQ(soak["mode"].text, "full duplex");
    EXPECT_EQ(soak["input"]["name"].text, "In \"quoted\"");
    EXPECT_EQ(soak["format"]["validBits"].number, 20);
    EXPECT_EQ(soak["outcome"].text, "completed");
    EXPECT_EQ(soak["xruns"].number, 1);
    EXPECT_EQ(soak["glitches"].number, 1);
    ASSERT_EQ(soak["eventList"].items.size(), 3u);
    EXPECT_EQ(soak["eventList"].items[0]["event"].text, "xrun");
    EXPECT_EQ(soak["eventList"].items[0]["direction"].text, "output");
    EXPECT_EQ(soak["eventList"].items[0]["frames"].number, 2048);
    EXPECT_EQ(soak["eventList"].items[1]["event"].text, "gap");
    EXPECT_NEAR(soak["eventList"].items[1]["shift"].number, 2048, 0.01);
    EXPECT_TRUE(soak["eventList"].items[1]["explainedByXrun"].boolean);
    EXPECT_EQ(soak["eventList"].items[2]["event"].text, "dropout");
    EXPECT_NEAR(soak["drift"]["ppm"].number, 20, 1);
    EXPECT_NEAR(soak["latencyMs"]["min"].number, 10, 0.01);
    EXPECT_NEAR(soak["latencyMs"]["wander"].number, 2048 / 48.0 + 20e-6 * 12000, 0.05);
    EXPECT_FALSE(soak["series"]["latencyMs"].items.empty());
    EXPECT_FALSE(soak["checks"]["passed"].boolean);
    ASSERT_EQ(soak["checks"]["failed"].items.size(), 1u);
    EXPECT_EQ(soak["checks"]["failed"].items[0].text, "glitches 1 > 0");

    std::istringstream lines(log);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        JsonValue event;
        ASSERT_TRUE(ParseJson(line, event)) << line;
        EXPECT_EQ(event["wall"].text.size(), 24u) << line;
        ++count;
    }
    EXPECT_EQ(count, 3);
    JsonValue start, end;
    ASSERT_TRUE(ParseJson(SoakStartJsonLine(run), start));
    EXPECT_EQ(start["event"].text, "start");
    ASSERT_TRUE(ParseJson(SoakEndJsonLine(run), end));
    EXPECT_EQ(end["glitches"].number, 1);
}

TEST_F(SoakOutputTest, SummaryNamesTheFiguresAndEachEvent)
{
    const std::string text = SoakSummary(run, "\r\n");
    for (const char* expected : {"Soak:        full duplex, 12.0 s of 12 s (completed)\r\n",
                                 "Format:      1 channel, 48000 Hz, 24 bits (20 valid), extended\r\n",
                                 "Events:      3 events (1 xrun, 1 glitch)\r\n", "Drift:       +20.",
                                 "Checks:      failed: glitches 1 > 0\r\n", "xrun           output  2048 frames lost",
                                 "gap            input   at frame", "latency +2048.00 frames (the xrun's)",
                                 "dropout        input   at frame 400000, 100 frames"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
}

TEST(SoakChecksTest, EachLimitFailsInWords)
{
    SoakRun run;
    run.format.sampleRate = 48000;
    run.xruns = 2;
    run.glitches = 1;
    run.driftPpm = {true, -12.5, 0.1};
    run.stimulusHeard = true;
    run.latencyMinFrames = 480;
    run.latencyMaxFrames = 960;
    SoakLimits limits;
    EXPECT_TRUE(CheckSoak(run, limits).empty());
    limits = {2, 1, 12.5, 10};
    EXPECT_TRUE(CheckSoak(run, limits).empty());
    limits = {1, 0, 12, 9.9};
    EXPECT_EQ(CheckSoak(run, limits), (std::vector<std::string>{"xruns 2 > 1", "glitches 1 > 0",
                                                                  "drift 12.500 ppm > 12 ppm",
                                                                  "latency wander 10.000 ms > 9.9 ms"}));
    run.driftPpm.valid = false;
    run.stimulusHeard = false;
    limits = {{}, {}, 100, 100};
    EXPECT_EQ(CheckSoak(run, limits), (std::vector<std::string>{"drift not measured", "latency not found"}));
}

} // namespace
