// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback session over the virtual loopback pair on the fake clock:
// what the front end hears while it runs, what comes back, and a cancel or
// a failed device ending it with the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "audio/backends/VirtualWaveApi.h"
#include "measure/loopback/LoopbackSession.h"
#include "support/FakeServices.h"

namespace {

constexpr std::uint32_t LoopbackDevice = 1; // listed after the default device of each direction

CLoopbackRequest MonoRequest()
{
    CLoopbackRequest request;
    request.input = {1, LoopbackDevice, "loop in"};
    request.output = {1, LoopbackDevice, "loop out"};
    request.format = {.channels = 1, .sampleRate = 48000, .bits = 16, .validBits = 16, .extended = false};
    request.selection = {.response = false, .thd = true, .noise = false, .crosstalk = false};
    return request;
}

struct HookLog {
    int starts = 0;
    int captured = 0;
    double captureSeconds = 0;
    std::vector<int> progress;
    int cancelAsked = 0;
};

LoopbackHooks Hooks(HookLog& log, int cancelAfter = -1)
{
    LoopbackHooks hooks;
    hooks.onStart = [&log](const CLoopbackRun& run) {
        ++log.starts;
        log.captureSeconds = run.captureSeconds;
    };
    hooks.onProgress = [&log](int percent) { log.progress.push_back(percent); };
    hooks.onCaptured = [&log] { ++log.captured; };
    hooks.cancelRequested = [&log, cancelAfter] { return ++log.cancelAsked == cancelAfter; };
    return hooks;
}

TEST(LoopbackSession, MeasuresTheCableAndHoldsItToTheLimits)
{
    CFakeServicesScope services;
    CVirtualWaveApi api;
    api.loopbackChain.latencyFrames = 480;
    CLoopbackRequest request = MonoRequest();
    request.limits.maxLatencyMs = 5; // the cable takes 10 ms
    HookLog log;
    CLoopbackRun run;
    ASSERT_TRUE(RunLoopbackSession(api, request, Hooks(log), run));

    ASSERT_EQ(run.outcome, LoopbackOutcome::Measured) << run.error;
    EXPECT_EQ(run.measures.latency.frames, 480);
    EXPECT_EQ(run.input.name, "loop in");
    EXPECT_EQ(run.selection, request.selection);
    // The capture is the sequence, the one-second margin and the latency allowed.
    EXPECT_NEAR(run.captureSeconds - run.sequenceSeconds, 1.005, 1.0 / 48000);
    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.captured, 1);
    EXPECT_DOUBLE_EQ(log.captureSeconds, run.captureSeconds);
    ASSERT_FALSE(log.progress.empty());
    EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));
    EXPECT_LE(log.progress.back(), 100);
    EXPECT_GE(log.progress.back(), 90);
    EXPECT_TRUE(run.checksSet);
    ASSERT_EQ(run.failedChecks.size(), 1u);
    EXPECT_EQ(run.failedChecks[0], "--max-latency: the round trip takes 10.00 ms, at most 5.00 ms wanted");
}

TEST(LoopbackSession, CancelEndsTheRunWithoutFigures)
{
    CFakeServicesScope services;
    CVirtualWaveApi api;
    HookLog log;
    CLoopbackRun run;
    ASSERT_TRUE(RunLoopbackSession(api, MonoRequest(), Hooks(log, 3), run));
    EXPECT_EQ(run.outcome, LoopbackOutcome::Cancelled);
    EXPECT_EQ(run.error, "the run was cancelled");
    EXPECT_EQ(log.cancelAsked, 3);
    EXPECT_EQ(log.captured, 1);
    EXPECT_FALSE(run.measures.ok);
    EXPECT_FALSE(run.checksSet);
}

TEST(LoopbackSession, ADeviceThatCannotOpenIsNamedWithItsStepAndCode)
{
    CFakeServicesScope services;
    CVirtualWaveApi api;
    api.Device(WaveDirection::Input, LoopbackDevice).open.next = {WaveErrAllocated};
    CLoopbackRequest request = MonoRequest();
    request.plotPath = "never.png";
    HookLog log;
    CLoopbackRun run;
    ASSERT_TRUE(RunLoopbackSession(api, request, Hooks(log), run));
    EXPECT_EQ(run.outcome, LoopbackOutcome::DeviceFailed);
    EXPECT_EQ(run.failedDirection, WaveDirection::Input);
    EXPECT_EQ(run.failedStep, "open");
    EXPECT_EQ(run.code, WaveErrAllocated);
    EXPECT_EQ(run.error.rfind("the input's open failed with code 4 (", 0), 0u) << run.error;
    EXPECT_FALSE(run.plotPath.has_value());
    EXPECT_TRUE(log.progress.empty());
}

} // namespace
