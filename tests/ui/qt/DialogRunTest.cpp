// SPDX-License-Identifier: GPL-3.0-or-later
// Modal runs through the Qt toolkit: how Enter, Esc, the close box and the
// mnemonics end a dialog, where the focus starts, the window's frame, and
// the results dialog centred over its owner.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "QtTestSupport.h"
#include "ui/Templates.h"
#include "ui/qt/ReportEdit.h"

namespace {

class QtDialogRunTest : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }
};

} // namespace

TEST_F(QtDialogRunTest, EnterOutsideAPushButtonIsOkAndEscIsCancel)
{
    CProbeDialog enterInEdit(MainDialogTemplate());
    EXPECT_EQ(RunWithStep(enterInEdit,
                          [](CQtDialogWindow& w) { QTest::keyClick(w.Control(IdChannels), Qt::Key_Return); }),
              IdOk);

    CProbeDialog enterInCombo(MainDialogTemplate());
    EXPECT_EQ(RunWithStep(enterInCombo,
                          [](CQtDialogWindow& w) {
                              auto* combo = qobject_cast<QComboBox*>(w.Control(IdApiMode));
                              QTest::keyClick(combo->lineEdit(), Qt::Key_Enter, Qt::KeypadModifier);
                          }),
              IdOk);

    CProbeDialog esc(MainDialogTemplate());
    EXPECT_EQ(RunWithStep(esc, [](CQtDialogWindow& w) { QTest::keyClick(w.Control(IdDuration), Qt::Key_Escape); }),
              IdCancel);

    CProbeDialog closeBox(MainDialogTemplate());
    EXPECT_EQ(RunWithStep(closeBox, [](CQtDialogWindow& w) { w.close(); }), IdCancel);

    CProbeDialog closeButton(MainDialogTemplate());
    EXPECT_EQ(RunWithStep(closeButton,
                          [](CQtDialogWindow& w) { QTest::mouseClick(w.Control(IdCancel), Qt::LeftButton); }),
              IdCancel);
}

TEST_F(QtDialogRunTest, PushButtonsDeliverTheirOwnIdByEnterClickAndMnemonic)
{
    CProbeDialog enter(MainDialogTemplate());
    enter.EndOn(IdRunTest);
    EXPECT_EQ(RunWithStep(enter,
                          [](CQtDialogWindow& w) {
                              w.Control(IdRunTest)->setFocus();
                              QTest::keyClick(w.Control(IdRunTest), Qt::Key_Return);
                          }),
              IdRunTest);

    CProbeDialog mnemonic(MainDialogTemplate());
    mnemonic.EndOn(IdRunTest);
    EXPECT_EQ(RunWithStep(mnemonic,
                          [](CQtDialogWindow& w) { QTest::keyClick(w.Control(IdChannels), Qt::Key_R, Qt::AltModifier); }),
              IdRunTest);
    EXPECT_EQ(mnemonic.commands, std::vector<int>{IdRunTest});

    CProbeDialog closeMnemonic(MainDialogTemplate());
    EXPECT_EQ(RunWithStep(closeMnemonic,
                          [](CQtDialogWindow& w) { QTest::keyClick(w.Control(IdChannels), Qt::Key_C, Qt::AltModifier); }),
              IdCancel);
}

TEST_F(QtDialogRunTest, FocusStartsOnTheFirstTabStop)
{
    CProbeDialog mainAgain(MainDialogTemplate());
    bool channelsFocused = false;
    RunWithStep(mainAgain, [&](CQtDialogWindow& w) {
        channelsFocused = w.Control(IdChannels)->hasFocus();
        w.EndDialog(IdCancel);
    });
    EXPECT_TRUE(channelsFocused);

    // Results: the save button first, so Enter right away presses it.
    CProbeDialog results(ResultsDialogTemplate());
    results.EndOn(IdSaveRecording);
    EXPECT_EQ(RunWithStep(results,
                          [](CQtDialogWindow& w) {
                              QWidget* focus = QApplication::focusWidget();
                              EXPECT_EQ(focus, w.Control(IdSaveRecording));
                              QTest::keyClick(focus ? focus : &w, Qt::Key_Return);
                          }),
              IdSaveRecording);
}

TEST_F(QtDialogRunTest, EnterInTheReportBoxClosesAndCtrlEnterStartsALine)
{
    CProbeDialog results(ResultsDialogTemplate());
    std::string text;
    EXPECT_EQ(RunWithStep(results,
                          [&](CQtDialogWindow& w) {
                              QWidget* edit = w.Control(IdReportEdit);
                              w.SetControlText(IdReportEdit, "a");
                              edit->setFocus();
                              QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
                              text = w.GetControlText(IdReportEdit);
                              QTest::keyClick(edit, Qt::Key_Return);
                          }),
              IdOk);
    EXPECT_EQ(text, "\r\na");
}

TEST_F(QtDialogRunTest, MainDialogHasATaskbarEntryAndResultsCentreOverIt)
{
    CProbeDialog main(MainDialogTemplate());
    Qt::WindowFlags mainFlags;
    Qt::WindowFlags resultsFlags;
    QPoint mainCentre;
    QPoint resultsCentre;
    QWidget* resultsParent = nullptr;
    main.EndOn(IdRunTest);
    RunWithStep(main, [&](CQtDialogWindow& w) {
        mainFlags = w.windowFlags();
        mainCentre = w.frameGeometry().center();
        CProbeDialog results(ResultsDialogTemplate(), &main);
        RunWithStep(results, [&](CQtDialogWindow& r) {
            resultsFlags = r.windowFlags();
            resultsCentre = r.geometry().center();
            resultsParent = r.parentWidget();
            r.EndDialog(IdCancel);
        });
        w.EndDialog(IdCancel);
    });
    EXPECT_EQ(mainFlags & Qt::WindowType_Mask, Qt::Window);
    EXPECT_EQ(resultsFlags & Qt::WindowType_Mask, Qt::Dialog);
    for (Qt::WindowFlags flags : {mainFlags, resultsFlags}) {
        EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
        EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    }
    EXPECT_NE(resultsParent, nullptr);
    EXPECT_LE((resultsCentre - mainCentre).manhattanLength(), 16);
}

namespace {

// "&Run Test..." as the main dialog runs it: disabled for the test, which
// ends in the results dialog (closed with Esc), then enabled again.
class CRunTestProbe : public CProbeDialog {
public:
    CRunTestProbe() : CProbeDialog(MainDialogTemplate())
    {
        MapCommand(IdRunTest, [this] {
            ++runs;
            Window()->EnableControl(IdRunTest, false);
            CProbeDialog results(ResultsDialogTemplate(), this);
            RunWithStep(results, [](CQtDialogWindow& r) { QTest::keyClick(&r, Qt::Key_Escape); });
            Window()->EnableControl(IdRunTest, true);
        });
    }
    int runs = 0;
};

// A key as the user presses it: to whatever has the focus.
void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
}

} // namespace

TEST_F(QtDialogRunTest, FocusGoesBackWhereItWasWhenRunTestIsEnabledAgain)
{
    struct Case {
        const char* name;
        std::function<void(CQtDialogWindow&)> start;
        int focusAfter; // control id
    };
    const std::vector<Case> cases = {
        {"Enter on the button",
         [](CQtDialogWindow& w) {
             w.Control(IdRunTest)->setFocus(Qt::TabFocusReason);
             PressKey(Qt::Key_Return);
         },
         IdRunTest},
        {"mouse click", [](CQtDialogWindow& w) { QTest::mouseClick(w.Control(IdRunTest), Qt::LeftButton); },
         IdRunTest},
        // The button never had the focus: it stays in the field.
        {"Alt+R in the channels edit", [](CQtDialogWindow& w) {
             w.Control(IdChannels)->setFocus(Qt::TabFocusReason);
             QTest::keyClick(w.Control(IdChannels), Qt::Key_R, Qt::AltModifier);
         },
         IdChannels},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CRunTestProbe dialog;
        QWidget* focusAfter = nullptr;
        QWidget* expected = nullptr;
        int result = RunWithStep(dialog, [&](CQtDialogWindow& w) {
            c.start(w);
            // A mnemonic presses its button after a short animation.
            EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.runs > 0; }));
            // The window manager hands the activation back after the results close.
            w.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
            focusAfter = QApplication::focusWidget();
            expected = w.Control(c.focusAfter);
            if (focusAfter && c.focusAfter == IdRunTest) {
                // The next Enter runs the test again instead of ending the program.
                PressKey(Qt::Key_Return);
            }
            w.EndDialog(IdCancel);
        });
        EXPECT_EQ(result, IdCancel);
        EXPECT_EQ(focusAfter, expected);
        EXPECT_EQ(dialog.runs, c.focusAfter == IdRunTest ? 2 : 1);
    }
}
