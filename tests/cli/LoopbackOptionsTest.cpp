// SPDX-License-Identifier: GPL-3.0-or-later
// --loopback's command line: what it takes, and every refusal naming what
// to fix; the selection and time-out it leads to; the exit status of each
// outcome.
#include <gtest/gtest.h>

#include "cli/CommandLine.h"
#include "cli/loopback/LoopbackCommand.h"
#include "cli/loopback/LoopbackOptions.h"

namespace {

struct GoodRow {
    const char* name;
    std::vector<std::string> arguments;
    MeasureSelection selection; // on the channels given
    int channels;
};

const GoodRow GoodRows[] = {
    {"DefaultsMeasureAllButCrosstalkOnOneChannel", {"--loopback"}, {true, true, true, false}, 1},
    {"AllOnTwoChannels", {"--loopback", "--channels", "2", "--measure=all"}, {true, true, true, true}, 2},
    {"LatencyAlone", {"--loopback", "--measure", "latency"}, {false, false, false, false}, 1},
    {"AnyOrder", {"--loopback", "--measure", "noise,latency,thd"}, {false, true, true, false}, 1},
    {"CrosstalkNamedOnTwo", {"--loopback", "--channels=2", "--measure", "crosstalk", "--max-crosstalk", "-50"},
     {false, false, false, true}, 2},
    {"LimitsWithTheirMeasures",
     {"--loopback", "--max-latency", "20", "--max-response-deviation", "1.5", "--min-dynamic-range", "80",
      "--max-noise-floor=-70", "--max-thdn", "-40", "--expect-frequency", "1000", "--frequency-tolerance", "2",
      "--max-dropouts", "0", "--plot", "out.png", "--json"},
     {true, true, true, false}, 1},
    {"DevicesAndFormat",
     {"--loopback", "--input", "Tallowmere Virtual Loopback In", "--output", "2", "--rate", "96000", "--bits", "24",
      "--valid-bits", "20", "--api", "extended", "--timeout", "30"},
     {true, true, true, false}, 1},
};

class LoopbackCommandLine : public testing::TestWithParam<GoodRow> {};

TEST_P(LoopbackCommandLine, Takes)
{
    const GoodRow& row = GetParam();
    CCliParseResult r = ParseCommandLine(row.arguments);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.options.loopback.wanted);
    EXPECT_EQ(LoopbackSelection(r.options.loopback, row.channels), row.selection);
    CLoopbackFormat format;
    std::string error;
    EXPECT_TRUE(ResolveLoopbackFormat(r.options, format, error)) << error;
    EXPECT_EQ(format.channels, row.channels);
}

INSTANTIATE_TEST_SUITE_P(Rows, LoopbackCommandLine, testing::ValuesIn(GoodRows),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadRow {
    const char* name;
    std::vector<std::string> arguments;
    const char* error;
};

const BadRow BadRows[] = {
    {"MeasureAlone", {"--measure", "all"}, "--measure needs --loopback"},
    {"LimitAlone", {"--json", "--max-latency", "5"}, "--max-latency needs --loopback"},
    {"CrosstalkOnOneChannel", {"--loopback", "--measure", "thd,crosstalk"},
     "--measure: crosstalk needs two channels (--channels 2)"},
    {"UnknownMeasure", {"--loopback", "--measure", "thd,bogus"},
     "--measure: 'thd,bogus' names 'bogus', which is not a measure"},
    {"EmptyName", {"--loopback", "--measure", "thd,,noise"}, "--measure: 'thd,,noise' has an empty name"},
    {"EmptyList", {"--loopback", "--measure="}, "--measure: '' has an empty name"},
    {"AllInAList", {"--loopback", "--measure", "all,thd"}, "--measure: 'all,thd' names 'all', which is not a measure"},
    {"Duration", {"--loopback", "--duration", "5"}, "--duration does not apply to --loopback"},
    {"Save", {"--save", "x.wav", "--loopback"}, "--save does not apply to --loopback"},
    {"Tone", {"--loopback", "--tone", "yes"}, "--tone does not apply to --loopback"},
    {"Analyze", {"--loopback", "--analyze"}, "--analyze does not apply to --loopback"},
    {"AnalyzeFile", {"--loopback", "--analyze-file", "a.wav"}, "--analyze-file does not apply to --loopback"},
    {"MinSnr", {"--loopback", "--min-snr", "30"}, "--min-snr does not apply to --loopback"},
    {"ThreeChannels", {"--loopback", "--channels", "3"}, "--channels: '3' must be 1 or 2 for --loopback"},
    {"TwelveBits", {"--loopback", "--bits", "12"}, "--bits: '12' must be 8, 16, 24 or 32 for --loopback"},
    {"MoreValidThanContainer", {"--loopback", "--valid-bits", "20"},
     "--valid-bits: '20' must be from 1 to the --bits value for --loopback"},
    {"NoValidBits", {"--loopback", "--bits", "24", "--valid-bits", "0"},
     "--valid-bits: '0' must be from 1 to the --bits value for --loopback"},
    {"SlowRate", {"--loopback", "--rate", "4000"}, "--rate: '4000' must be from 8000 to 384000 Hz for --loopback"},
    {"ThdnWithoutThd", {"--loopback", "--measure", "latency", "--max-thdn", "-40"},
     "--max-thdn needs the thd measure (--measure)"},
    {"FrequencyWithoutThd", {"--loopback", "--measure", "response", "--expect-frequency", "1000"},
     "--expect-frequency needs the thd measure (--measure)"},
    {"DropoutsWithoutSignal", {"--loopback", "--measure", "noise", "--max-dropouts", "0"},
     "--max-dropouts needs the thd or response measure (--measure)"},
    {"CrosstalkLimitOnOneChannel", {"--loopback", "--max-crosstalk", "-60"},
     "--max-crosstalk needs the crosstalk measure (--measure)"},
    {"NoiseLimitWithoutNoise", {"--loopback", "--measure", "thd", "--max-noise-floor", "-80"},
     "--max-noise-floor needs the noise measure (--measure)"},
    {"NegativeLatency", {"--loopback", "--max-latency", "-1"}, "--max-latency: '-1' is out of range (at least 0)"},
    {"HugeLatency", {"--loopback", "--max-latency", "20000"},
     "--max-latency: '20000' is out of range (at most 10000 ms)"},
    {"NotANumber", {"--loopback", "--max-noise-floor", "low"}, "--max-noise-floor: 'low' is not a number"},
    {"SwitchWithValue", {"--loopback=yes"}, "--loopback takes no value"},
    {"MissingValue", {"--loopback", "--max-latency"}, "--max-latency needs a value"},
};

class LoopbackUsageError : public testing::TestWithParam<BadRow> {};

TEST_P(LoopbackUsageError, NamesTheFlag)
{
    CCliParseResult r = ParseCommandLine(GetParam().arguments);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Rows, LoopbackUsageError, testing::ValuesIn(BadRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LoopbackCommandLine, HelpAndListStillWinAndTheTimeOutFollowsTheCapture)
{
    EXPECT_EQ(ParseCommandLine({"--loopback", "--duration", "5", "--help"}).options.action, CliAction::Help);
    CCliParseResult r = ParseCommandLine({"--loopback"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(LoopbackTimeoutMilliseconds(r.options, 4.2), 23000);
    r = ParseCommandLine({"--loopback", "--timeout", "0"});
    EXPECT_EQ(LoopbackTimeoutMilliseconds(r.options, 4.2), 0);
    EXPECT_NE(UsageText().find("--loopback"), std::string::npos);
    EXPECT_NE(UsageText().find("--max-response-deviation DB"), std::string::npos);
}

TEST(LoopbackExitStatus, FollowsTheOutcome)
{
    CLoopbackRun run;
    run.outcome = LoopbackOutcome::Measured;
    EXPECT_EQ(LoopbackExitStatus(run), 0);
    run.failedChecks = {"--max-latency: ..."};
    EXPECT_EQ(LoopbackExitStatus(run), 3);
    run.failedChecks.clear();
    run.plotError = "cannot write '/nonexistent/x.png'";
    EXPECT_EQ(LoopbackExitStatus(run), 3);
    for (auto [outcome, status] : {std::pair{LoopbackOutcome::NotMeasured, 1}, std::pair{LoopbackOutcome::DeviceFailed, 1},
                                   std::pair{LoopbackOutcome::Cancelled, 130}, std::pair{LoopbackOutcome::TimedOut, 130}}) {
        run.outcome = outcome;
        EXPECT_EQ(LoopbackExitStatus(run), status) << LoopbackOutcomeName(outcome);
    }
}

} // namespace
