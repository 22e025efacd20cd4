// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader learns from the dialogs, read through Qt's
// accessibility interfaces: every field's name and the label tied to it,
// the progress bar described by the status line, the report box named.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <functional>

#include "QtTestSupport.h"
#include "ui/Templates.h"
#include "ui/qt/AccessibleNames.h"

namespace {

class QtAccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }
};

QString Name(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

QString Description(QObject* object)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Description) : QString();
}

// The names of the labels tied to the object, as the relation reports them.
QStringList LabelNames(QObject* object)
{
    QStringList names;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    if (!iface)
        return names;
    for (const auto& [label, relation] : iface->relations(QAccessible::Label))
        names << label->text(QAccessible::Name);
    return names;
}

// Every interface under `root`, depth first.
void Walk(QAccessibleInterface* root, const std::function<void(QAccessibleInterface*)>& visit)
{
    visit(root);
    for (int i = 0; i < root->childCount(); ++i)
        if (QAccessibleInterface* child = root->child(i))
            Walk(child, visit);
}

} // namespace

TEST_F(QtAccessibilityTest, EveryFieldIsNamedByItsLabelAndTiedToIt)
{
    struct Row {
        int id;
        const char* label;
    };
    const Row rows[] = {
        {IdChannels, "Number of Channels"},
        {IdSampleRate, "Sampling Rate (Hz)"},
        {IdPrecision, "Sampling Precision (bits)"},
        {IdValidBits, "Valid Precision (bits)"},
        {IdInputDevice, "Input Device"},
        {IdOutputDevice, "Output Device"},
        {IdApiMode, "API Mode"},
        {IdDuration, "Test Recording Duration (seconds)"},
    };
    CProbeDialog dialog(MainDialogTemplate());
    CQtDialogWindow window(dialog, nullptr, DialogFont(MainDialogTemplate()));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        QWidget* field = window.Control(row.id);
        QString label = QString::fromUtf8(row.label);
        EXPECT_EQ(Name(field), label);
        EXPECT_EQ(LabelNames(field), QStringList{label});
        // The label names its buddy back (the reader's "labelled by" both ways).
        QLabel* buddyOf = nullptr;
        for (QWidget* control : window.Controls())
            if (auto* candidate = qobject_cast<QLabel*>(control); candidate && candidate->buddy() == field)
                buddyOf = candidate;
        ASSERT_NE(buddyOf, nullptr);
        EXPECT_EQ(buddyOf->text(), label);
        // In an editable box the field has the focus, and it is named too.
        if (auto* combo = qobject_cast<QComboBox*>(field)) {
            EXPECT_EQ(Name(combo->lineEdit()), label);
        }
    }
}

TEST_F(QtAccessibilityTest, NothingAReaderCanReachIsUnnamed)
{
    for (const DialogTemplate* dialogTemplate : {&MainDialogTemplate(), &ResultsDialogTemplate()}) {
        CProbeDialog dialog(*dialogTemplate);
        CQtDialogWindow window(dialog, nullptr, DialogFont(*dialogTemplate));
        int checked = 0;
        Walk(QAccessible::queryAccessibleInterface(&window), [&](QAccessibleInterface* node) {
            switch (node->role()) {
            case QAccessible::EditableText:
            case QAccessible::ComboBox:
            case QAccessible::ProgressBar:
            case QAccessible::PushButton:
            case QAccessible::Grouping:
                ++checked;
                EXPECT_FALSE(node->text(QAccessible::Name).isEmpty())
                    << dialogTemplate->id << " role " << node->role() << " "
                    << (node->object() ? node->object()->metaObject()->className() : "");
                break;
            default:
                break;
            }
        });
        EXPECT_GE(checked, dialogTemplate == &MainDialogTemplate() ? 14 : 4);
    }
}

TEST_F(QtAccessibilityTest, ProgressBarIsDescribedByTheStatusLineAsItChanges)
{
    CProbeDialog dialog(MainDialogTemplate());
    CQtDialogWindow window(dialog, nullptr, DialogFont(MainDialogTemplate()));
    QWidget* bar = window.Control(IdProgress);
    EXPECT_EQ(Name(bar), QStringLiteral("Test Control")); // its group box
    EXPECT_EQ(Description(bar), QStringLiteral("Test status"));
    window.SetControlText(IdStatus, "Recording...   Press <Esc> to cancel");
    EXPECT_EQ(Description(bar), QStringLiteral("Recording...   Press <Esc> to cancel"));
    window.SetControlText(IdStatus, "Ready");
    EXPECT_EQ(Description(bar), QStringLiteral("Ready"));
}

TEST_F(QtAccessibilityTest, ReportBoxIsNamedByTheResultsDialog)
{
    CProbeDialog dialog(ResultsDialogTemplate());
    CQtDialogWindow window(dialog, nullptr, DialogFont(ResultsDialogTemplate()));
    EXPECT_EQ(Name(window.Control(IdReportEdit)), QStringLiteral("Test Results"));
}

// The rule on a template of its own: the nearest label to the left on the
// field's row names it; else the group around it; else nothing of its own.
TEST_F(QtAccessibilityTest, LabelsNameTheFieldOnTheirRowToTheirRight)
{
    static constexpr ControlTemplate controls[] = {
        {-1, ControlClass::Button, "Group", 0x50000007, 0, 0, 200, 100},                 // 0
        {-1, ControlClass::Static, "Far", 0x50020000, 5, 10, 20, 10},                    // 1
        {-1, ControlClass::Static, "Near", 0x50020000, 30, 10, 20, 10},                  // 2
        {10, ControlClass::Edit, "", 0x50810080, 60, 9, 40, 12},                         // 3: "Near"
        {-1, ControlClass::Static, "Right of its field", 0x50020000, 110, 30, 60, 10},   // 4
        {11, ControlClass::Edit, "", 0x50810080, 60, 29, 40, 12},                        // 5: the group
        {-1, ControlClass::Static, "Row above", 0x50020000, 5, 45, 40, 10},              // 6
        {12, ControlClass::ComboBox, "", 0x50210002, 60, 58, 60, 60},                    // 7: the group
        {13, ControlClass::ProgressBar, "", 0x50800000, 5, 80, 150, 10},                 // 8: the group
        {14, ControlClass::Edit, "", 0x50810080, 5, 120, 40, 12},                        // 9: no group
        {-1, ControlClass::Static, "&Mnemonic", 0x50020000, 250, 120, 40, 10},           // 10
        {15, ControlClass::Edit, "", 0x50810080, 300, 119, 40, 12},                      // 11: "Mnemonic"
    };
    const DialogTemplate dialogTemplate{1, "Rules", 0, 0, 0, 0, 400, 200, "MS Sans Serif", 8, controls};
    std::vector<AccessibleNaming> namings = NameControls(dialogTemplate);
    ASSERT_EQ(namings.size(), std::size(controls));
    EXPECT_EQ(namings[3].label, 2u);
    EXPECT_EQ(namings[5].label, std::nullopt);
    EXPECT_EQ(namings[5].group, 0u);
    EXPECT_EQ(namings[7].group, 0u);
    EXPECT_EQ(namings[8].group, 0u);
    // Texts of the group that label nothing describe what the group names.
    EXPECT_EQ(namings[8].description, 4u);
    EXPECT_TRUE(namings[9].named);
    EXPECT_EQ(namings[9].label, std::nullopt);
    EXPECT_EQ(namings[9].group, std::nullopt);
    EXPECT_EQ(namings[11].label, 10u);
    for (std::size_t i : {0u, 1u, 2u, 4u, 6u, 10u})
        EXPECT_FALSE(namings[i].named) << i;
    EXPECT_EQ(NameFromLabel(QStringLiteral("&Mnemonic")), QStringLiteral("Mnemonic"));
    EXPECT_EQ(NameFromLabel(QStringLiteral("Salt && Pepper&")), QStringLiteral("Salt & Pepper"));
}
