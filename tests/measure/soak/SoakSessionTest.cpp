// SPDX-License-Identifier: GPL-3.0-or-later
// The soak on the virtual loopback pair and the fake clock, against the
// truths the pair is set to: its clocks' drift and rates, glitches and
// xruns at set frames, and a long clean run with nothing to find.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "audio/backends/VirtualWaveApi.h"
#include "measure/soak/SoakSession.h"
#include "measure/soak/SoakTone.h"
#include "measure/svg/SvgChart.h"
#include "support/FakeServices.h"
#include "support/ScratchDir.h"

namespace {

constexpr std::uint32_t LoopbackDevice = 1;

class SoakSessionTest : public ::testing::Test {
protected:
    SoakRequest Request(SoakMode mode, double seconds)
    {
        SoakRequest request;
        request.mode = mode;
        request.input = {LoopbackDevice, VirtualLoopbackInputName};
        request.output = {LoopbackDevice, VirtualLoopbackOutputName};
        request.durationSeconds = seconds;
        // Fine poll steps: the rates are read from when the slots are seen back.
        request.pollMs = 1;
        // One channel: the follower reads the first, and the cable costs
        // the test's time per channel.
        request.format.channels = 1;
        return request;
    }

    SoakRun Run(const SoakRequest& request, const SoakHooks& hooks = {})
    {
        SoakRun run;
        EXPECT_TRUE(RunSoakSession(api, request, hooks, run)) << run.error;
        return run;
    }

    static std::vector<const SoakEvent*> Of(const SoakRun& run, SoakEventKind kind)
    {
        std::vector<const SoakEvent*> found;
        for (const SoakEvent& e : run.events)
            if (e.kind == kind)
                found.push_back(&e);
        return found;
    }

    static std::string Listed(const SoakRun& run)
    {
        std::string text;
        for (const SoakEvent& e : run.events)
            text += std::string(SoakEventKindName(e.kind)) + " at " + std::to_string(e.frame) + " (" +
                    std::to_string(e.frames) + " frames, shift " + std::to_string(e.shift) + ")\n";
        return text;
    }

    // A rate against the clock, read from when the slots came back on the
    // 1 ms poll steps: true within three times its stated uncertainty,
    // which 20 s keep within a few ppm.
    static void ExpectRate(const SoakDeviceClock& clock, int rate, double ppm)
    {
        ASSERT_TRUE(clock.rateHz.valid);
        const double uncertaintyPpm = clock.rateHz.uncertainty / rate * 1e6;
        EXPECT_NEAR(clock.RatePpm(rate), ppm, 3 * uncertaintyPpm + 0.5);
        EXPECT_LT(uncertaintyPpm, 10);
    }

    void SetUp() override { api.playedLimit = 0; }

    CFakeServicesScope services;
    CVirtualWaveApi api;
};

// A long clean run through a cable that shapes the sound finds nothing; the latency is
// the cable's, steady, and the clocks are true.
TEST_F(SoakSessionTest, LongCleanRunFindsNothing)
{
    api.loopbackChain.latencyFrames = 1234;
    api.loopbackChain.gainDb = -3;
    api.loopbackChain.tiltDb = -1;
    SoakRun run = Run(Request(SoakMode::FullDuplex, 600));
    EXPECT_EQ(run.outcome, SoakOutcome::Completed);
    EXPECT_EQ(run.eventCount, 0u) << Listed(run);
    EXPECT_TRUE(run.stimulusHeard);
    // The latency is the tone's phase delay: the tilt's filter adds a
    // twentieth of a frame at 101 Hz.
    EXPECT_NEAR(run.latencyMinFrames, 1234, 0.1);
    EXPECT_LT(run.latencyMaxFrames - run.latencyMinFrames, 0.01);
    ASSERT_TRUE(run.driftPpm.valid);
    EXPECT_NEAR(run.driftPpm.value, 0, 0.01);
    ExpectRate(run.inputClock, 48000, 0);
    ExpectRate(run.outputClock, 48000, 0);
    EXPECT_NEAR(run.elapsedSeconds, 600, 0.02);
    EXPECT_LE(run.latencyMs.Points().size(), SoakSeriesPoints);
}

// The drift between the ends within 1 ppm after 60 s, and each end's rate
// against the clock, at several rates and widths.
TEST_F(SoakSessionTest, DriftAndRatesAreTheCablesClocks)
{
    struct Row {
        const char* name;
        int rate, bits, channels;
        double drift, outrate;
    } rows[] = {{"48 kHz stereo 16-bit, input 37.5 ppm fast", 48000, 16, 2, 37.5, 0},
                {"44.1 kHz mono 24-bit, output 120 ppm slow, input 250 ppm slower", 44100, 24, 1, -250, -120},
                {"32 kHz mono 32-bit, output 80 ppm fast, input true", 32000, 32, 1, -79.9936, 80}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        api.loopbackChain = {};
        api.loopbackChain.latencyFrames = 700;
        api.loopbackChain.driftPpm = row.drift;
        api.loopbackChain.outputPpm = row.outrate;
        SoakRequest request = Request(SoakMode::FullDuplex, 60);
        request.format = {row.channels, row.rate, row.bits, row.bits, true};
        SoakRun run = Run(request);
        EXPECT_EQ(run.eventCount, 0u) << Listed(run);
        ASSERT_TRUE(run.driftPpm.valid);
        EXPECT_NEAR(run.driftPpm.value, row.drift, 1.0);
        EXPECT_LT(run.driftPpm.uncertainty, 0.5);
        const double out = 1 + row.outrate / 1e6, in = out * (1 + row.drift / 1e6);
        ExpectRate(run.outputClock, row.rate, (out - 1) * 1e6);
        ExpectRate(run.inputClock, row.rate, (in - 1) * 1e6);
        // The latency moves with the drift: 60 s of it.
        EXPECT_NEAR(run.latencyMaxFrames - run.latencyMinFrames, std::abs(row.drift) * 1e-6 * row.rate * 60,
                    0.05 * row.rate / 1000 + 1);
    }
}

// Every fault set in the cable is found where it starts, within one block,
// with its kind and length; nothing else is.
TEST_F(SoakSessionTest, InjectedFaultsAreFoundAtTheirFrames)
{
    struct Row {
        const char* name;
        const char* setting; // as TALLOWMERE_VIRTUAL_LOOPBACK spells it
        std::uint64_t frame;  // where the capture shows it
        SoakEventKind kind;
        std::uint64_t frames;
        double shift;
        bool xrun;
        bool exact; // the shift told whole, not only modulo the tone's period
    } rows[] = {
        {"Zeroed in place", "dropout=480000+300", 480000, SoakEventKind::Dropout, 300, 0, false, true},
        {"Frames missing", "skip=500321+200", 500321, SoakEventKind::Jump, 200, -200, false, false},
        {"Frames repeated", "repeat=700000+96", 700000, SoakEventKind::Jump, 96, 96, false, false},
        {"Input overrun", "overrun=960000+1024", 960000, SoakEventKind::Jump, 1024, -1024, true, true},
        {"Output underrun", "underrun=300000+4096", 300000 + 1000, SoakEventKind::Gap, 4096, 4096, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error;
        ASSERT_TRUE(ParseVirtualLoopbackChain((std::string("latency=1000,noise=-100,") + row.setting).c_str(),
                                              api.loopbackChain, error));
        SoakRun run = Run(Request(SoakMode::FullDuplex, 30));
        std::vector<const SoakEvent*> found = Of(run, row.kind);
        ASSERT_EQ(found.size(), 1u) << Listed(run);
        const SoakEvent& e = *found[0];
        EXPECT_LE(std::llabs(static_cast<long long>(e.frame) - static_cast<long long>(row.frame)),
                  static_cast<long long>(run.blockFrames));
        EXPECT_EQ(e.frames, row.frames);
        EXPECT_NEAR(e.shift, row.shift, 0.01);
        EXPECT_EQ(e.shiftExact, row.exact);
        EXPECT_EQ(run.xruns, row.xrun ? 1u : 0u);
        EXPECT_EQ(run.glitches, row.xrun ? 0u : 1u) << "a glitch an xrun explains counts as the xrun";
        EXPECT_EQ(run.eventCount, row.xrun ? 2u : 1u) << Listed(run);
        if (row.xrun) {
            std::vector<const SoakEvent*> xruns = Of(run, SoakEventKind::Xrun);
            ASSERT_EQ(xruns.size(), 1u);
            EXPECT_EQ(xruns[0]->frames, row.frames);
            EXPECT_NEAR(xruns[0]->seconds, static_cast<double>(row.frame) / 48000, 0.1 + 0.02);
        }
        // The drift is still measured across the fault.
        ASSERT_TRUE(run.driftPpm.valid);
        EXPECT_NEAR(run.driftPpm.value, 0, 0.05);
    }
}

// One direction: the input alone keeps its continuity (a silence inside a
// heard stream, its xruns, its level and rate); the output alone its xruns
// and its rate.
TEST_F(SoakSessionTest, OneDirectionModesFindTheirOwnFaults)
{
    std::string error;
    ASSERT_TRUE(ParseVirtualLoopbackChain("noise=-40,dropout=240000+2400,overrun=480000+512,drift=100",
                                          api.loopbackChain, error));
    SoakRun recorded = Run(Request(SoakMode::RecordOnly, 20));
    ASSERT_EQ(Of(recorded, SoakEventKind::Silence).size(), 1u) << Listed(recorded);
    EXPECT_EQ(Of(recorded, SoakEventKind::Silence)[0]->frame, 240000u);
    EXPECT_EQ(Of(recorded, SoakEventKind::Silence)[0]->frames, 2400u);
    ASSERT_EQ(Of(recorded, SoakEventKind::Xrun).size(), 1u);
    EXPECT_EQ(Of(recorded, SoakEventKind::Xrun)[0]->frames, 512u);
    EXPECT_EQ(recorded.eventCount, 2u) << Listed(recorded);
    EXPECT_NEAR(recorded.levelMaxDbfs, -40, 0.5);
    ExpectRate(recorded.inputClock, 48000, 100);
    EXPECT_FALSE(recorded.outputClock.streamed);
    EXPECT_FALSE(recorded.driftPpm.valid);

    ASSERT_TRUE(ParseVirtualLoopbackChain("underrun=96000+2048,outrate=-300", api.loopbackChain, error));
    SoakRun played = Run(Request(SoakMode::PlayOnly, 20));
    ASSERT_EQ(played.eventCount, 1u) << Listed(played);
    EXPECT_EQ(played.events[0].kind, SoakEventKind::Xrun);
    EXPECT_EQ(played.events[0].direction, WaveDirection::Output);
    EXPECT_EQ(played.events[0].frames, 2048u);
    ExpectRate(played.outputClock, 48000, -300);
    EXPECT_FALSE(played.inputClock.streamed);
}

// Esc or the front end's cancel end a soak before its time as Cancelled,
// and a soak asked to run until then as Completed; the status comes about
// once a second; events reach the front end as they are found.
TEST_F(SoakSessionTest, EndsAndHooks)
{
    services.fake.ScriptKeyAt(5000, KeyEscape); // the 5000th poll: 5 s in
    SoakRun escaped = Run(Request(SoakMode::FullDuplex, 60));
    EXPECT_EQ(escaped.outcome, SoakOutcome::Cancelled);
    EXPECT_NEAR(escaped.elapsedSeconds, 5, 0.02);

    int statuses = 0, polls = 0;
    std::vector<SoakEventKind> heard;
    SoakHooks hooks;
    hooks.onStatus = [&](const SoakRun&) { ++statuses; };
    hooks.onEvent = [&](const SoakEvent& e, const SoakRun& run) {
        heard.push_back(e.kind);
        EXPECT_EQ(run.eventCount, heard.size());
    };
    hooks.cancelRequested = [&] { return ++polls == 10000; };
    api.loopbackChain.dropouts = {{200000, 100}};
    SoakRun untilCancelled = Run(Request(SoakMode::FullDuplex, 0), hooks);
    EXPECT_EQ(untilCancelled.outcome, SoakOutcome::Completed);
    EXPECT_NEAR(untilCancelled.elapsedSeconds, 10, 0.02);
    EXPECT_EQ(statuses, 10);
    EXPECT_EQ(heard, std::vector<SoakEventKind>{SoakEventKind::Dropout});
}

// A device lost mid-run ends the soak at once, named; a failed open too.
TEST_F(SoakSessionTest, LostOrFailingDeviceEndsTheSoak)
{
    services.fake.onSleep = [&](std::uint32_t) {
        if (services.fake.totalSlept >= 3000)
            api.Device(WaveDirection::Output, LoopbackDevice).hostDetail.lost = true;
    };
    SoakRun lost = Run(Request(SoakMode::FullDuplex, 60));
    EXPECT_EQ(lost.outcome, SoakOutcome::DeviceFailed);
    ASSERT_FALSE(lost.events.empty());
    EXPECT_EQ(lost.events.back().kind, SoakEventKind::DeviceLost);
    EXPECT_EQ(lost.events.back().direction, WaveDirection::Output);
    EXPECT_NEAR(lost.elapsedSeconds, 3, 0.1);
    EXPECT_EQ(lost.error, "the output was lost");
    EXPECT_FALSE(api.Device(WaveDirection::Output, LoopbackDevice).isOpen);
    EXPECT_FALSE(api.Device(WaveDirection::Input, LoopbackDevice).isOpen);

    services.fake.onSleep = nullptr;
    api.Device(WaveDirection::Output, LoopbackDevice).hostDetail.lost = false;
    api.Device(WaveDirection::Input, LoopbackDevice).open.next = {WaveErrAllocated};
    SoakRun busy = Run(Request(SoakMode::FullDuplex, 60));
    EXPECT_EQ(busy.outcome, SoakOutcome::DeviceFailed);
    EXPECT_EQ(busy.error.rfind("the input's open failed with code 4 (", 0), 0u) << busy.error;
    EXPECT_EQ(busy.elapsedSeconds, 0);
}

// Whether `text` is one well-formed XML element after its declaration:
// tags nest and close by name, attribute values are quoted, and every '&'
// starts an entity. Enough for what the SVG writer may get wrong.
bool WellFormedXml(const std::string& text)
{
    static const std::regex declaration(R"(^<\?xml[^>]*\?>\s*)");
    static const std::regex tag(R"(^<(/?)([A-Za-z][\w:.-]*)((?:\s+[\w:.-]+="[^"<]*")*)\s*(/?)>)");
    static const std::regex entity(R"(^&(?:[a-z]+|#[0-9]+|#x[0-9a-fA-F]+);)");
    std::smatch m;
    if (!std::regex_search(text, m, declaration))
        return false;
    std::vector<std::string> open;
    bool rootClosed = false;
    for (auto at = text.cbegin() + m.length(0); at != text.cend();) {
        if (*at == '&' && !std::regex_search(at, text.cend(), m, entity))
            return false;
        if (*at != '<') {
            if (open.empty() && !std::isspace(static_cast<unsigned char>(*at)))
                return false;
            ++at;
            continue;
        }
        if (rootClosed || !std::regex_search(at, text.cend(), m, tag))
            return false;
        if (m[1].length() > 0) {
            if (open.empty() || open.back() != m[2].str())
                return false;
            open.pop_back();
        } else if (m[4].length() == 0) {
            open.push_back(m[2].str());
        }
        rootClosed = open.empty();
        at += m.length(0);
    }
    return rootClosed;
}

// --plot FILE.svg: the timeline through the SVG writer, well-formed, with
// each event's line where its time falls on the time axis.
TEST_F(SoakSessionTest, TheTimelinePlotIsSvgWithTheEventsAtTheirTimes)
{
    std::string error;
    ASSERT_TRUE(ParseVirtualLoopbackChain("latency=480,underrun=240000+1024,skip=360000+200", api.loopbackChain, error));
    CScratchDir dir;
    SoakRequest request = Request(SoakMode::FullDuplex, 10);
    request.plotPath = dir.File("soak.svg");
    SoakRun run = Run(request);
    EXPECT_EQ(run.plotPath, *request.plotPath) << run.plotError;
    const std::vector<std::uint8_t> bytes = ReadAll(*request.plotPath);
    const std::string svg(bytes.begin(), bytes.end());
    EXPECT_TRUE(WellFormedXml(svg)) << svg;

    // The events' lines: one path per kind, each event an "Mx y" move.
    const double plotWidth = ChartWidth - ChartLeft - ChartRight;
    auto xs = [&](const char* colour) {
        const std::regex path(std::string(R"re(<path fill="none" stroke=")re") + colour +
                              R"re(" stroke-width="1.5" d="([^"]*)")re");
        std::vector<double> found;
        std::smatch m;
        if (std::regex_search(svg, m, path)) {
            const std::string d = m[1].str();
            static const std::regex move(R"(M([0-9.]+) )");
            for (auto it = std::sregex_iterator(d.begin(), d.end(), move); it != std::sregex_iterator(); ++it)
                found.push_back(std::stod((*it)[1].str()));
        }
        return found;
    };
    auto expectedX = [&](double seconds) { return ChartLeft + seconds / run.elapsedSeconds * plotWidth; };
    const std::vector<double> xruns = xs("#c02020"), glitches = xs("#d07000");
    ASSERT_EQ(Of(run, SoakEventKind::Xrun).size(), 1u) << Listed(run);
    ASSERT_EQ(xruns.size(), 1u) << svg;
    // The underrun 5 s in, within a block; the mark within its 4-pixel step.
    EXPECT_NEAR(Of(run, SoakEventKind::Xrun)[0]->seconds, 5, 0.1 + 0.02);
    EXPECT_NEAR(xruns[0], expectedX(Of(run, SoakEventKind::Xrun)[0]->seconds), 2.01);
    // The gap it left and the frames skipped 7.5 s in, each in its place.
    ASSERT_EQ(glitches.size(), 2u) << svg;
    const std::vector<const SoakEvent*> gap = Of(run, SoakEventKind::Gap), jump = Of(run, SoakEventKind::Jump);
    ASSERT_EQ(gap.size(), 1u) << Listed(run);
    ASSERT_EQ(jump.size(), 1u) << Listed(run);
    EXPECT_NEAR(jump[0]->seconds, 7.5, 0.1);
    EXPECT_NEAR(glitches[0], expectedX(gap[0]->seconds), 2.01);
    EXPECT_NEAR(glitches[1], expectedX(jump[0]->seconds), 2.01);
}

TEST_F(SoakSessionTest, RequestsOutOfRangeAreRefused)
{
    for (auto change : std::vector<void (*)(SoakRequest&)>{
             [](SoakRequest& r) { r.format.channels = 3; }, [](SoakRequest& r) { r.format.bits = 20; },
             [](SoakRequest& r) { r.format.validBits = 17; }, [](SoakRequest& r) { r.format.sampleRate = 400; },
             [](SoakRequest& r) { r.durationSeconds = -1; }, [](SoakRequest& r) { r.pollMs = 60; }}) {
        SoakRequest request = Request(SoakMode::FullDuplex, 10);
        change(request);
        SoakRun run;
        EXPECT_FALSE(RunSoakSession(api, request, {}, run));
        EXPECT_EQ(run.outcome, SoakOutcome::Refused);
        EXPECT_FALSE(run.error.empty());
        EXPECT_FALSE(api.Device(WaveDirection::Input, LoopbackDevice).isOpen);
    }
}

} // namespace
