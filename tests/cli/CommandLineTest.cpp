// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "cli/CommandLine.h"

namespace {

CCliParseResult Parse(std::vector<std::string> arguments)
{
    return ParseCommandLine(arguments);
}

} // namespace

TEST(CommandLine, NoArgumentsRunsWithTheDialogsDefaults)
{
    auto result = Parse({});
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.options.action, CliAction::Run);
    EXPECT_FALSE(result.options.channels || result.options.sampleRate || result.options.inputDevice);
    EXPECT_FALSE(result.options.tone);
    EXPECT_FALSE(result.options.json || result.options.crlf);
    EXPECT_EQ(EffectiveTimeoutMilliseconds(result.options), 22000);
}

TEST(CommandLine, FillsEveryParameterInBothSpellings)
{
    auto result = Parse({"--channels", "2", "--rate=48000", "--bits", "24", "--valid-bits=20", "--input", "1",
                         "--output=Virtual Output", "--api", "extended", "--duration", "7", "--tone=yes",
                         "--save", "out.wav", "--crlf", "--json", "--timeout", "2.5"});
    ASSERT_TRUE(result.ok) << result.error;
    const CCliOptions& o = result.options;
    EXPECT_EQ(o.channels, "2");
    EXPECT_EQ(o.sampleRate, "48000");
    EXPECT_EQ(o.precisionBits, "24");
    EXPECT_EQ(o.validBits, "20");
    EXPECT_EQ(o.inputDevice, "1");
    EXPECT_EQ(o.outputDevice, "Virtual Output");
    EXPECT_EQ(o.apiMode, 1);
    EXPECT_EQ(o.duration, "7");
    EXPECT_EQ(o.tone, ToneAnswer::Yes);
    EXPECT_EQ(o.savePath, "out.wav");
    EXPECT_TRUE(o.crlf && o.json);
    EXPECT_EQ(o.timeoutMilliseconds, 2500);
}

TEST(CommandLine, ActionsAndShortForms)
{
    EXPECT_EQ(Parse({"-l"}).options.action, CliAction::List);
    EXPECT_EQ(Parse({"--list"}).options.action, CliAction::List);
    EXPECT_EQ(Parse({"-h"}).options.action, CliAction::Help);
    EXPECT_EQ(Parse({"--version"}).options.action, CliAction::Version);
    EXPECT_EQ(Parse({"--api", "standard"}).options.apiMode, 0);
    EXPECT_EQ(Parse({"--tone", "ask"}).options.tone, ToneAnswer::Ask);
    EXPECT_EQ(Parse({"--timeout", "0"}).options.timeoutMilliseconds, 0);
    EXPECT_EQ(Parse({"--timeout", ".25"}).options.timeoutMilliseconds, 250);
}

// Every refusal names the flag, so a script's author sees what to fix.
TEST(CommandLine, UsageErrorsNameTheFlag)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    const Case cases[] = {
        {{"--channels", "abc"}, "--channels: 'abc' is not a whole number"},
        {{"--rate", "-44100"}, "--rate: '-44100' is not a whole number"},
        {{"--bits", "2.5"}, "--bits: '2.5' is not a whole number"},
        {{"--duration", "99999999999"}, "--duration: '99999999999' is not a whole number"},
        {{"--valid-bits", "2147483648"}, "--valid-bits: '2147483648'"},
        {{"--api", "fancy"}, "--api: 'fancy' must be standard or extended"},
        {{"--tone", "maybe"}, "--tone: 'maybe' must be yes, no or ask"},
        {{"--timeout", "soon"}, "--timeout: 'soon' is not a number of seconds"},
        {{"--timeout", "."}, "--timeout: '.' is not a number of seconds"},
        {{"--timeout", "12345678"}, "--timeout: '12345678' is longer than the longest time-out, 9999999 seconds"},
        {{"--input", ""}, "--input: '' needs a list position"},
        {{"--save"}, "--save needs a value"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"-x"}, "unknown option '-x'"},
        {{"stray"}, "unexpected argument 'stray'"},
        {{"--json=1"}, "--json takes no value"},
    };
    for (const Case& c : cases) {
        auto result = Parse(c.arguments);
        EXPECT_FALSE(result.ok) << c.error;
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    }
    EXPECT_TRUE(Parse({"--valid-bits", "2147483647"}).ok);
    EXPECT_TRUE(Parse({"--channels", "0003"}).ok);
    EXPECT_EQ(Parse({"--timeout", "00009999999.5"}).options.timeoutMilliseconds, 9999999500LL);
}

// The time-out follows the duration the dialog will really use.
TEST(CommandLine, TimeoutDefaultsToThreeDurationsPlusTenSeconds)
{
    EXPECT_EQ(EffectiveDurationSeconds(std::nullopt), 4);
    EXPECT_EQ(EffectiveDurationSeconds(std::string("0")), 4);
    EXPECT_EQ(EffectiveDurationSeconds(std::string("7")), 7);
    EXPECT_EQ(EffectiveDurationSeconds(std::string("101")), 100);
    EXPECT_EQ(EffectiveTimeoutMilliseconds(Parse({"--duration", "1"}).options), 13000);
    EXPECT_EQ(EffectiveTimeoutMilliseconds(Parse({"--duration", "5000"}).options), 310000);
    EXPECT_EQ(EffectiveTimeoutMilliseconds(Parse({"--duration", "5000", "--timeout", "1"}).options), 1000);
}
