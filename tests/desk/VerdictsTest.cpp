// SPDX-License-Identifier: GPL-3.0-or-later
// The verdicts on analyses made by the analyser itself from signals with a
// known fault: silence, a quiet tone, clipping, lost valid bits, a gap, a
// clean tone.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/SignalAnalyzer.h"
#include "core/SampleCodec.h"
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

} // namespace
