// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalToolkit.h"

int CTerminalToolkit::RunModal(CDialog& dialog, CDialog*)
{
    CTerminalWindow window(dialog.Template(), statusLine);
    dialog.Attach(&window);
    if (dialog.OnInitDialog())
        window.SetFocus(window.FirstTabStop());
    if (auto driver = drivers.find(dialog.Template().id); driver != drivers.end() && !window.Ended())
        driver->second(dialog, window);
    if (!window.Ended())
        dialog.OnCommand(IdCancel);
    // A dialog that refuses to close has no user to wait for here.
    if (!window.Ended())
        window.EndDialog(IdCancel);
    dialog.Attach(nullptr);
    return window.EndResult();
}

bool CTerminalToolkit::Press(CDialog& dialog, CTerminalWindow& window, int id)
{
    if (window.Ended())
        return false;
    if (const ControlTemplate* control = window.Template().FindControl(id);
        control && control->IsPushButton() && !window.IsControlEnabled(id))
        return false;
    dialog.OnCommand(id);
    return true;
}
