// SPDX-License-Identifier: GPL-3.0-or-later
// The verdicts on analyses made by the analyser itself from signals with a
// known fault: silence, a quiet tone, clipping, lost valid bits, a gap, a
// clean tone. A soak's verdicts on how it ended and what each mode judges.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/SignalAnalyzer.h"
#include "core/SampleCodec.h"
#include "desk/SoakVerdicts.h"
#include "desk/Verdicts.h"

namespace {

struct Signal {
    double amplitude = 0.5;
    int validBits = 16;
    double hz = 1000;
    std::uint64_t gapAt = 0; // frames of zeros from here, 0 for none
    bool secondSilent = false;
};

SignalAnalysis Analyse(const Signal& s, int requestedValidBits = 16)
{
    const int frames = 48000;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(frames) * 4);
    for (int f = 0; f < frames; ++f) {
        const bool gap = s.gapAt != 0 && static_cast<std::uint64_t>(f) >= s.gapAt &&
                         static_cast<std::uint64_t>(f) < s.gapAt + 240;
        const double v = gap ? 0 : s.amplitude * std::sin(2 * M_PI * s.hz * f / 48000);
        StoreFraction(&bytes[static_cast<std::size_t>(f) * 4], v, 2, s.validBits);
        StoreFraction(&bytes[static_cast<std::size_t>(f) * 4 + 2], s.secondSilent ? 0 : v, 2, s.validBits);
    }
    CSignalAnalyzer analyzer(CSampleFormat(48000, 2, 2), requestedValidBits, frames);
    analyzer.Feed(bytes.data(), bytes.size());
    return analyzer.Finish();
}

VerdictState StateOf(const std::vector<Verdict>& verdicts, const std::string& topic)
{
    for (const Verdict& v : verdicts)
        if (v.topic == topic)
            return v.state;
    ADD_FAILURE() << "no verdict on " << topic;
    return VerdictState::Neutral;
}

TEST(Verdicts, ACleanToneIsGoodThroughout)
{
    const std::vector<Verdict> v = JudgeAnalysis(Analyse({}));
    ASSERT_EQ(v.size(), 6u);
    for (const char* topic : {"Signal", "Level", "Clipping", "Valid bits", "Dropouts", "Tone"})
        EXPECT_EQ(StateOf(v, topic), VerdictState::Good) << topic;
    EXPECT_NE(v[5].text.find("1000.0 Hz"), std::string::npos) << v[5].text;
    EXPECT_NE(v[5].text.find("THD+N"), std::string::npos);
}

TEST(Verdicts, EachFaultIsNamedWhereItIs)
{
    const std::vector<Verdict> silence = JudgeAnalysis(Analyse({.amplitude = 0}));
    EXPECT_EQ(StateOf(silence, "Signal"), VerdictState::Bad);
    EXPECT_NE(silence[0].text.find("Digital silence"), std::string::npos);
    EXPECT_EQ(StateOf(silence, "Dropouts"), VerdictState::Neutral);

    const std::vector<Verdict> quiet = JudgeAnalysis(Analyse({.amplitude = 0.001}));
    EXPECT_EQ(StateOf(quiet, "Level"), VerdictState::Warning);
    EXPECT_NE(quiet[1].text.find("Too quiet"), std::string::npos);

    EXPECT_EQ(StateOf(JudgeAnalysis(Analyse({.amplitude = 1.2})), "Clipping"), VerdictState::Bad);
    // 12 bits carried where 16 were asked.
    const std::vector<Verdict> bits = JudgeAnalysis(Analyse({.validBits = 12}));
    EXPECT_EQ(StateOf(bits, "Valid bits"), VerdictState::Bad);
    EXPECT_NE(bits[3].text.find("12 of 16"), std::string::npos) << bits[3].text;

    EXPECT_EQ(StateOf(JudgeAnalysis(Analyse({.gapAt = 20000})), "Dropouts"), VerdictState::Bad);

    const std::vector<Verdict> oneSilent = JudgeAnalysis(Analyse({.secondSilent = true}));
    EXPECT_EQ(StateOf(oneSilent, "Signal"), VerdictState::Warning);
    EXPECT_NE(oneSilent[0].text.find("channel 2"), std::string::npos) << oneSilent[0].text;
}

TEST(Verdicts, AnAnalysisThatFailedGivesItsReasonOnly)
{
    SignalAnalysis failed;
    failed.error = "the recording did not complete";
    const std::vector<Verdict> v = JudgeAnalysis(failed);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].state, VerdictState::Bad);
    EXPECT_EQ(v[0].text, "Not analysed: the recording did not complete");
}

std::string Topics(const std::vector<Verdict>& verdicts)
{
    std::string text;
    for (const Verdict& v : verdicts)
        text += (text.empty() ? "" : ",") + v.topic;
    return text;
}

// Each mode judges what it can know; how a soak ended is said first, with
// its times as the status line gives them.
TEST(SoakVerdicts, EachModeJudgesWhatItKnowsAndTheEndComesFirst)
{
    SoakRun clean;
    clean.format.sampleRate = 48000;
    clean.durationSeconds = 3600;
    clean.elapsedSeconds = 3600;
    clean.stimulusHeard = true;
    clean.latencyFrames = 480;
    clean.driftPpm = {true, 12.5, 0.25};
    const std::vector<Verdict> full = JudgeSoak(clean, false);
    EXPECT_EQ(Topics(full), "Run,Xruns,Glitches,Latency,Drift,Limits");
    EXPECT_EQ(full[0].text, "Ran for the whole 1:00:00");
    EXPECT_EQ(full[0].state, VerdictState::Good);
    EXPECT_EQ(full[3].text, "10.000 ms, wander 0.000 ms");
    EXPECT_EQ(full[4].text, "+12.500 ppm ± 0.250: the input's clock against the output's");
    EXPECT_EQ(full[5].text, "No limit set");

    SoakRun deaf = clean;
    deaf.stimulusHeard = false;
    deaf.outcome = SoakOutcome::Cancelled;
    deaf.elapsedSeconds = 75.9;
    deaf.xruns = 2;
    deaf.inputClock.framesLost = 1024;
    deaf.failedChecks = {"xruns 2 > 0"};
    const std::vector<Verdict> stopped = JudgeSoak(deaf, true);
    EXPECT_EQ(Topics(stopped), "Run,Xruns,Glitches,Stimulus,Limit");
    EXPECT_EQ(stopped[0].text, "Stopped after 1:15 of 1:00:00");
    EXPECT_EQ(stopped[0].state, VerdictState::Warning);
    EXPECT_EQ(stopped[1].text, "2 mended by the back end, 1024 frames lost");
    EXPECT_EQ(stopped[3].state, VerdictState::Bad);
    EXPECT_EQ(stopped[4].text, "xruns 2 > 0");

    SoakRun recorded;
    recorded.mode = SoakMode::RecordOnly;
    recorded.glitches = 1;
    const std::vector<Verdict> alone = JudgeSoak(recorded, true);
    EXPECT_EQ(Topics(alone), "Run,Xruns,Glitches,Level,Limits");
    EXPECT_EQ(alone[0].text, "Ran for 0:00 until stopped");
    EXPECT_EQ(StateOf(alone, "Glitches"), VerdictState::Bad);
    EXPECT_EQ(StateOf(alone, "Level"), VerdictState::Warning) << "digital silence throughout";
    EXPECT_EQ(StateOf(alone, "Limits"), VerdictState::Good);

    SoakRun played;
    played.mode = SoakMode::PlayOnly;
    played.outcome = SoakOutcome::DeviceFailed;
    played.elapsedSeconds = 3;
    played.error = "the output was lost";
    const std::vector<Verdict> lost = JudgeSoak(played, false);
    EXPECT_EQ(Topics(lost), "Run,Xruns,Limits");
    EXPECT_EQ(lost[0].text, "Ended after 0:03: the output was lost");

    SoakRun refused;
    refused.outcome = SoakOutcome::Refused;
    refused.error = "the rate is out of range";
    const std::vector<Verdict> notRun = JudgeSoak(refused, true);
    ASSERT_EQ(notRun.size(), 1u);
    EXPECT_EQ(notRun[0].text, "Not run: the rate is out of range");
}

} // namespace
