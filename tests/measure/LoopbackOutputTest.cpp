// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback's table, JSON and checks from measures taken on a simulated
// chain with known impairments.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "measure/loopback/LoopbackChecks.h"
#include "measure/loopback/LoopbackJson.h"
#include "measure/loopback/LoopbackText.h"
#include "support/JsonReader.h"
#include "support/LoopChain.h"

namespace {

// A stereo run at 48 kHz through a chain of known figures: 480 frames late,
// 3 dB down, noise at -90 dBFS, a third harmonic 40 dB down, channel 1
// leaking into channel 2 at -60 dB. Or, with `dropout`, a clean chain that
// loses 2.5 ms 200 ms into the tone (noise would fill the gap).
CLoopbackRun ImpairedRun(bool swap = false, MeasureSelection selection = {}, bool dropout = false)
{
    CLoopbackRun run;
    run.format = {2, 48000, 16, 16, false};
    run.input = {3, 3, "Tallowmere Virtual Loopback In"};
    run.output = {1, 1, "Tallowmere Virtual Loopback Out"};
    LoopbackSequence seq;
    EXPECT_TRUE(BuildSequence(CSampleFormat(48000, 2, 2), 16, SequenceTiming{}, selection, seq));
    Impairments chain;
    chain.delayFrames = 480;
    chain.gainDb = -3;
    chain.swap = swap;
    if (dropout) {
        chain.dropoutAtMs = 200;
        chain.dropoutMs = 2.5;
    } else {
        chain.noiseDbfs = -90;
        chain.harmonicDb = -40;
        chain.leakDb = -60;
    }
    const auto capture = RunChain(seq, chain, 48000);
    run.selection = seq.selection;
    run.sequenceSeconds = static_cast<double>(seq.frames) / 48000;
    run.captureSeconds = run.sequenceSeconds + 1;
    run.measures = MeasureLoopback(capture.data(), capture.size(), seq);
    EXPECT_TRUE(run.measures.ok) << run.measures.error;
    run.outcome = LoopbackOutcome::Measured;
    return run;
}

const CLoopbackRun& Impaired()
{
    static const CLoopbackRun run = ImpairedRun();
    return run;
}

const CLoopbackRun& WithDropout()
{
    static const CLoopbackRun run = ImpairedRun(false, {}, true);
    return run;
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The numbers in the columns of the row that starts with `label`.
std::vector<double> RowFigures(const std::string& table, const std::string& label)
{
    std::vector<double> figures;
    const std::size_t at = table.find("\n" + label);
    if (at == std::string::npos)
        return figures;
    const std::size_t end = table.find('\n', at + 1);
    std::size_t i = at + 1 + label.size();
    while (i < end) {
        char* stop = nullptr;
        const double x = std::strtod(table.c_str() + i, &stop);
        const auto next = static_cast<std::size_t>(stop - table.c_str());
        if (next == i) {
            ++i;
            continue;
        }
        figures.push_back(x);
        i = next;
    }
    return figures;
}

void ExpectRow(const std::string& table, const std::string& label, double expected, double tolerance)
{
    const auto figures = RowFigures(table, label);
    ASSERT_EQ(figures.size(), 2u) << label << " in\n" << table;
    for (double x : figures)
        EXPECT_NEAR(x, expected, tolerance) << label;
}

TEST(LoopbackTable, ShowsEveryMeasureWithItsUnitPerChannel)
{
    const std::string t = LoopbackTable(Impaired(), "\n");
    for (const char* line : {
             "  Input:    3: Tallowmere Virtual Loopback In\n",
             "  Format:   48000 Hz, 2 channels, 16-bit, 16 valid bits, standard API wave format\n",
             "                              Channel 1           Channel 2\n",
             "Latency                       480 frames, 10.000 ms\n",
             "Frequency response, dB re 1 kHz, 20 Hz to 21600 Hz\n",
             "Tone frequency, Hz            1000.00             1000.00\n",
             "  channel 1 driven            (driven)            -60.0\n",
             "  came back loudest in        channel 1           channel 2\n",
             "  channels                    in place\n",
         })
        EXPECT_TRUE(Has(t, line)) << line << "in\n" << t;
    ExpectRow(t, "Gain at 1 kHz, dB ", -3, 0.05);
    ExpectRow(t, "THD+N, dB ", -40, 0.5);
    ExpectRow(t, "THD+N, % ", 1, 0.05);
    // The noise at -90 dBFS over 16 bits' own rounding noise.
    ExpectRow(t, "Noise floor, dBFS ", -89.7, 0.5);
    EXPECT_TRUE(Has(t, "Dropouts                      0\n")) << t;
    // The dropout, in both channels, where it was made: 200 ms into the tone.
    LoopbackSequence seq;
    ASSERT_TRUE(BuildSequence(CSampleFormat(48000, 2, 2), 16, SequenceTiming{}, seq));
    const double at = (static_cast<double>(seq.Find(StimulusPart::Tone)->frame) + 480) / 48.0 + 200;
    const std::string lost = LoopbackTable(WithDropout(), "\n");
    ASSERT_EQ(WithDropout().measures.dropouts.size(), 2u) << lost;
    EXPECT_NEAR(WithDropout().measures.dropouts[0].positionMs, at, 1.0);
    EXPECT_NEAR(WithDropout().measures.dropouts[1].positionMs, at, 1.0);
    EXPECT_TRUE(Has(lost, "Dropouts                      2\n  channel 1 at ")) << lost;
    EXPECT_FALSE(Has(t, "Checks:"));
    EXPECT_FALSE(Has(t, "Not measured"));
    EXPECT_EQ(LoopbackTable(Impaired(), "\r\n").find("\n"), LoopbackTable(Impaired(), "\r\n").find("\r\n") + 1);
}

TEST(LoopbackTable, SaysWhatWasLeftOutSwappedOrNotMeasured)
{
    const std::string swapped = LoopbackTable(ImpairedRun(true), "\n");
    EXPECT_TRUE(Has(swapped, "  came back loudest in        channel 2           channel 1\n")) << swapped;
    EXPECT_TRUE(Has(swapped, "  channels                    SWAPPED\n")) << swapped;

    const std::string some = LoopbackTable(ImpairedRun(false, {true, false, false, false}), "\n");
    EXPECT_TRUE(Has(some, "Frequency response")) << some;
    EXPECT_FALSE(Has(some, "Gain at 1 kHz"));
    EXPECT_FALSE(Has(some, "Noise floor"));
    EXPECT_TRUE(Has(some, "Not measured: thd, noise, crosstalk (--measure)\n")) << some;

    CLoopbackRun lost = Impaired();
    lost.outcome = LoopbackOutcome::NotMeasured;
    lost.error = "latency: marker not found";
    lost.checksSet = true;
    lost.failedChecks = {"no measurement: latency: marker not found"};
    const std::string none = LoopbackTable(lost, "\n");
    EXPECT_TRUE(Has(none, "Not measured: latency: marker not found\n")) << none;
    EXPECT_TRUE(Has(none, "Checks: 1 FAILED\n"));
    // Never figures for a run that was not measured.
    for (const char* figure : {"Latency", "Gain", "THD+N", "frames"})
        EXPECT_FALSE(Has(none, figure)) << figure;
}

TEST(LoopbackJson, ParsesBackWithTheFiguresAndNullsWithReasons)
{
    CLoopbackRun run = Impaired();
    run.checksSet = true;
    run.failedChecks = {"--max-latency: the round trip takes 10.00 ms, at most 5.00 ms wanted"};
    JsonValue doc;
    ASSERT_TRUE(ParseJson(LoopbackJson(run, 3), doc));
    const JsonValue& l = doc["loopback"];
    EXPECT_EQ(doc["exitStatus"].number, 3);
    EXPECT_EQ(l["outcome"].text, "measured");
    EXPECT_EQ(l["input"]["name"].text, "Tallowmere Virtual Loopback In");
    EXPECT_EQ(l["format"]["validBits"].number, 16);
    EXPECT_EQ(l["measures"].items.size(), 5u);
    EXPECT_EQ(l["latency"]["frames"].number, 480);
    EXPECT_NEAR(l["latency"]["ms"].number, 10, 1e-9);
    ASSERT_EQ(l["response"].items.size(), 2u);
    EXPECT_GT(l["response"].items[0]["points"].items.size(), 100u);
    EXPECT_EQ(l["response"].items[0]["lowerMinus3Hz"].kind, JsonValue::Kind::Null);
    EXPECT_FALSE(l["response"].items[0]["lowerMinus3HzReason"].text.empty());
    ASSERT_EQ(l["channel"].items.size(), 2u);
    EXPECT_NEAR(l["channel"].items[1]["gainDb"].number, -3, 0.05);
    EXPECT_NEAR(l["channel"].items[0]["thdnPercent"].number, 1, 0.15);
    EXPECT_NEAR(l["channel"].items[0]["noiseFloorDbfs"].number, -90, 1);
    EXPECT_NEAR(l["crosstalk"]["levelDb"].items[0].items[1].number, -60, 1);
    EXPECT_EQ(l["crosstalk"]["cameBackIn"].items[1].number, 2);
    EXPECT_TRUE(l["dropouts"].items.empty());
    EXPECT_FALSE(l["checks"]["passed"].boolean);
    EXPECT_EQ(l["checks"]["failed"].items.size(), 1u);

    // A clean digital chain: the noise floor is null, and says why.
    run.measures.noiseFloorDbfs = {NoFigure, NoFigure};
    JsonValue clean;
    ASSERT_TRUE(ParseJson(LoopbackJson(run, 0), clean));
    EXPECT_EQ(clean["loopback"]["channel"].items[0]["noiseFloorDbfs"].kind, JsonValue::Kind::Null);
    EXPECT_EQ(clean["loopback"]["channel"].items[0]["noiseFloorDbfsReason"].text, "digital silence");

    run.outcome = LoopbackOutcome::DeviceFailed;
    run.failedDirection = WaveDirection::Output;
    run.failedStep = "open";
    run.code = 4;
    run.error = "the output's open failed with code 4";
    JsonValue failed;
    ASSERT_TRUE(ParseJson(LoopbackJson(run, 1), failed));
    EXPECT_EQ(failed["loopback"]["deviceFailure"]["direction"].text, "output");
    EXPECT_EQ(failed["loopback"]["deviceFailure"]["code"].number, 4);
    EXPECT_EQ(failed["loopback"]["latency"].kind, JsonValue::Kind::Null);
    EXPECT_EQ(failed["loopback"]["latencyReason"].text, "not measured: the output's open failed with code 4");
    EXPECT_EQ(failed["exitStatus"].number, 1);
}

struct CheckRow {
    const char* name;
    CLoopbackLimits limits;
    AnalysisExpectations analysis;
    std::vector<std::string> failedPrefixes; // in order
};

AnalysisExpectations Thdn(double db)
{
    AnalysisExpectations e;
    e.maxThdnDb = db;
    return e;
}

AnalysisExpectations Frequency(double hz)
{
    AnalysisExpectations e;
    e.frequencyHz = hz;
    return e;
}

AnalysisExpectations Dropouts(long long n)
{
    AnalysisExpectations e;
    e.maxDropouts = n;
    return e;
}

const CheckRow CheckRows[] = {
    {"NoneSet", {}, {}, {}},
    {"LatencyWithin", {.maxLatencyMs = 10}, {}, {}},
    {"LatencyAbove", {.maxLatencyMs = 9.9}, {}, {"--max-latency: the round trip takes 10.00 ms"}},
    {"ResponseFlat", {.maxResponseDeviationDb = 0.5}, {}, {}},
    {"ResponseTight", {.maxResponseDeviationDb = 0}, {}, {"--max-response-deviation: channel 1",
                                                           "--max-response-deviation: channel 2"}},
    {"ThdnWithin", {}, Thdn(-35), {}},
    {"ThdnAbove", {}, Thdn(-45), {"--max-thdn: channel 1", "--max-thdn: channel 2"}},
    {"FrequencyHere", {}, Frequency(1000), {}},
    {"FrequencyElsewhere", {}, Frequency(1100), {"--expect-frequency: channel 1", "--expect-frequency: channel 2"}},
    {"NoiseFloorBelow", {.maxNoiseFloorDbfs = -85}, {}, {}},
    {"NoiseFloorAbove", {.maxNoiseFloorDbfs = -95}, {}, {"--max-noise-floor: channel 1 has noise floor of -89.",
                                                          "--max-noise-floor: channel 2"}},
    {"DynamicRangeEnough", {.minDynamicRangeDb = 80}, {}, {}},
    {"DynamicRangeShort", {.minDynamicRangeDb = 100}, {}, {"--min-dynamic-range: channel 1",
                                                           "--min-dynamic-range: channel 2"}},
    {"CrosstalkBelow", {.maxCrosstalkDb = -50}, {}, {}},
    {"CrosstalkAbove", {.maxCrosstalkDb = -70}, {}, {"--max-crosstalk: channel 1 into channel 2 at -6"}},
    {"NoDropoutsAllowed", {}, Dropouts(0), {}},
};

class LoopbackChecks : public testing::TestWithParam<CheckRow> {};

TEST_P(LoopbackChecks, FailOnlyWhereTheFigureMissesTheLimit)
{
    const CheckRow& row = GetParam();
    const auto failed = CheckLoopback(Impaired().measures, row.limits, row.analysis);
    ASSERT_EQ(failed.size(), row.failedPrefixes.size()) << (failed.empty() ? "" : failed[0]);
    for (std::size_t i = 0; i < failed.size(); ++i)
        EXPECT_EQ(failed[i].rfind(row.failedPrefixes[i], 0), 0u) << failed[i];
}

INSTANTIATE_TEST_SUITE_P(Rows, LoopbackChecks, testing::ValuesIn(CheckRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LoopbackChecks, SwapDropoutsAndMissingFiguresFail)
{
    EXPECT_TRUE(CheckLoopback(WithDropout().measures, {}, Dropouts(2)).empty());
    EXPECT_EQ(CheckLoopback(WithDropout().measures, {}, Dropouts(1)),
              std::vector<std::string>{"--max-dropouts: 2 dropouts, at most 1 allowed"});

    const CLoopbackRun swapped = ImpairedRun(true);
    const auto failed = CheckLoopback(swapped.measures, {.maxCrosstalkDb = -50}, {});
    ASSERT_FALSE(failed.empty());
    EXPECT_NE(failed[0].find("swapped"), std::string::npos) << failed[0];

    LoopbackMeasures lost;
    lost.error = "latency: marker not found";
    EXPECT_EQ(CheckLoopback(lost, {.maxLatencyMs = 5}, {}),
              std::vector<std::string>{"no measurement: latency: marker not found"});
    EXPECT_TRUE(CheckLoopback(lost, {}, {}).empty());

    // Digital silence is below any noise floor; a tone lost in the noise has no range.
    LoopbackMeasures m = Impaired().measures;
    m.noiseFloorDbfs = {NoFigure, NoFigure};
    m.dynamicRangeDb = {NoFigure, 90};
    EXPECT_TRUE(CheckLoopback(m, {.maxNoiseFloorDbfs = -150}, {}).empty());
    const auto range = CheckLoopback(m, {.minDynamicRangeDb = 60}, {});
    ASSERT_EQ(range.size(), 1u);
    EXPECT_EQ(range[0], "--min-dynamic-range: channel 1 has no dynamic range, at least 60.00 dB wanted");
}

} // namespace
