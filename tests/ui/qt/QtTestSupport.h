// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the Qt tests: the application object on the offscreen platform,
// a dialog built from a real template that records what it is told, and a
// modal run that performs scripted steps while the dialog is up.
#pragma once

#include <QApplication>

#include <functional>
#include <vector>

#include "ui/Dialog.h"
#include "ui/qt/QtDialogWindow.h"

QApplication& TestApplication();

class CProbeDialog : public CDialog {
public:
    CProbeDialog(const DialogTemplate& dialogTemplate, CDialog* parent = nullptr);

    // Ends the dialog with `id` when that command arrives, and records it.
    void EndOn(int id);
    bool OnInitDialog() override;

    std::vector<int> commands;
    bool focusFirst = true;
};

// Runs `dialog` modally through the Qt toolkit; `step` runs once the window
// is shown. A watchdog ends a run that the step failed to end.
int RunWithStep(CDialog& dialog, std::function<void(CQtDialogWindow&)> step);
