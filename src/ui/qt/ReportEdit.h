// SPDX-License-Identifier: GPL-3.0-or-later
// The multi-line text box of a dialog: plain text, no wrapping, no scroll
// bars, editable; Enter is left to the dialog (it ends it) unless Ctrl is
// held, and Tab moves the focus on like in any other control.
#pragma once

#include <QTextEdit>

#include <span>
#include <vector>

class CReportEdit : public QTextEdit {
public:
    explicit CReportEdit(QWidget* parent);

    // Text with CR LF line ends in and out, as a multi-line edit keeps it.
    void SetText(const QString& text);
    QString Text() const;

    void SetTabStops(std::vector<int> pixels);
    void SetMargins(int leftPixels, int rightPixels);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ApplyLayout();

    std::vector<int> tabStops;
    int leftMargin = 0;
    int rightMargin = 0;
};
