// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement window on Qt's offscreen platform, over the virtual
// devices with a clock that moves as the sessions sleep: each view from
// idle through running to its result or its failure, the settings kept
// between starts, a WAVE file opened, dropped and followed, and every
// control named for a screen reader.
#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <memory>

#include "DeskTestSupport.h"
#include "audio/backends/VirtualLoopback.h"
#include "audio/backends/VirtualWaveApi.h"
#include "desk/FormatPanel.h"
#include "desk/FormatsView.h"
#include "desk/InputView.h"
#include "desk/LevelMeters.h"
#include "desk/LoopbackView.h"
#include "desk/MeasureWindow.h"
#include "desk/Pictures.h"
#include "desk/SessionRunner.h"
#include "desk/SoakView.h"
#include "desk/VerdictList.h"
#include "support/ScratchDir.h"

namespace {

class MeasureWindow : public ::testing::Test {
protected:
    MeasureWindow() : settings(scratch.File("settings"))
    {
        DeskTestApplication();
        window = std::make_unique<CMeasureWindow>(services);
        window->show();
        EXPECT_TRUE(ListDevicesAndWait(*window));
    }

    CMeasureWindow& W() { return *window; }
    // Selects the virtual loopback pair in both lists.
    void ChooseLoopbackPair()
    {
        W().FormatPanel()->InputBox()->setCurrentText("Tallowmere Virtual Loopback In");
        W().FormatPanel()->OutputBox()->setCurrentText("Tallowmere Virtual Loopback Out");
    }
    std::vector<Verdict> ShownVerdicts(CVerdictList* list)
    {
        std::vector<Verdict> shown;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            shown.push_back({list->topLevelItem(i)->text(0).toStdString(), VerdictState::Neutral,
                             list->topLevelItem(i)->text(1).toStdString() + ": " +
                                 list->topLevelItem(i)->text(2).toStdString()});
        return shown;
    }

    CScratchDir scratch{"tallowmere-desk"};
    CPrivateSettings settings;
    CFastClockServices services;
    CScopedServices servicesScope{services};
    CScopedVirtualWaveApi virtualApi;
    std::unique_ptr<CMeasureWindow> window;
};

TEST_F(MeasureWindow, ListsTheTestsDevicesAndKeepsTheChoiceForTheNextStart)
{
    CFormatPanel& panel = *W().FormatPanel();
    ASSERT_EQ(panel.InputBox()->count(), 2);
    EXPECT_EQ(panel.InputBox()->itemText(0), "Tallowmere Virtual Input");
    EXPECT_EQ(panel.OutputBox()->itemText(1), "Tallowmere Virtual Loopback Out");
    // The test dialog's start values.
    EXPECT_EQ(panel.Format().channels, 1);
    EXPECT_EQ(panel.Format().sampleRate, 44100);
    EXPECT_EQ(panel.Format().bits, 16);
    EXPECT_EQ(panel.Format().validBits, 16);
    EXPECT_FALSE(panel.Format().extended);

    ChooseLoopbackPair();
    panel.ChannelsBox()->setValue(2);
    panel.RateBox()->setCurrentText("96000");
    panel.BitsBox()->setCurrentText("24");
    EXPECT_EQ(panel.ValidBitsBox()->value(), 24) << "all the container's bits stay all of them";
    panel.ValidBitsBox()->setValue(20);
    panel.BitsBox()->setCurrentText("16");
    EXPECT_EQ(panel.ValidBitsBox()->value(), 16) << "valid bits never exceed the container";
    panel.BitsBox()->setCurrentText("24");
    panel.ValidBitsBox()->setValue(20);
    panel.ModeBox()->setCurrentIndex(1);
    W().LoopbackView()->LatencyLimit()->setText("25");
    W().SoakView()->ModeBox()->setCurrentIndex(1);
    W().SoakView()->DurationBox()->setValue(90);
    W().SoakView()->UnitBox()->setCurrentIndex(0);
    W().SoakView()->DriftLimit()->setText("20");
    W().Views()->setCurrentIndex(2);
    W().close();
    window.reset();
    {
        CMeasureWindow early(services);
        early.close(); // before its lists came: the names it was given stay
    }

    CMeasureWindow again(services);
    EXPECT_EQ(again.FormatPanel()->InputBox()->count(), 0) << "the lists come after the window";
    ASSERT_TRUE(ListDevicesAndWait(again));
    const ChosenFormat f = again.FormatPanel()->Format();
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.sampleRate, 96000);
    EXPECT_EQ(f.bits, 24);
    EXPECT_EQ(f.validBits, 20);
    EXPECT_TRUE(f.extended);
    EXPECT_EQ(again.FormatPanel()->Input().name, "Tallowmere Virtual Loopback In");
    EXPECT_EQ(again.FormatPanel()->Output().id, 1);
    EXPECT_EQ(again.LoopbackView()->LatencyLimit()->text(), "25");
    EXPECT_EQ(again.SoakView()->ModeBox()->currentIndex(), 1);
    const CSoakView& soak = *again.SoakView();
    EXPECT_EQ(SoakDurationSeconds(soak.DurationBox()->value(), soak.UnitBox()->currentIndex()), 90);
    EXPECT_EQ(again.SoakView()->DriftLimit()->text(), "20");
    EXPECT_EQ(again.Views()->currentIndex(), 2);
}

TEST_F(MeasureWindow, CheckTheInputMetersTheRecordingThenShowsItsVerdicts)
{
    CInputView& view = *W().InputView();
    W().FormatPanel()->ChannelsBox()->setValue(2);
    view.SecondsBox()->setValue(2);
    ASSERT_TRUE(view.StartCheck());
    EXPECT_EQ(view.CurrentState(), CInputView::State::Recording);
    EXPECT_FALSE(W().FormatPanel()->isEnabled()) << "the format stays as it is while it is used";
    EXPECT_FALSE(view.StartCheck()) << "one session at a time";
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CInputView::State::Recording; }));

    ASSERT_EQ(view.CurrentState(), CInputView::State::Shown) << view.StatusText().toStdString();
    EXPECT_TRUE(W().FormatPanel()->isEnabled());
    EXPECT_GE(view.Meters()->Updates(), 2 * InputCheckSlicesPerSecond);
    ASSERT_EQ(view.Meters()->Levels().size(), 2u);
    EXPECT_NEAR(view.Meters()->Levels()[0].peakDbfs, -6.02, 0.3);
    EXPECT_NE(view.Meters()->accessibleDescription().indexOf("Channel 2: peak -6."), -1)
        << view.Meters()->accessibleDescription().toStdString();
    const std::vector<Verdict> shown = ShownVerdicts(view.Verdicts());
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(shown[0].text, "OK: A signal in every channel");
    EXPECT_NE(shown[5].text.find("440.0 Hz"), std::string::npos) << shown[5].text;
    EXPECT_EQ(view.Outcome().analysis.frames, 88200u);
}

TEST_F(MeasureWindow, AFailingInputAndEscEachEndTheCheckWithTheReason)
{
    CInputView& view = *W().InputView();
    virtualApi.api.Device(WaveDirection::Input, 0).open.next.push_back(WaveErrAllocated);
    ASSERT_TRUE(view.StartCheck());
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CInputView::State::Recording; }));
    EXPECT_EQ(view.CurrentState(), CInputView::State::Failed);
    EXPECT_NE(view.StatusText().indexOf("open failed with code 4"), -1) << view.StatusText().toStdString();
    EXPECT_EQ(view.Verdicts()->topLevelItemCount(), 0);

    // A device that never hands a buffer back, on a clock that stands
    // still, waits until Esc.
    virtualApi.api.Device(WaveDirection::Input, 0).buffersNeverComplete = true;
    services.stopped = true;
    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    ASSERT_TRUE(view.StartCheck());
    QTest::keyClick(view.SecondsBox(), Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CInputView::State::Recording; }));
    EXPECT_EQ(view.StatusText(), "the check was cancelled");
}

TEST_F(MeasureWindow, AWaveFileIsAnalysedWhenOpenedDroppedOrWrittenAgain)
{
    CInputView& view = *W().InputView();
    const std::string tone = scratch.File("tone.wav");
    ASSERT_TRUE(WriteSineWave(tone, 1000, 1));
    ASSERT_TRUE(W().OpenWaveFile(QString::fromStdString(tone)));
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() == CInputView::State::Shown; }));
    EXPECT_NE(ShownVerdicts(view.Verdicts())[5].text.find("1000.0 Hz"), std::string::npos);
    EXPECT_EQ(W().FollowedFile(), QString::fromStdString(tone));

    // Written again, as a save over it: analysed again.
    ASSERT_TRUE(WriteSineWave(tone, 0, 1));
    ASSERT_TRUE(WaitUntil([&] {
        return view.CurrentState() == CInputView::State::Shown &&
               ShownVerdicts(view.Verdicts())[0].text.find("Digital silence") != std::string::npos;
    }));

    // A file that is not WAVE says why and shows nothing.
    const std::string junk = scratch.File("junk.wav");
    ASSERT_TRUE(WriteAll(junk, {'n', 'o', 't', ' ', 'r', 'i', 'f', 'f'}));
    ASSERT_TRUE(W().OpenWaveFile(QString::fromStdString(junk)));
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() == CInputView::State::Failed; }));
    EXPECT_NE(view.StatusText().indexOf("cannot be analysed"), -1) << view.StatusText().toStdString();

    // Dropped on the window: only a .wav file is taken.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(scratch.File("notes.txt"))),
                  QUrl::fromLocalFile(QString::fromStdString(tone))});
    EXPECT_EQ(FirstWaveFile(data.urls()), QString::fromStdString(tone));
    QMimeData text;
    text.setUrls({QUrl::fromLocalFile(QString::fromStdString(scratch.File("notes.txt")))});
    EXPECT_FALSE(W().OpenDropped(text));
    ASSERT_TRUE(W().OpenDropped(data));
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() == CInputView::State::Shown; }));
}

TEST_F(MeasureWindow, TheLoopbackShowsItsTableChecksAndPictures)
{
    CLoopbackView& view = *W().LoopbackView();
    ChooseLoopbackPair();
    view.LatencyLimit()->setText("1"); // the plain cable takes 256 frames: 5.8 ms
    ASSERT_TRUE(view.StartRun());
    EXPECT_EQ(view.CurrentState(), CLoopbackView::State::Running);
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CLoopbackView::State::Running; }, 60000));
    ASSERT_EQ(view.CurrentState(), CLoopbackView::State::Shown) << view.StatusText().toStdString();
    EXPECT_EQ(view.Run().outcome, LoopbackOutcome::Measured);
    EXPECT_FALSE(view.Run().measures.response.empty());
    const std::vector<Verdict> checks = ShownVerdicts(view.Checks());
    ASSERT_FALSE(checks.empty());
    EXPECT_NE(checks[0].text.find("--max-latency"), std::string::npos) << checks[0].text;

    // Without its output wired back: not measured, with the hint.
    W().FormatPanel()->OutputBox()->setCurrentIndex(0);
    ASSERT_TRUE(view.StartRun());
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CLoopbackView::State::Running; }, 60000));
    EXPECT_EQ(view.CurrentState(), CLoopbackView::State::Failed);
    EXPECT_NE(view.StatusText().indexOf("wired back"), -1) << view.StatusText().toStdString();
}

TEST_F(MeasureWindow, TheFormatMatrixFillsAGridPerDeviceWithDetailsOnSelection)
{
    CFormatsView& view = *W().FormatsView();
    virtualApi.api.Device(WaveDirection::Input, 0).rates = {48000};
    ASSERT_TRUE(view.StartMatrix());
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CFormatsView::State::Running; }, 60000));
    ASSERT_EQ(view.CurrentState(), CFormatsView::State::Shown) << view.StatusText().toStdString();
    ASSERT_EQ(view.Grids()->count(), 2);
    EXPECT_EQ(view.Grids()->tabText(0), "Input: Tallowmere Virtual Input");
    auto* grid = qobject_cast<QTableWidget*>(view.Grids()->widget(0));
    ASSERT_NE(grid, nullptr);
    EXPECT_GT(grid->rowCount(), 4);
    grid->setCurrentCell(0, 0);
    EXPECT_NE(view.Details()->toPlainText().indexOf("Open: code 8"), -1) << view.Details()->toPlainText().toStdString();

    // Cancelled: what was taken is kept and said.
    view.LevelBox()->setCurrentIndex(1);
    ASSERT_TRUE(view.StartMatrix());
    W().Runner()->Cancel();
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CFormatsView::State::Running; }, 60000));
    EXPECT_EQ(view.CurrentState(), CFormatsView::State::Cancelled);
    EXPECT_NE(view.StatusText().indexOf("Cancelled"), -1);
}

// The pair's cable drifts by 50 ppm and loses 200 frames at 2 s: while the
// soak runs until stopped, the timeline, the events and the status show
// both; Esc ends it, and the summary, the checks and the report have them.
TEST_F(MeasureWindow, TheSoakShowsItsEventsAndDriftLiveThenItsSummary)
{
    CSoakView& view = *W().SoakView();
    ChooseLoopbackPair();
    W().FormatPanel()->RateBox()->setCurrentText("48000");
    std::string error;
    ASSERT_TRUE(ParseVirtualLoopbackChain("latency=1000,noise=-100,drift=50,skip=96000+200",
                                          virtualApi.api.loopbackChain, error)) << error;
    virtualApi.api.playedLimit = 0;
    view.DurationBox()->setValue(0);
    view.GlitchLimit()->setText("0");
    W().Views()->setCurrentWidget(&view);
    ASSERT_TRUE(view.StartSoak());
    EXPECT_EQ(view.CurrentState(), CSoakView::State::Running);
    EXPECT_FALSE(view.RunButton()->isEnabled());
    EXPECT_FALSE(view.DurationBox()->isEnabled());
    EXPECT_TRUE(view.StopButton()->isEnabled());
    EXPECT_FALSE(W().FormatPanel()->isEnabled());

    // Live: the jump listed and marked on the timeline, the drift in the status.
    ASSERT_TRUE(WaitUntil([&] {
        const SoakTimeline* shown = view.Picture()->Shown();
        return shown != nullptr && !shown->marks.empty() && !shown->driftPpm.empty() &&
               view.Text()->toPlainText().contains("jump") && view.StatusText().contains("drift +5");
    })) << view.StatusText().toStdString() << "\n" << view.Text()->toPlainText().toStdString();
    EXPECT_EQ(view.CurrentState(), CSoakView::State::Running);
    EXPECT_EQ(view.Picture()->Shown()->marks[0].kind, SoakPlotMark::Kind::Glitch);
    EXPECT_NEAR(view.Picture()->Shown()->marks[0].seconds, 2.02, 0.05);

    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    QTest::keyClick(view.Text(), Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CSoakView::State::Running; }));
    ASSERT_EQ(view.CurrentState(), CSoakView::State::Shown) << view.StatusText().toStdString();
    EXPECT_TRUE(W().FormatPanel()->isEnabled());
    EXPECT_TRUE(view.StatusText().startsWith("Completed after")) << view.StatusText().toStdString();
    const SoakRun& run = view.Run();
    EXPECT_EQ(run.outcome, SoakOutcome::Completed) << "until stopped: Esc is its end";
    ASSERT_TRUE(run.driftPpm.valid);
    EXPECT_NEAR(run.driftPpm.value, 50, 1);
    ASSERT_EQ(run.eventCount, 1u);
    EXPECT_EQ(run.events[0].kind, SoakEventKind::Jump);
    EXPECT_EQ(run.events[0].frames, 200u);
    const std::vector<Verdict> checks = ShownVerdicts(view.Checks());
    ASSERT_GE(checks.size(), 6u);
    EXPECT_EQ(checks[2].text, "Fault: 1 that no xrun explains (the events say where)");
    EXPECT_EQ(checks.back().text, "Fault: glitches 1 > 0");
    const QString summary = view.Text()->toPlainText();
    EXPECT_TRUE(summary.contains("Drift:       +50.")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("jump")) << summary.toStdString();

    // The report has the soak's section, and its JSON the soak's document.
    const std::string html = scratch.File("soak.html");
    ASSERT_TRUE(W().SaveReport(QString::fromStdString(html)));
    ASSERT_TRUE(WaitUntil([&] { return !W().ReportSaving(); }, 30000));
    const std::vector<std::uint8_t> json = ReadAll(scratch.File("soak.json"));
    EXPECT_NE(std::string(json.begin(), json.end()).find("\"soak\": {"), std::string::npos)
        << W().LastReportMessage().toStdString();
    const std::vector<std::uint8_t> page = ReadAll(html);
    const std::string text(page.begin(), page.end());
    EXPECT_NE(text.find("<section id=\"soak\">"), std::string::npos);
    EXPECT_NE(text.find("glitches 1 &gt; 0"), std::string::npos) << "the limit it was held to";
}

// A device that fails ends the soak with the reason; a mode whose device
// is missing is not started.
TEST_F(MeasureWindow, ASoakEndsOnAFailingDeviceAndNeedsItsModesDevices)
{
    CSoakView& view = *W().SoakView();
    ChooseLoopbackPair();
    virtualApi.api.Device(WaveDirection::Input, 1).open.next.push_back(WaveErrAllocated);
    ASSERT_TRUE(view.StartSoak());
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CSoakView::State::Running; }));
    EXPECT_EQ(view.CurrentState(), CSoakView::State::Failed);
    EXPECT_NE(view.StatusText().indexOf("open failed with code 4"), -1) << view.StatusText().toStdString();
    EXPECT_EQ(ShownVerdicts(view.Checks())[0].topic, "Run");

    virtualApi.api.SetDevices(WaveDirection::Output, {});
    ASSERT_TRUE(ListDevicesAndWait(W()));
    view.ModeBox()->setCurrentIndex(2);
    EXPECT_FALSE(view.StartSoak());
    EXPECT_EQ(view.StatusText(), "Choose an output device first");
    view.ModeBox()->setCurrentIndex(1);
    view.DurationBox()->setValue(3);
    view.UnitBox()->setCurrentIndex(0);
    ASSERT_TRUE(view.StartSoak()) << "recording alone needs no output";
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() != CSoakView::State::Running; }));
    EXPECT_EQ(view.CurrentState(), CSoakView::State::Shown) << view.StatusText().toStdString();
    EXPECT_EQ(view.Run().mode, SoakMode::RecordOnly);
    EXPECT_NEAR(view.Run().elapsedSeconds, 3, 0.2);
}

TEST_F(MeasureWindow, EveryControlIsNamedForAScreenReader)
{
    // The results too: a view's controls exist from the start, the grids
    // once a matrix ran.
    ASSERT_TRUE(W().FormatsView()->StartMatrix());
    ASSERT_TRUE(WaitUntil([&] { return W().FormatsView()->CurrentState() == CFormatsView::State::Shown; }, 60000));
    int checked = 0;
    for (QWidget* widget : W().findChildren<QWidget*>()) {
        // Combo boxes' pop-up lists are windows of their own, named by the
        // box; a spin box's field is read as the spin box itself.
        if (widget->focusPolicy() == Qt::NoFocus || widget->window() != &W() ||
            qobject_cast<QAbstractSpinBox*>(widget->parentWidget()) != nullptr)
            continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
            << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 20);
}

TEST_F(MeasureWindow, SaveReportWritesWhatTheViewsShow)
{
    const QString html = QString::fromStdString(scratch.File("report.html"));
    EXPECT_FALSE(W().SaveReport(html)) << "nothing shown yet";
    EXPECT_NE(W().LastReportMessage().indexOf("Nothing to report yet"), -1);

    CInputView& view = *W().InputView();
    view.SecondsBox()->setValue(1);
    ASSERT_TRUE(view.StartCheck());
    ASSERT_TRUE(WaitUntil([&] { return view.CurrentState() == CInputView::State::Shown; }));
    ASSERT_TRUE(W().SaveReport(html));
    EXPECT_FALSE(W().FormatPanel()->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !W().ReportSaving(); }, 30000));
    EXPECT_NE(W().LastReportMessage().indexOf("Report saved"), -1) << W().LastReportMessage().toStdString();
    EXPECT_TRUE(Exists(scratch.File("report.html")));
    EXPECT_TRUE(Exists(scratch.File("report.json")));
    EXPECT_TRUE(W().FormatPanel()->isEnabled());
}

} // namespace
