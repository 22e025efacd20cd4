// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/ReportEdit.h"

#include <QKeyEvent>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextOption>

CReportEdit::CReportEdit(QWidget* parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    setUndoRedoEnabled(true);
    ApplyLayout();
}

void CReportEdit::SetText(const QString& text)
{
    // A lone CR would start a block of its own; only the line feed breaks a line.
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setPlainText(lines);
    ApplyLayout();
}

QString CReportEdit::Text() const
{
    QString text = toPlainText();
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

void CReportEdit::SetTabStops(std::vector<int> pixels)
{
    tabStops = std::move(pixels);
    ApplyLayout();
}

void CReportEdit::SetMargins(int leftPixels, int rightPixels)
{
    leftMargin = leftPixels;
    rightMargin = rightPixels;
    ApplyLayout();
}

void CReportEdit::ApplyLayout()
{
    QTextDocument* doc = document();
    QTextOption option = doc->defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    QList<QTextOption::Tab> tabs;
    if (tabStops.size() == 1) {
        // One stop is the distance between all stops.
        option.setTabStopDistance(tabStops.front());
    } else {
        for (int stop : tabStops)
            tabs.append(QTextOption::Tab(stop, QTextOption::LeftTab));
    }
    option.setTabs(tabs);
    doc->setDefaultTextOption(option);

    // The layout takes explicit stops from each paragraph's format, so every
    // line gets them; lines typed later inherit them from their neighbour.
    QTextBlockFormat block;
    block.setTabPositions(tabs);
    QTextCursor all(doc);
    all.select(QTextCursor::Document);
    all.mergeBlockFormat(block);

    doc->setDocumentMargin(0);
    QTextFrameFormat frame = doc->rootFrame()->frameFormat();
    frame.setLeftMargin(leftMargin);
    frame.setRightMargin(rightMargin);
    frame.setTopMargin(0);
    frame.setBottomMargin(0);
    doc->rootFrame()->setFrameFormat(frame);
}

void CReportEdit::keyPressEvent(QKeyEvent* event)
{
    bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    if (enter) {
        textCursor().insertText(QStringLiteral("\n"));
        return;
    }
    QTextEdit::keyPressEvent(event);
}
