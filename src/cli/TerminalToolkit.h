// SPDX-License-Identifier: GPL-3.0-or-later
// Runs dialogs on a terminal. Nobody sits at the window, so each dialog
// template has a driver that does what the user would: fill controls, press
// buttons. A dialog the driver leaves open is closed as with the close box.
#pragma once

#include <functional>
#include <map>

#include "cli/StatusLine.h"
#include "cli/TerminalWindow.h"
#include "ui/Dialog.h"

class CTerminalToolkit : public CDialogToolkit {
public:
    using Driver = std::function<void(CDialog& dialog, CTerminalWindow& window)>;

    explicit CTerminalToolkit(CStatusLine* statusLine) : statusLine(statusLine) {}

    void SetDriver(int templateId, Driver driver) { drivers[templateId] = std::move(driver); }
    int RunModal(CDialog& dialog, CDialog* parent) override;

    // A click on a push button, or Enter/Esc for IdOk/IdCancel: delivered only
    // while the dialog runs and, for a button, while it is enabled.
    static bool Press(CDialog& dialog, CTerminalWindow& window, int id);

private:
    CStatusLine* statusLine;
    std::map<int, Driver> drivers;
};
