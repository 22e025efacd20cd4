// SPDX-License-Identifier: GPL-3.0-or-later
// The main dialog without a test: its start values, device lists, icon and
// the way its controls are read into the parameters.
#include <gtest/gtest.h>

#include "support/TestSession.h"
#include "ui/Templates.h"
#include "ui/TesterDlg.h"

namespace {

using Texts = std::vector<std::string>;

class MainDialog : public ::testing::Test {
protected:
    CMemoryWindow& Main() { return *session.toolkit.Last(MainDialogTemplateId); }
    void Run()
    {
        dialog.DoModal();
        EXPECT_EQ(session.toolkit.Errors(), Texts{});
        EXPECT_EQ(session.toolkit.PendingActions(), 0u);
    }

    CTestSession session;
    CTesterDlg dialog;
};

TEST_F(MainDialog, StartValues)
{
    session.toolkit.Inspect([&](CMemoryWindow& window, CDialog&) {
        EXPECT_EQ(window.At(IdChannels).text, "1");
        EXPECT_EQ(window.At(IdSampleRate).text, "44100");
        EXPECT_EQ(window.At(IdPrecision).text, "16");
        EXPECT_EQ(window.At(IdValidBits).text, "16");
        EXPECT_EQ(window.At(IdDuration).text, "4");
        EXPECT_EQ(window.At(IdInputDevice).items, (Texts{"Tallowmere Virtual Input", "Tallowmere Virtual Loopback In"}));
        EXPECT_EQ(window.At(IdInputDevice).curSel, 0);
        EXPECT_EQ(window.At(IdInputDevice).text, "Tallowmere Virtual Input");
        EXPECT_EQ(window.At(IdOutputDevice).items,
                  (Texts{"Tallowmere Virtual Output", "Tallowmere Virtual Loopback Out"}));
        EXPECT_EQ(window.At(IdOutputDevice).curSel, 0);
        EXPECT_EQ(window.At(IdApiMode).items, (Texts{"Standard API wave format", "Extended API wave format"}));
        EXPECT_EQ(window.At(IdApiMode).curSel, 0);
        EXPECT_EQ(window.At(IdStatus).text, "Ready");
        EXPECT_EQ(window.At(IdProgress).progress, 0);
        EXPECT_EQ(window.ProgressOf(IdProgress), std::vector<int>{0});
        EXPECT_EQ(window.focus, IdChannels);
        EXPECT_EQ(window.icons[true], AppIconId);
        EXPECT_EQ(window.icons[false], AppIconId);
        EXPECT_EQ(window.Template().title, "Brellick - Tallowmere");
    });
    session.toolkit.Close();
    Run();
    EXPECT_EQ(*Main().endCode, IdCancel);
    // Binding moves no values: nothing was read before a test.
    EXPECT_EQ(dialog.Parameters().sampleRate, 0);
    EXPECT_FALSE(dialog.HasRecordBuffer());
    EXPECT_TRUE(dialog.ReportText().empty());
}

// A device whose capability query fails is not listed, so the ones after it
// move up the box; the test still opens the device the user picked, by its
// own number, and the report names it.
TEST_F(MainDialog, DeviceWhoseQueryFailsIsLeftOutAndTheChosenOneIsOpened)
{
    session.waveApi.SetDevices(WaveDirection::Input, {CVirtualWaveApi::MakeDevice("In zero"),
                                                      CVirtualWaveApi::MakeDevice("In one"),
                                                      CVirtualWaveApi::MakeDevice("In two")});
    session.waveApi.SetDevices(WaveDirection::Output, {CVirtualWaveApi::MakeDevice("Out zero"),
                                                       CVirtualWaveApi::MakeDevice("Out one")});
    session.Input(1).capsQuery.always = 1;
    session.Output(0).capsQuery.always = 6;
    session.toolkit
        .Inspect([](CMemoryWindow& window, CDialog&) {
            EXPECT_EQ(window.At(IdInputDevice).items, (Texts{"In zero", "In two"}));
            EXPECT_EQ(window.At(IdOutputDevice).items, (Texts{"Out one"}));
            EXPECT_EQ(window.At(IdOutputDevice).text, "Out one");
        })
        .Select(IdInputDevice, 1)
        .Press(IdRunTest)
        .Close()
        .Close();
    Run();
    // The box's position stays what the parameters hold; the device opened
    // is the one listed there.
    EXPECT_EQ(dialog.Parameters().inputDeviceIndex, 1);
    EXPECT_EQ(dialog.SelectedDeviceId(WaveDirection::Input), 2);
    EXPECT_EQ(dialog.SelectedDeviceId(WaveDirection::Output), 1);
    EXPECT_TRUE(session.Input(0).calls.empty());
    EXPECT_TRUE(session.Input(1).calls.empty());
    EXPECT_EQ(session.Input(2).calls.front(), "Open");
    EXPECT_TRUE(session.Output(0).calls.empty());
    EXPECT_EQ(session.Output(1).calls.front(), "Open");
    EXPECT_NE(dialog.ReportText().find("Input Device:\tIn two\r\n   Open\tCalled sucessfully\r\n"
                                       "   Record\tCalled sucessfully\r\n"),
              std::string::npos)
        << dialog.ReportText();
    EXPECT_NE(dialog.ReportText().find("Output Device:\tOut one\r\n   Open\tCalled sucessfully\r\n"),
              std::string::npos)
        << dialog.ReportText();
}

TEST_F(MainDialog, NoInputDevicesLeavesTheBoxEmptyAndUnselected)
{
    session.waveApi.SetDevices(WaveDirection::Input, {});
    session.services.ScriptAnswer(false);
    session.toolkit
        .Inspect([](CMemoryWindow& window, CDialog&) {
            EXPECT_TRUE(window.At(IdInputDevice).items.empty());
            EXPECT_EQ(window.At(IdInputDevice).curSel, -1);
        })
        .Press(IdRunTest)
        .Close();
    Run();
    EXPECT_EQ(dialog.Parameters().inputDeviceIndex, -1);
    EXPECT_NE(dialog.ReportText().find("Input Device:\t\r\n   Open\tError - device ID is out of range\r\n"),
              std::string::npos);
}

TEST_F(MainDialog, TextsAreReadAsTypedWithinTheirLimits)
{
    std::string longText(100, '7');
    std::string longName(300, 'n');
    session.services.ScriptAnswer(false);
    session.toolkit.Type(IdChannels, longText)
        .Type(IdValidBits, "twenty")
        .Type(IdInputDevice, longName)
        .Type(IdOutputDevice, "Speakers I typed")
        .Press(IdRunTest)
        .Close();
    Run();
    const TestParameters& p = dialog.Parameters();
    EXPECT_EQ(p.inputDeviceName, std::string(255, 'n'));
    EXPECT_EQ(p.outputDeviceName, "Speakers I typed");
    EXPECT_EQ(p.inputDeviceIndex, 0); // typing keeps the selection
    EXPECT_EQ(p.validBits, 0);
    EXPECT_NE(dialog.ReportText().find("Channels:\t" + std::string(79, '7') + "\r\n"), std::string::npos);
    EXPECT_NE(dialog.ReportText().find("Valid Bits:\ttwenty\r\n"), std::string::npos);
}

TEST_F(MainDialog, EnterClosesUnlessRunTestHasTheFocus)
{
    session.toolkit.Focus(IdRunTest).PressEnter().Close().Type(IdChannels, "2").Focus(IdChannels).PressEnter();
    Run();
    EXPECT_EQ(session.toolkit.CountOf(ResultsDialogTemplateId), 1);
    EXPECT_EQ(*Main().endCode, IdOk);
}

TEST(MainDialogIcon, CentredWhenMinimised)
{
    EXPECT_EQ(MinimisedIconPosition(36, 36, 32, 32), (IconPoint{2, 2}));
    EXPECT_EQ(MinimisedIconPosition(0, 36, 32, 32), (IconPoint{-15, 2}));
    EXPECT_EQ(MinimisedIconPosition(37, 100, 32, 16), (IconPoint{3, 42}));
    CTesterDlg dialog;
    EXPECT_EQ(dialog.OnQueryDragIcon(), AppIconId);
    EXPECT_EQ(dialog.OnPaintIconPosition(36, 36, 32, 32), (IconPoint{2, 2}));
}

} // namespace
