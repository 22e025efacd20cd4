// SPDX-License-Identifier: GPL-3.0-or-later
// The window built from a template: classes, texts, geometry in dialog
// units, tab order, text that fits at several font sizes, and the control
// operations the dialogs call.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

#include <array>
#include <set>

#include "QtTestSupport.h"
#include "ui/Templates.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/ReportEdit.h"

namespace {

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class QtDialogWindowTest : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }
};

void ExpectBuiltFromTemplate(const DialogTemplate& dialogTemplate)
{
    CProbeDialog dialog(dialogTemplate);
    CQtDialogWindow window(dialog, nullptr, DialogFont(dialogTemplate));
    const CDialogUnits& units = window.Units();
    EXPECT_EQ(window.windowTitle(), Text(dialogTemplate.title));
    EXPECT_EQ(window.size(), QSize(units.ToPixelsX(dialogTemplate.width), units.ToPixelsY(dialogTemplate.height)));
    ASSERT_EQ(window.Controls().size(), dialogTemplate.controls.size());

    for (std::size_t i = 0; i < dialogTemplate.controls.size(); ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        QWidget* widget = window.Controls()[i];
        SCOPED_TRACE(Text(control.text).toStdString() + " #" + std::to_string(i + 1));
        if (control.id != IdUnaddressed) {
            EXPECT_EQ(window.Control(control.id), widget);
        }
        QRect expected = units.ToPixels(control.x, control.y, control.width, control.height);
        EXPECT_EQ(widget->pos(), expected.topLeft());

        switch (control.controlClass) {
        case ControlClass::Edit:
            if (control.style & ControlStyle::EditMultiline) {
                auto* report = dynamic_cast<CReportEdit*>(widget);
                ASSERT_NE(report, nullptr);
                EXPECT_FALSE(report->isReadOnly());
                EXPECT_EQ(report->lineWrapMode(), QTextEdit::NoWrap);
                EXPECT_EQ(report->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
                EXPECT_EQ(report->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            } else {
                auto* edit = qobject_cast<QLineEdit*>(widget);
                ASSERT_NE(edit, nullptr);
                EXPECT_TRUE(edit->text().isEmpty());
                EXPECT_TRUE(edit->hasFrame());
            }
            EXPECT_EQ(widget->size(), expected.size());
            break;
        case ControlClass::ComboBox: {
            auto* combo = qobject_cast<QComboBox*>(widget);
            ASSERT_NE(combo, nullptr);
            EXPECT_TRUE(combo->isEditable());
            EXPECT_EQ(combo->count(), 0);
            EXPECT_EQ(combo->width(), expected.width());
            // The field alone: the template's height includes the list.
            EXPECT_LT(combo->height(), expected.height());
            break;
        }
        case ControlClass::Button:
            if (control.IsGroupBox()) {
                auto* group = qobject_cast<QGroupBox*>(widget);
                ASSERT_NE(group, nullptr);
                EXPECT_EQ(group->title(), Text(control.text));
                EXPECT_EQ(group->focusPolicy(), Qt::NoFocus);
            } else {
                auto* button = qobject_cast<QPushButton*>(widget);
                ASSERT_NE(button, nullptr);
                EXPECT_EQ(button->text(), Text(control.text));
                EXPECT_FALSE(button->isDefault());
                EXPECT_FALSE(button->autoDefault());
            }
            EXPECT_EQ(widget->size(), expected.size());
            break;
        case ControlClass::Static: {
            auto* label = qobject_cast<QLabel*>(widget);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->text(), Text(control.text));
            EXPECT_EQ(label->height(), expected.height());
            EXPECT_GE(label->width(), expected.width());
            break;
        }
        case ControlClass::ProgressBar: {
            auto* bar = qobject_cast<QProgressBar*>(widget);
            ASSERT_NE(bar, nullptr);
            EXPECT_FALSE(bar->isTextVisible());
            EXPECT_EQ(bar->minimum(), 0);
            EXPECT_EQ(bar->maximum(), 100);
            EXPECT_EQ(widget->size(), expected.size());
            break;
        }
        }
    }
}

// The tab-stop controls in the order Tab visits them, from the first.
std::vector<QWidget*> TabChain(CQtDialogWindow& window)
{
    std::set<QWidget*> controls(window.Controls().begin(), window.Controls().end());
    std::vector<QWidget*> chain;
    QWidget* first = nullptr;
    for (QWidget* control : window.Controls())
        if (control->focusPolicy() & Qt::TabFocus) {
            first = control;
            break;
        }
    QWidget* widget = first;
    do {
        if (controls.count(widget) && (widget->focusPolicy() & Qt::TabFocus))
            chain.push_back(widget);
        widget = widget->nextInFocusChain();
    } while (widget && widget != first && chain.size() < 64);
    return chain;
}

} // namespace

TEST_F(QtDialogWindowTest, DialogUnitsFollowTheFontMetrics)
{
    QFont font = DialogFont(MainDialogTemplate());
    CDialogUnits units(font);
    QFontMetrics metrics(font);
    EXPECT_EQ(units.BaseY(), metrics.height());
    EXPECT_NEAR(units.BaseX(), metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ")) / 52.0, 0.5);
    EXPECT_EQ(units.ToPixels(4, 8, 8, 16), QRect(units.BaseX(), units.BaseY(), 2 * units.BaseX(), 2 * units.BaseY()));
    // Rounded like the dialog manager's scaling: 2 units of a 6-pixel base are 3 pixels.
    QFont larger = font;
    larger.setPointSize(16);
    EXPECT_GT(CDialogUnits(larger).BaseX(), units.BaseX());
}

TEST_F(QtDialogWindowTest, MainDialogIsBuiltFromTemplate102)
{
    ExpectBuiltFromTemplate(MainDialogTemplate());
}

TEST_F(QtDialogWindowTest, ResultsDialogIsBuiltFromTemplate129)
{
    ExpectBuiltFromTemplate(ResultsDialogTemplate());
}

TEST_F(QtDialogWindowTest, TabOrderIsTemplateOrderOfTabStops)
{
    for (const DialogTemplate* dialogTemplate : {&MainDialogTemplate(), &ResultsDialogTemplate()}) {
        CProbeDialog dialog(*dialogTemplate);
        CQtDialogWindow window(dialog, nullptr, DialogFont(*dialogTemplate));
        std::vector<QWidget*> expected;
        for (std::size_t i = 0; i < dialogTemplate->controls.size(); ++i)
            if (dialogTemplate->controls[i].IsTabStop())
                expected.push_back(window.Controls()[i]);
        EXPECT_EQ(TabChain(window), expected) << dialogTemplate->id;
    }
}

TEST_F(QtDialogWindowTest, NoTextIsClippedAtAnyFontSize)
{
    for (int points : {6, 8, 11, 14, 20}) {
        for (const DialogTemplate* dialogTemplate : {&MainDialogTemplate(), &ResultsDialogTemplate()}) {
            QFont font = DialogFont(*dialogTemplate);
            font.setPointSize(points);
            CProbeDialog dialog(*dialogTemplate);
            CQtDialogWindow window(dialog, nullptr, font);
            QFontMetrics metrics(font);
            for (QWidget* widget : window.Controls()) {
                SCOPED_TRACE(std::to_string(points) + "pt");
                if (auto* label = qobject_cast<QLabel*>(widget)) {
                    EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
                    EXPECT_LE(metrics.height(), label->height()) << label->text().toStdString();
                } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
                    QString shown = button->text().remove(QLatin1Char('&'));
                    EXPECT_LT(metrics.horizontalAdvance(shown), button->width()) << shown.toStdString();
                    EXPECT_LT(metrics.height(), button->height()) << shown.toStdString();
                } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                    EXPECT_LT(metrics.horizontalAdvance(group->title()), group->width());
                } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                    EXPECT_LE(metrics.height() + 6, combo->height());
                } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                    EXPECT_LT(metrics.height(), edit->height());
                    EXPECT_GE(edit->width(), metrics.horizontalAdvance(QStringLiteral("44100")) + 4);
                }
            }
        }
    }
}

TEST_F(QtDialogWindowTest, ComboBoxesKeepItemOrderAndReportTheirSelection)
{
    CProbeDialog dialog(MainDialogTemplate());
    CQtDialogWindow window(dialog, nullptr, DialogFont(MainDialogTemplate()));
    EXPECT_EQ(window.ComboSetCurSel(IdInputDevice, 0), -1); // empty box: nothing to select
    EXPECT_EQ(window.ComboGetCurSel(IdInputDevice), -1);
    EXPECT_EQ(window.ComboAddString(IdInputDevice, "Zeta"), 0);
    EXPECT_EQ(window.ComboAddString(IdInputDevice, "Alpha"), 1); // unsorted
    EXPECT_EQ(window.ComboGetCount(IdInputDevice), 2);
    EXPECT_EQ(window.ComboGetCurSel(IdInputDevice), -1);
    EXPECT_EQ(window.GetControlText(IdInputDevice), "");

    EXPECT_EQ(window.ComboSetCurSel(IdInputDevice, 1), 1);
    EXPECT_EQ(window.GetControlText(IdInputDevice), "Alpha");
    EXPECT_EQ(window.ComboSetCurSel(IdInputDevice, 2), -1);
    EXPECT_EQ(window.ComboGetCurSel(IdInputDevice), -1);
    EXPECT_EQ(window.GetControlText(IdInputDevice), "");

    // Typing into the field keeps the text and leaves no item selected.
    window.ComboSetCurSel(IdInputDevice, 0);
    auto* combo = qobject_cast<QComboBox*>(window.Control(IdInputDevice));
    QTest::keyClicks(combo->lineEdit(), QStringLiteral(" card"));
    EXPECT_EQ(window.GetControlText(IdInputDevice), "Zeta card");
    EXPECT_EQ(window.ComboGetCurSel(IdInputDevice), -1);
    EXPECT_EQ(window.ComboGetCount(IdInputDevice), 2);
}

TEST_F(QtDialogWindowTest, ControlOperationsActOnTheControlWithThatId)
{
    CProbeDialog dialog(MainDialogTemplate());
    CQtDialogWindow window(dialog, nullptr, DialogFont(MainDialogTemplate()));
    window.SetControlText(IdChannels, "2");
    EXPECT_EQ(window.GetControlText(IdChannels), "2");
    EXPECT_EQ(qobject_cast<QLineEdit*>(window.Control(IdChannels))->text(), QStringLiteral("2"));
    window.SetControlText(IdStatus, "Recording...   Press <Esc> to cancel");
    EXPECT_EQ(window.GetControlText(IdStatus), "Recording...   Press <Esc> to cancel");
    EXPECT_EQ(window.GetControlText(IdRunTest), "&Run Test...");

    window.EnableControl(IdRunTest, false);
    EXPECT_FALSE(window.IsControlEnabled(IdRunTest));
    window.EnableControl(IdRunTest, true);
    EXPECT_TRUE(window.IsControlEnabled(IdRunTest));

    auto* bar = qobject_cast<QProgressBar*>(window.Control(IdProgress));
    window.SetProgressPos(IdProgress, 42);
    EXPECT_EQ(bar->value(), 42);
    window.SetProgressPos(IdProgress, 250); // a slow device sends more than 100
    EXPECT_EQ(bar->value(), 100);
    window.SetProgressPos(IdProgress, 0);
    EXPECT_EQ(bar->value(), 0);

    // Unknown ids are ignored, as messages to a missing control are.
    window.SetControlText(4242, "x");
    EXPECT_EQ(window.GetControlText(4242), "");
    EXPECT_FALSE(window.IsControlEnabled(4242));

    window.SetIcon(AppIconId, true);
    QList<QSize> sizes = window.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
}

TEST_F(QtDialogWindowTest, ReportBoxKeepsLineEndsTabStopsAndMargins)
{
    CProbeDialog dialog(ResultsDialogTemplate());
    CQtDialogWindow window(dialog, nullptr, DialogFont(ResultsDialogTemplate()));
    const std::array<int, 4> stops{100, 140, 240, 340};
    window.SetEditTabStops(IdReportEdit, stops);
    window.SetEditMargins(IdReportEdit, 2, 2);
    std::string report = "Operating System:\t Linux\r\n\r\nChannels:\t1\r\n";
    window.SetControlText(IdReportEdit, report);

    auto* edit = dynamic_cast<CReportEdit*>(window.Control(IdReportEdit));
    ASSERT_NE(edit, nullptr);
    QTextDocument* document = edit->document();
    EXPECT_EQ(document->blockCount(), 4); // three lines and the empty one after the last CR LF
    EXPECT_EQ(window.GetControlText(IdReportEdit), report);

    QList<QTextOption::Tab> tabs = document->defaultTextOption().tabs();
    ASSERT_EQ(tabs.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(tabs[i].position, window.Units().ToPixelsX(stops[static_cast<std::size_t>(i)]));
    // Where the layout really puts the text after each tab: at the stops.
    edit->resize(window.Units().ToPixelsX(311), window.Units().ToPixelsY(138));
    auto textAfterTab = [&](int block, int tab) {
        QTextCursor cursor(document->findBlockByNumber(block));
        for (int seen = 0; seen < tab;)
            if (document->characterAt(cursor.position()) == QLatin1Char('\t')) {
                cursor.movePosition(QTextCursor::NextCharacter);
                ++seen;
            } else {
                cursor.movePosition(QTextCursor::NextCharacter);
            }
        return edit->cursorRect(cursor).left();
    };
    int origin = edit->cursorRect(QTextCursor(document)).left();
    EXPECT_EQ(origin, 2);
    EXPECT_NEAR(textAfterTab(0, 1) - origin, window.Units().ToPixelsX(100), 1); // "Operating System:"
    EXPECT_NEAR(textAfterTab(2, 1) - origin, window.Units().ToPixelsX(100), 1); // "Channels:"
    edit->SetText(QStringLiteral("a\tb\tc\td\te\r\n"));
    EXPECT_NEAR(textAfterTab(0, 2) - origin, window.Units().ToPixelsX(140), 1);
    EXPECT_NEAR(textAfterTab(0, 3) - origin, window.Units().ToPixelsX(240), 1);
    EXPECT_NEAR(textAfterTab(0, 4) - origin, window.Units().ToPixelsX(340), 1);

    QTextFrameFormat frame = document->rootFrame()->frameFormat();
    EXPECT_EQ(frame.leftMargin(), 2);
    EXPECT_EQ(frame.rightMargin(), 2);
    EXPECT_EQ(document->defaultTextOption().wrapMode(), QTextOption::NoWrap);
}
