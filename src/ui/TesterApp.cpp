// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TesterApp.h"

#include "ui/TesterDlg.h"

bool CTesterApp::InitInstance()
{
    // Toolkits give their controls their own look; there is no separate
    // three-dimensional look to ask for.
    {
        CTesterDlg dialog;
        mainWindow = &dialog;
        // How the dialog ended (Close, Enter, or no window at all) does not matter.
        dialog.DoModal();
        mainWindow = nullptr;
    }
    return false;
}
