// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "sequence/OsVersion.h"
#include "sequence/Report.h"

namespace {

TEST(ResultCodeText, WordsEveryCodeByItsLow16Bits)
{
    const char* expected[] = {
        "Called sucessfully",
        "Error - unspecified error",
        "Error - device ID is out of range",
        "Error - driver failed to enable",
        "Error - device already in use",
        "Error - device handle is invalid",
        "Error - no device driver present",
        "Error - memory allocation error",
        "Error - sampling format is not supported",
        "Error - error value is out of range",
        "Error - invalid flag passed",
        "Error - invalid parameter passed",
        "Error - device handle being used",
    };
    for (std::uint32_t code = 0; code <= 12; ++code)
        EXPECT_EQ(ResultCodeText(code), expected[code]) << code;
    EXPECT_EQ(ResultCodeText(0xFFFF), "Not tested");
    EXPECT_EQ(ResultCodeText(0x1FFFF), "Not tested");
    EXPECT_EQ(ResultCodeText(0x10000), "Called sucessfully");
    for (std::uint32_t code : {13u, 32u, 33u, 34u, 0xFFFEu, 0x10020u})
        EXPECT_EQ(ResultCodeText(code), "Error - unknown error code") << code;
}

ParameterInputs Typed(const char* channels, const char* rate, const char* bits, const char* valid, int apiMode)
{
    ParameterInputs in;
    in.channelsText = channels;
    in.sampleRateText = rate;
    in.precisionText = bits;
    in.validBitsText = valid;
    in.apiMode = apiMode;
    return in;
}

TEST(ReportHeader, QuotesTheTextsAsTypedWithOneLinePerApiMode)
{
    const std::string body = "Operating System:\t Windows XP\r\n"
                             "\r\n"
                             "Channels:\tabc\r\n"
                             "nSampling Rate:\t44100\r\n"
                             "Bits Per Sample:\t2.5\r\n"
                             "Valid Bits:\t 16\r\n";
    const std::string os = OsVersionLine(OsVersion::WindowsXp);
    EXPECT_EQ(ReportHeader(os, Typed("abc", "44100", "2.5", " 16", 0)), body + "API Mode:\tStandard\r\n");
    EXPECT_EQ(ReportHeader(os, Typed("abc", "44100", "2.5", " 16", 1)), body + "API Mode:\tExtended\r\n");
    EXPECT_EQ(ReportHeader(os, Typed("abc", "44100", "2.5", " 16", -1)), body);
    EXPECT_EQ(ReportHeader(os, Typed("abc", "44100", "2.5", " 16", 2)), body);
}

TEST(DeviceSection, OpenAndTransferLinesWithTheirCancelWords)
{
    DeviceTestResults worked{0, 0, 0, false};
    EXPECT_EQ(DeviceSection(DeviceSectionKind::Input, "Mic", worked, false),
              "\r\nInput Device:\tMic\r\n   Open\tCalled sucessfully\r\n   Record\tCalled sucessfully\r\n");
    EXPECT_EQ(DeviceSection(DeviceSectionKind::Output, "Spk", worked, false),
              "\r\nOutput Device:\tSpk\r\n   Open\tCalled sucessfully\r\n   Playback\tCalled sucessfully\r\n");
    EXPECT_EQ(DeviceSection(DeviceSectionKind::Input, "Mic", worked, true),
              "\r\nInput Device:\tMic\r\n   Open\tCalled sucessfully\r\n   Record\tRecording cancelled\r\n");
    EXPECT_EQ(DeviceSection(DeviceSectionKind::Output, "Spk", worked, true),
              "\r\nOutput Device:\tSpk\r\n   Open\tCalled sucessfully\r\n   Playback\tPlayback cancelled\r\n");

    DeviceTestResults untried;
    EXPECT_EQ(DeviceSection(DeviceSectionKind::Input, "", untried, false),
              "\r\nInput Device:\t\r\n   Open\tNot tested\r\n   Record\tNot tested\r\n");
}

TEST(DeviceSection, AFailedStartWordsItsOwnCode)
{
    DeviceTestResults failed{0, 0, 4, true};
    EXPECT_EQ(DeviceSection(DeviceSectionKind::Input, "Mic", failed, false),
              "\r\nInput Device:\tMic\r\n   Open\tCalled sucessfully\r\n   Record\tError - device already in use\r\n");
    // A failure that brought no code of its own is not worded as a success.
    for (std::uint16_t code : {std::uint16_t{0}, ResultNotTested}) {
        DeviceTestResults silent{0, 0, code, true};
        EXPECT_EQ(DeviceSection(DeviceSectionKind::Output, "Spk", silent, false),
                  "\r\nOutput Device:\tSpk\r\n   Open\tCalled sucessfully\r\n   Playback\tError - unspecified error\r\n");
    }
}

TEST(OsVersion, ClassificationTable)
{
    struct {
        std::uint32_t platform, major, minor;
        OsVersion expected;
    } cases[] = {
        {1, 3, 0, OsVersion::Windows95},   {1, 5, 10, OsVersion::Windows95},   {1, 4, 0, OsVersion::Windows95},
        {1, 4, 10, OsVersion::Windows98},  {1, 4, 90, OsVersion::WindowsMe},   {1, 4, 200, OsVersion::WindowsMe},
        {1, 4, 0xFFFFFFFF, OsVersion::WindowsMe}, {1, 4, 3, OsVersion::Windows95}, {1, 4, 89, OsVersion::Windows95},
        {1, 4, 11, OsVersion::Windows95},  {2, 4, 0, OsVersion::WindowsNt4},   {2, 4, 1, OsVersion::WindowsXp},
        {2, 5, 0, OsVersion::Windows2000}, {2, 5, 1, OsVersion::WindowsXp},    {2, 5, 2, OsVersion::WindowsXp},
        {2, 3, 51, OsVersion::WindowsXp},  {2, 6, 0, OsVersion::WindowsXp},    {2, 10, 0, OsVersion::WindowsXp},
        {0, 4, 10, OsVersion::Windows95},  {3, 5, 0, OsVersion::Windows95},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyOsVersion({c.platform, c.major, c.minor}), c.expected)
            << c.platform << " " << c.major << "." << c.minor;
}

TEST(OsVersion, LinesForEachClassification)
{
    EXPECT_EQ(OsVersionLine(OsVersion::Windows95), "Operating System:\t Windows 95");
    EXPECT_EQ(OsVersionLine(OsVersion::Windows98), "Operating System:\t Windows 98");
    EXPECT_EQ(OsVersionLine(OsVersion::WindowsMe), "Operating System:\t Windows ME");
    EXPECT_EQ(OsVersionLine(OsVersion::WindowsNt4), "Operating System:\t Windows NT 4.0");
    EXPECT_EQ(OsVersionLine(OsVersion::Windows2000), "Operating System:\t Windows 2000");
    EXPECT_EQ(OsVersionLine(OsVersion::WindowsXp), "Operating System:\t Windows XP");
}

// Systems after the table are named in its form; the table's own keep its words.
TEST(OsVersion, LaterWindowsNamedInTheTablesForm)
{
    struct {
        WindowsRelease release;
        std::optional<std::string> name;
    } cases[] = {
        {{5, 1, 2600}, std::nullopt},
        {{4, 0, 1381}, std::nullopt},
        {{6, 0, 6002}, "Windows Vista"},
        {{6, 1, 7601}, "Windows 7"},
        {{6, 2, 9200}, "Windows 8"},
        {{6, 3, 9600}, "Windows 8.1"},
        {{10, 0, 19045}, "Windows 10"},
        {{10, 0, 21999}, "Windows 10"},
        {{10, 0, 22000}, "Windows 11"},
        {{10, 0, 26100}, "Windows 11"},
        {{6, 4, 9841}, "Windows NT 6.4"},
        {{11, 0, 30000}, "Windows NT 11.0"},
        {{6, 1, 7601, true}, "Windows Server (NT 6.1)"},
        {{10, 0, 20348, true}, "Windows Server (NT 10.0)"},
    };
    for (const auto& c : cases) {
        std::optional<std::string> line = LaterWindowsLine(c.release);
        if (!c.name)
            EXPECT_FALSE(line) << c.release.majorVersion << "." << c.release.minorVersion;
        else
            EXPECT_EQ(line, "Operating System:\t " + *c.name);
    }
}

TEST(OsVersion, RunningSystemIsNamedInTheSameForm)
{
    const char* debian = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nID=debian\n";
    EXPECT_EQ(RunningSystemLine(debian, "Linux", "6.1.0-18-amd64"),
              "Operating System:\t Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64");
    EXPECT_EQ(RunningSystemLine("NAME='Arch Linux'\n", "Linux", "6.8"), "Operating System:\t Arch Linux, Linux 6.8");
    EXPECT_EQ(RunningSystemLine("NAME=Plain\r\n", "Linux", "6.8"), "Operating System:\t Plain, Linux 6.8");
    EXPECT_EQ(RunningSystemLine("PRETTY_NAME=\"Say \\\"hi\\\"\"\n", "Linux", "1"),
              "Operating System:\t Say \"hi\", Linux 1");
    EXPECT_EQ(RunningSystemLine("", "Linux", "6.8"), "Operating System:\t Linux 6.8");
    EXPECT_EQ(RunningSystemLine("XPRETTY_NAME=no\n", "", ""), "Operating System:\t ");
}

} // namespace
