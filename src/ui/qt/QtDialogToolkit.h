// SPDX-License-Identifier: GPL-3.0-or-later
// Runs dialogs as Qt windows: builds the window from the dialog's template,
// initialises the dialog, shows the window centred and runs it modally.
#pragma once

#include "ui/DialogWindow.h"

class CQtDialogToolkit : public CDialogToolkit {
public:
    int RunModal(CDialog& dialog, CDialog* parent) override;
};
