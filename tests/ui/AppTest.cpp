// SPDX-License-Identifier: GPL-3.0-or-later
// The program end to end through the application object, as a front end
// starts it: services, toolkit and wave API installed, then InitInstance.
#include <gtest/gtest.h>

#include <cstdio>

#include "sequence/OsVersion.h"
#include "support/TestSession.h"
#include "ui/Templates.h"
#include "ui/TesterApp.h"
#include "ui/TesterDlg.h"

namespace {

using Texts = std::vector<std::string>;

// What the main dialog held when the last results dialog closed.
struct Outcome {
    std::string report;
    bool recordComplete = false;
    bool playbackComplete = false;
    bool cancelled = false;
};

CMemoryToolkit::Check Capture(Outcome& outcome, CTesterApp& app)
{
    return [&outcome, &app](CMemoryWindow&, CDialog& dialog) {
        auto& main = dynamic_cast<CTesterDlg&>(dialog);
        EXPECT_EQ(app.MainWindow(), &main);
        outcome = {main.ReportText(), main.RecordComplete(), main.PlaybackComplete(), main.TestCancelled()};
    };
}

// Shows the report with its control characters spelled out.
std::string Visible(const std::string& text)
{
    std::string shown;
    for (char c : text)
        shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n\n") : c == '\t' ? "\\t" : std::string(1, c);
    return shown;
}

TEST(Application, CompleteDefaultRun)
{
    CTestSession session;
    CTesterApp app;
    Outcome outcome;
    session.toolkit.Press(IdRunTest).In(ResultsDialogTemplateId).Close().Inspect(Capture(outcome, app)).Close();
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_EQ(session.toolkit.Errors(), Texts{});

    const std::string expected = OperatingSystemLine() +
                                 "\r\n"
                                 "\r\n"
                                 "Channels:\t1\r\n"
                                 "nSampling Rate:\t44100\r\n"
                                 "Bits Per Sample:\t16\r\n"
                                 "Valid Bits:\t16\r\n"
                                 "API Mode:\tStandard\r\n"
                                 "\r\n"
                                 "Input Device:\tTallowmere Virtual Input\r\n"
                                 "   Open\tCalled sucessfully\r\n"
                                 "   Record\tCalled sucessfully\r\n"
                                 "\r\n"
                                 "Output Device:\tTallowmere Virtual Output\r\n"
                                 "   Open\tCalled sucessfully\r\n"
                                 "   Playback\tCalled sucessfully\r\n";
    EXPECT_EQ(outcome.report, expected);
    EXPECT_TRUE(outcome.recordComplete);
    EXPECT_TRUE(outcome.playbackComplete);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_EQ(session.services.totalSlept, 2u * (250 + 4000 + 250));
    std::printf("Report of a default run on the virtual devices:\n%s", Visible(outcome.report).c_str());
}

TEST(Application, CancelledRun)
{
    CTestSession session;
    CTesterApp app;
    Outcome outcome;
    session.services.ScriptKeyAt(20, KeyEscape);
    session.toolkit.Press(IdRunTest).Close().Inspect(Capture(outcome, app)).Close();
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(session.toolkit.Errors(), Texts{});

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.recordComplete);
    EXPECT_FALSE(outcome.playbackComplete);
    EXPECT_NE(outcome.report.find("   Record\tRecording cancelled\r\n"), std::string::npos);
    EXPECT_EQ(outcome.report.find("Output Device"), std::string::npos);
    EXPECT_EQ(session.services.totalSlept, 250u + 2000u + 250u);
    EXPECT_TRUE(session.Output().calls.empty());
}

TEST(Application, EndsWhenNoWindowCanBeMade)
{
    CTestSession session;
    session.toolkit.failCreate = true;
    CTesterApp app;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(session.toolkit.windows.empty());
}

} // namespace
