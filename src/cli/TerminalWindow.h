// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog window on a terminal: every control of the template keeps its
// state in memory, as a window would, and the status line and progress bar
// of a dialog that has them are shown on standard error as they change.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli/StatusLine.h"
#include "ui/DialogTemplate.h"
#include "ui/DialogWindow.h"

class CTerminalWindow : public CDialogWindow {
public:
    // `statusLine` may be null: nothing is shown.
    CTerminalWindow(const DialogTemplate& dialogTemplate, CStatusLine* statusLine);

    WindowHandle Handle() override { return this; }
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

    const DialogTemplate& Template() const { return dialogTemplate; }
    bool Ended() const { return ended; }
    int EndResult() const { return endResult; }
    int Focus() const { return focus; }
    // The first tab-stop control, which takes the focus when the dialog opens.
    int FirstTabStop() const;
    const std::vector<std::string>& ComboItems(int id);
    int ProgressPos(int id);

private:
    struct Control {
        ControlClass controlClass = ControlClass::Static;
        std::string text;
        bool enabled = true;
        std::vector<std::string> items;
        int selection = -1;
        int position = 0;
    };
    Control* Find(int id);
    bool IsStatusLine(int id, const Control& control) const;

    const DialogTemplate& dialogTemplate;
    CStatusLine* statusLine;
    std::map<int, Control> controls;
    int focus = 0;
    bool ended = false;
    int endResult = 0;
};
