// SPDX-License-Identifier: GPL-3.0-or-later
// The window of a dialog as a toolkit provides it, addressed by control id,
// and the toolkit that creates such windows and runs them modally. The Qt
// front end, the terminal front end and the tests each implement both.
#pragma once

#include <span>
#include <string>

#include "platform/Services.h"

class CDialog;

class CDialogWindow {
public:
    virtual ~CDialogWindow() = default;

    // The handle the services take as an owner or keyboard source.
    virtual WindowHandle Handle() = 0;

    // A control's text; for a combo box, the text of its edit field.
    virtual std::string GetControlText(int id) = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;
    virtual void EnableControl(int id, bool enabled) = 0;
    virtual bool IsControlEnabled(int id) = 0;
    virtual void SetFocus(int id) = 0;

    // Combo boxes: items stay in the order added. AddString returns the new
    // item's index; SetCurSel returns the index selected, or -1 when nothing
    // is selected (an index out of range clears the selection); GetCurSel
    // returns -1 when nothing is selected.
    virtual int ComboAddString(int id, const std::string& text) = 0;
    virtual int ComboSetCurSel(int id, int index) = 0;
    virtual int ComboGetCurSel(int id) = 0;
    virtual int ComboGetCount(int id) = 0;

    // Progress bars keep their default range 0..100.
    virtual void SetProgressPos(int id, int position) = 0;

    // Multi-line edits: tab stops in dialog units, margins in pixels.
    virtual void SetEditTabStops(int id, std::span<const int> stops) = 0;
    virtual void SetEditMargins(int id, int leftPixels, int rightPixels) = 0;

    // The window's icon (big: title bar and task switcher; small: title bar).
    virtual void SetIcon(int iconId, bool big) = 0;

    // Ends the modal run with the given result once the current handler returns.
    virtual void EndDialog(int result) = 0;
};

class CDialogToolkit {
public:
    virtual ~CDialogToolkit() = default;

    // Creates the window for dialog.Template() (owned by the parent dialog's
    // window when given), calls dialog.OnInitDialog(), delivers commands to
    // dialog.OnCommand() until the dialog ends, destroys the window and
    // returns the end code; -1 when the window could not be created.
    // Enter with the focus outside a push button is the command IdOk; Esc and
    // the close box are IdCancel; a push button delivers its own id.
    virtual int RunModal(CDialog& dialog, CDialog* parent) = 0;
};

// The current toolkit; without one, no dialog can be created (RunModal gives -1).
CDialogToolkit& DialogToolkit();
CDialogToolkit* SetDialogToolkit(CDialogToolkit* toolkit);

using CScopedDialogToolkit = CScopedInstall<CDialogToolkit, SetDialogToolkit>;
