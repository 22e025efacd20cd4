// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/VerdictList.h"

#include <QHeaderView>

namespace {

QColor StateColour(VerdictState state)
{
    switch (state) {
    case VerdictState::Good: return {0x1e, 0x80, 0x30};
    case VerdictState::Warning: return {0xb0, 0x70, 0x00};
    case VerdictState::Bad: return {0xc0, 0x20, 0x10};
    case VerdictState::Neutral: break;
    }
    return {0x60, 0x60, 0x60};
}

QString StateWord(VerdictState state)
{
    switch (state) {
    case VerdictState::Good: return "OK";
    case VerdictState::Warning: return "Check";
    case VerdictState::Bad: return "Fault";
    case VerdictState::Neutral: break;
    }
    return "-";
}

} // namespace

CVerdictList::CVerdictList(const QString& accessibleName, QWidget* parent) : QTreeWidget(parent)
{
    setAccessibleName(accessibleName);
    setColumnCount(3);
    setHeaderLabels({"Check", "State", "Finding"});
    setRootIsDecorated(false);
    // Long findings wrap within the column instead of being cut.
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(true);
    setWordWrap(true);
}

void CVerdictList::Show(const std::vector<Verdict>& verdicts)
{
    clear();
    for (const Verdict& v : verdicts) {
        auto* item = new QTreeWidgetItem(this);
        item->setText(0, QString::fromStdString(v.topic));
        item->setText(1, StateWord(v.state));
        item->setText(2, QString::fromStdString(v.text));
        item->setForeground(1, StateColour(v.state));
        QFont bold = item->font(1);
        bold.setBold(true);
        item->setFont(1, bold);
        item->setToolTip(2, item->text(2));
    }
    if (topLevelItemCount() > 0)
        setCurrentItem(topLevelItem(0));
}
