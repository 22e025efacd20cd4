// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog's window in Qt Widgets, built from its template: every control at
// its template position converted from dialog units with the dialog font,
// tab order as in the template, commands delivered to the CDialog.
//
// The template's "MS Sans Serif" becomes DejaVu Sans, Liberation Sans, Noto
// Sans or any sans serif font, in that order. Edits are QLineEdits; combo
// boxes editable, unsorted QComboBoxes with a 13-unit field (typing into a
// closed box clears its selection but keeps the text); push buttons are never
// default and carry & mnemonics; group boxes are lowered and let clicks
// through; labels are widened when their text would not fit; the progress
// bar has no text and clamps to 0..100; the report box is a CReportEdit.
// Enter and Esc are routed from every control to the dialog: Enter on a push
// button presses it, Enter anywhere else is IdOk, Esc or the close box is
// IdCancel. Qt moves the focus off a control it disables, so EnableControl
// remembers where the focus was and gives it back when the control is
// enabled again: after a test Enter presses "&Run Test..." again.
#pragma once

#include <QDialog>
#include <QFont>
#include <QPointer>

#include <map>
#include <vector>

#include "ui/Dialog.h"
#include "ui/DialogWindow.h"
#include "ui/qt/DialogUnits.h"

class CDialogKeyFilter;

class CQtDialogWindow : public QDialog, public CDialogWindow {
public:
    // `owner` is the parent dialog's window or null; `font` the dialog font.
    CQtDialogWindow(CDialog& dialog, QWidget* owner, const QFont& font);

    // CDialogWindow. Enabling a control that held the focus when it was
    // disabled gives the focus back to it.
    WindowHandle Handle() override { return static_cast<QWidget*>(this); }
    std::string GetControlText(int id) override;
    void SetControlText(int id, const std::string& text) override;
    void EnableControl(int id, bool enabled) override;
    bool IsControlEnabled(int id) override;
    void SetFocus(int id) override;
    int ComboAddString(int id, const std::string& text) override;
    int ComboSetCurSel(int id, int index) override;
    int ComboGetCurSel(int id) override;
    int ComboGetCount(int id) override;
    void SetProgressPos(int id, int position) override;
    void SetEditTabStops(int id, std::span<const int> stops) override;
    void SetEditMargins(int id, int leftPixels, int rightPixels) override;
    void SetIcon(int iconId, bool big) override;
    void EndDialog(int result) override;

    // The control with that id (the first, for a shared id), or null.
    QWidget* Control(int id) const;
    // Every control in template order.
    const std::vector<QWidget*>& Controls() const { return controls; }
    const CDialogUnits& Units() const { return units; }

    // Focus on the first enabled tab-stop control, as a dialog opens.
    void FocusFirstTabStop();
    // Centred over the owner, or on the screen without one, kept on the screen.
    void PlaceCentred();
    // Enter and Esc as the dialog manager answers them; `source` is the
    // control that had the key, or null for the focus widget.
    void HandleDialogKey(QKeyEvent* event, QWidget* source);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void accept() override;
    void reject() override;

private:
    QWidget* CreateControl(const ControlTemplate& control);
    // Accessible names, buddies and descriptions from the template's labels.
    void NameForScreenReaders();

    CDialog& dialog;
    QWidget* owner;
    CDialogUnits units;
    CDialogKeyFilter* keyFilter = nullptr;
    std::vector<QWidget*> controls;
    std::map<int, QWidget*> controlsById;
    // Where the focus was when a control that held it was disabled, by id.
    std::map<int, QPointer<QWidget>> focusTakenByDisable;
    // Controls whose accessible description is a label's current text.
    std::multimap<QWidget*, QWidget*> describedBy;
};
