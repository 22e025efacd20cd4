// SPDX-License-Identifier: GPL-3.0-or-later
// Runs dialogs as real dialog boxes: the template is written in the
// platform's binary layout and run with DialogBoxIndirectParamA, so the
// platform's dialog manager gives Enter (IDOK unless a push button has the
// focus), Esc and the close box (IDCANCEL), Tab and the mnemonics.
#pragma once

#include "ui/DialogWindow.h"

class CWin32DialogToolkit : public CDialogToolkit {
public:
    // Returns the dialog's end code; -1 when the template cannot be written
    // or the dialog box could not be created. A dialog at (0, 0) without a
    // centring style is centred over its owner, or in the work area without
    // one, and kept inside the work area. Only BN_CLICKED (and the dialog
    // manager's IDOK and IDCANCEL) reach dialog.OnCommand; other control
    // notifications do not.
    int RunModal(CDialog& dialog, CDialog* parent) override;
};
