// SPDX-License-Identifier: GPL-3.0-or-later
// The terminal window, toolkit and services, with small dialogs made from the
// program's real templates.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "cli/TerminalServices.h"
#include "cli/TerminalToolkit.h"
#include "ui/Templates.h"

namespace {

class CStubResultsDlg : public CDialog {
public:
    CStubResultsDlg(CDialog* owner, std::string report) : CDialog(ResultsDialogTemplate(), owner), report(report)
    {
        MapCommand(IdSaveRecording, [this] { savedTo = Services().AskSaveFileName(Handle(), "*.wav", "Wave"); });
    }
    bool OnInitDialog() override
    {
        CDialog::OnInitDialog();
        Window()->SetControlText(IdReportEdit, report);
        return true;
    }
    std::string report;
    std::optional<std::string> savedTo;
};

// Reads its controls when Run is pressed, as the real dialog does, and shows
// a results dialog.
class CStubMainDlg : public CDialog {
public:
    CStubMainDlg() : CDialog(MainDialogTemplate(), nullptr)
    {
        MapCommand(IdRunTest, [this] { OnRunTest(); });
    }
    bool OnInitDialog() override
    {
        CDialog::OnInitDialog();
        CDialogWindow* w = Window();
        w->SetControlText(IdChannels, "1");
        w->ComboAddString(IdInputDevice, "Card A");
        w->ComboAddString(IdInputDevice, "Card B");
        w->ComboSetCurSel(IdInputDevice, 0);
        w->SetControlText(IdStatus, "Ready");
        return true;
    }
    void OnRunTest()
    {
        ++runs;
        CDialogWindow* w = Window();
        w->EnableControl(IdRunTest, false);
        channels = w->GetControlText(IdChannels);
        input = w->GetControlText(IdInputDevice);
        inputIndex = w->ComboGetCurSel(IdInputDevice);
        w->SetControlText(IdStatus, "Recording");
        w->SetProgressPos(IdProgress, 40);
        results = std::make_unique<CStubResultsDlg>(this, "Channels:\t" + channels + "\r\n");
        resultsEnd = results->DoModal();
        w->SetControlText(IdStatus, "Ready");
        w->EnableControl(IdRunTest, true);
    }
    int runs = 0;
    std::string channels;
    std::string input;
    int inputIndex = -2;
    std::unique_ptr<CStubResultsDlg> results;
    int resultsEnd = 0;
};

// The terminal services on a clock the test moves, so that no time-out
// depends on how busy the machine is.
class CClockedTerminalServices : public CTerminalServices {
public:
    using CTerminalServices::CTerminalServices;
    std::uint32_t TickCount() override { return now.load(); }
    void Sleep(std::uint32_t milliseconds) override { now += milliseconds; }
    std::atomic<std::uint32_t> now{1000};
};

struct ToolkitFixture : testing::Test {
    ToolkitFixture()
        : stream(tmpfile()), statusLine(stream, false), keyboard(OpenPipe(fds), true),
          services(statusLine, keyboard, interrupts), toolkit(&statusLine), toolkitScope(toolkit),
          servicesScope(services)
    {
    }
    ~ToolkitFixture() override
    {
        std::fclose(stream);
        close(fds[0]);
        close(fds[1]);
    }
    static int OpenPipe(int (&ends)[2])
    {
        if (pipe(ends) != 0)
            ends[0] = ends[1] = -1;
        return ends[0];
    }
    void Type(const std::string& keys) { ASSERT_EQ(write(fds[1], keys.data(), keys.size()), ssize_t(keys.size())); }
    // Waits (generously) until the status stream holds `text` `count` times;
    // read through the descriptor, so the stream's own position stays.
    bool WaitForWritten(const std::string& text, std::size_t count)
    {
        for (int waited = 0; waited < 60000; waited += 5) {
            std::string written;
            char buffer[4096];
            for (ssize_t n; (n = pread(fileno(stream), buffer, sizeof buffer, off_t(written.size()))) > 0;)
                written.append(buffer, std::size_t(n));
            std::size_t found = 0;
            for (std::size_t at = written.find(text); at != std::string::npos; at = written.find(text, at + 1))
                ++found;
            if (found >= count)
                return true;
            usleep(5000);
        }
        return false;
    }
    std::string Written()
    {
        std::fflush(stream);
        std::rewind(stream);
        std::string text;
        for (int c; (c = std::fgetc(stream)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }
    int fds[2];
    std::FILE* stream;
    CStatusLine statusLine;
    CKeyboard keyboard;
    CInterrupts interrupts;
    CClockedTerminalServices services;
    CTerminalToolkit toolkit;
    CScopedDialogToolkit toolkitScope;
    CScopedServices servicesScope;
};

} // namespace

TEST_F(ToolkitFixture, DriverFillsControlsPressesRunAndTheDialogsClose)
{
    std::string shownReport;
    int mainFocus = 0, resultsFocus = 0;
    toolkit.SetDriver(MainDialogTemplateId, [&](CDialog& dialog, CTerminalWindow& window) {
        mainFocus = window.Focus();
        window.SetControlText(IdChannels, "2");
        window.ComboSetCurSel(IdInputDevice, 1);
        CTerminalToolkit::Press(dialog, window, IdRunTest);
    });
    toolkit.SetDriver(ResultsDialogTemplateId, [&](CDialog& dialog, CTerminalWindow& window) {
        resultsFocus = window.Focus();
        shownReport = window.GetControlText(IdReportEdit);
        CTerminalToolkit::Press(dialog, window, IdSaveRecording);
    });
    services.SetSavePath("out.wav");
    CStubMainDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IdCancel);
    EXPECT_EQ(dialog.runs, 1);
    EXPECT_EQ(dialog.channels, "2");
    EXPECT_EQ(dialog.input, "Card B");
    EXPECT_EQ(dialog.inputIndex, 1);
    EXPECT_EQ(shownReport, "Channels:\t2\r\n");
    EXPECT_EQ(dialog.resultsEnd, IdCancel);
    EXPECT_EQ(dialog.results->savedTo, "out.wav");
    EXPECT_EQ(mainFocus, IdChannels);
    EXPECT_EQ(resultsFocus, IdSaveRecording);
    EXPECT_EQ(dialog.Window(), nullptr);
    EXPECT_EQ(Written(), "Ready\nRecording\nReady\n");
}

// A dialog without a driver closes at once, as with the close box; a disabled
// button cannot be pressed, and nothing is delivered after the dialog ended.
TEST_F(ToolkitFixture, UndrivenDialogClosesAndDisabledButtonsStayUnpressed)
{
    CStubMainDlg idle;
    EXPECT_EQ(idle.DoModal(), IdCancel);
    EXPECT_EQ(idle.runs, 0);

    bool pressedDisabled = true, pressedAfterEnd = true;
    toolkit.SetDriver(MainDialogTemplateId, [&](CDialog& dialog, CTerminalWindow& window) {
        window.EnableControl(IdRunTest, false);
        pressedDisabled = CTerminalToolkit::Press(dialog, window, IdRunTest);
        window.EnableControl(IdRunTest, true);
        CTerminalToolkit::Press(dialog, window, IdOk);
        pressedAfterEnd = CTerminalToolkit::Press(dialog, window, IdRunTest);
    });
    CStubMainDlg dialog;
    EXPECT_EQ(dialog.DoModal(), IdOk);
    EXPECT_FALSE(pressedDisabled);
    EXPECT_FALSE(pressedAfterEnd);
    EXPECT_EQ(dialog.runs, 0);
}

TEST(TerminalWindow, ControlsBehaveLikeTheirDesktopCounterparts)
{
    CTerminalWindow window(MainDialogTemplate(), nullptr);
    EXPECT_EQ(window.GetControlText(IdRunTest), "&Run Test...");
    EXPECT_EQ(window.GetControlText(IdStatus), "Test status");
    EXPECT_EQ(window.ComboGetCurSel(IdApiMode), -1);
    EXPECT_EQ(window.ComboAddString(IdApiMode, "Standard API wave format"), 0);
    EXPECT_EQ(window.ComboAddString(IdApiMode, "Extended API wave format"), 1);
    EXPECT_EQ(window.ComboSetCurSel(IdApiMode, 1), 1);
    EXPECT_EQ(window.GetControlText(IdApiMode), "Extended API wave format");
    // Out of range clears the selection and the field.
    EXPECT_EQ(window.ComboSetCurSel(IdApiMode, 2), -1);
    EXPECT_EQ(window.ComboGetCurSel(IdApiMode), -1);
    EXPECT_EQ(window.GetControlText(IdApiMode), "");
    EXPECT_EQ(window.ComboGetCount(IdApiMode), 2);
    // Text typed into the field keeps the selection as it was.
    window.ComboSetCurSel(IdApiMode, 0);
    window.SetControlText(IdApiMode, "typed");
    EXPECT_EQ(window.ComboGetCurSel(IdApiMode), 0);
    EXPECT_EQ(window.GetControlText(IdApiMode), "typed");
    // Controls that are not combo boxes or do not exist refuse quietly.
    EXPECT_EQ(window.ComboAddString(IdChannels, "x"), -1);
    EXPECT_EQ(window.GetControlText(4242), "");
    EXPECT_FALSE(window.IsControlEnabled(4242));
    window.SetProgressPos(IdProgress, 250);
    EXPECT_EQ(window.ProgressPos(IdProgress), 250);
    window.EndDialog(IdOk);
    window.EndDialog(IdCancel);
    EXPECT_TRUE(window.Ended());
    EXPECT_EQ(window.EndResult(), IdCancel);
}

TEST_F(ToolkitFixture, EscCtrlCAndTimeOutEachCancelLikeEsc)
{
    EXPECT_FALSE(services.PeekKey(nullptr));
    Type("q\x1b");
    EXPECT_EQ(services.PeekKey(nullptr), 'q');
    EXPECT_EQ(services.PeekKey(nullptr), KeyEscape);

    interrupts.raised = 1;
    EXPECT_EQ(services.PeekKey(nullptr), KeyEscape);
    EXPECT_FALSE(services.PeekKey(nullptr)); // one Ctrl-C, one cancel
    EXPECT_TRUE(services.Interrupted());

    services.ArmTimeout(30);
    EXPECT_FALSE(services.PeekKey(nullptr));
    EXPECT_FALSE(services.TimedOut());
    services.Sleep(40);
    EXPECT_EQ(services.PeekKey(nullptr), KeyEscape);
    EXPECT_EQ(services.PeekKey(nullptr), KeyEscape);
    EXPECT_TRUE(services.TimedOut());
    services.ArmTimeout(0);
    EXPECT_FALSE(services.PeekKey(nullptr));
    EXPECT_TRUE(services.TimedOut());
    EXPECT_NE(Written().find("tallowmere: time-out: cancelling\n"), std::string::npos);
}

TEST_F(ToolkitFixture, ToneQuestionAnsweredFromTheCommandLineOrTheKeyboard)
{
    const std::string question = "Recording test failed.  Do you want to run the playback test with a 1kHz tone?";
    EXPECT_FALSE(services.AskYesNo(nullptr, question, "Notice"));
    services.SetToneAnswer(ToneAnswer::Yes);
    EXPECT_TRUE(services.AskYesNo(nullptr, question, "Notice"));

    services.SetToneAnswer(ToneAnswer::Ask);
    // Keys typed before the question are dropped; other keys are ignored.
    // The late keys come once the prompt is out, however slow the machine.
    std::size_t prompts = 0;
    auto answer = [&](const std::string& early, const std::string& late) {
        Type(early);
        std::thread typist([this, late, prompt = ++prompts] {
            if (WaitForWritten("[y/N] ", prompt))
                Type(late);
        });
        bool yes = services.AskYesNo(nullptr, question, "Notice");
        typist.join();
        return yes;
    };
    EXPECT_TRUE(answer("n", "xY"));
    EXPECT_FALSE(answer("y", "\n"));
    EXPECT_FALSE(answer("y", "\x1b"));
    interrupts.raised = 1;
    EXPECT_FALSE(services.AskYesNo(nullptr, question, "Notice"));
    EXPECT_TRUE(services.ToneAsked());
    std::string written = Written();
    EXPECT_NE(written.find("Notice: " + question + " no (--tone yes plays it)\n"), std::string::npos);
    EXPECT_NE(written.find("Notice: " + question + " [y/N] yes\n"), std::string::npos);
}

// The time-out is meant for a device that hangs: a person taking five
// seconds over the tone question must not cancel the playback that follows.
TEST_F(ToolkitFixture, TimeSpentOnTheToneQuestionDoesNotCountTowardsTheTimeOut)
{
    services.SetToneAnswer(ToneAnswer::Ask);
    services.ArmTimeout(1000);
    std::thread person([this] {
        if (WaitForWritten("[y/N] ", 1)) {
            services.now += 5000;
            Type("y");
        }
    });
    EXPECT_TRUE(services.AskYesNo(nullptr, "Play a tone?", "Notice"));
    person.join();
    EXPECT_FALSE(services.PeekKey(nullptr));
    EXPECT_FALSE(services.TimedOut());
    services.Sleep(1000);
    EXPECT_EQ(services.PeekKey(nullptr), KeyEscape);
}

TEST_F(ToolkitFixture, MessagesAndTheSaveDialog)
{
    services.ShowMessage("IDS_DEVICE_IO_FAIL", MessageIcon::Error);
    EXPECT_EQ(services.MessageCount(), 1);
    EXPECT_EQ(Written(), "tallowmere: IDS_DEVICE_IO_FAIL\n");
    EXPECT_FALSE(services.SetClipboardText(nullptr, "report"));
    EXPECT_FALSE(services.AskSaveFileName(nullptr, "*.wav", "Wave Files (*.wav)"));
    services.SetSavePath("take.wav");
    EXPECT_EQ(services.AskSaveFileName(nullptr, "*.wav", "Wave Files (*.wav)"), "take.wav");
    EXPECT_FALSE(services.AskSaveFileName(nullptr, "*.wav", "Wave Files (*.wav)"));
}
