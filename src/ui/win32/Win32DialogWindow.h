// SPDX-License-Identifier: GPL-3.0-or-later
// The window of a running dialog over a real dialog box: every operation
// goes to the child control with the id, through the platform's own control
// messages. A control the dialog lacks reads as empty (text ""), disabled,
// and -1 (CB_ERR) for the combo-box queries; changes to it do nothing.
#pragma once

#include <windows.h>

#include "ui/DialogWindow.h"

class CWin32DialogWindow : public CDialogWindow {
public:
    // Set by the toolkit on WM_INITDIALOG; null before.
    void Attach(HWND dialogWindow) { hwnd = dialogWindow; }
    HWND Hwnd() const { return hwnd; }
    // The big icon given by SetIcon: drawn while minimised and dragged. Null
    // when none was set or the resource could not be loaded.
    HICON BigIcon() const { return bigIcon; }

    WindowHandle Handle() override { return hwnd; }

    std::string GetControlText(int id) override;
    // The control repaints at once: the test loop dispatches no messages.
    void SetControlText(int id, const std::string& text) override;
    // A control disabled while it had the focus takes it back when enabled.
    void EnableControl(int id, bool enabled) override;
    bool IsControlEnabled(int id) override;
    // Moves the focus as the dialog manager does (WM_NEXTDLGCTL), so the
    // default-button highlight follows.
    void SetFocus(int id) override;

    // CB_ADDSTRING: the new index, or CB_ERR (-1) / CB_ERRSPACE (-2).
    int ComboAddString(int id, const std::string& text) override;
    // CB_SETCURSEL: the index selected, CB_ERR (-1) when out of range or -1.
    int ComboSetCurSel(int id, int index) override;
    int ComboGetCurSel(int id) override;
    int ComboGetCount(int id) override;

    // PBM_SETPOS; the bar keeps its default range 0..100. Repaints at once.
    void SetProgressPos(int id, int position) override;

    // EM_SETTABSTOPS (dialog template units) and EM_SETMARGINS (pixels).
    void SetEditTabStops(int id, std::span<const int> stops) override;
    void SetEditMargins(int id, int leftPixels, int rightPixels) override;

    // Icon resource `iconId` of the program, loaded shared (never destroyed)
    // in the size the platform uses for big or small icons, and WM_SETICON
    // with ICON_BIG or ICON_SMALL. A missing resource goes unnoticed.
    void SetIcon(int iconId, bool big) override;

    // ::EndDialog: the modal loop ends once the current handler returns.
    void EndDialog(int result) override;

private:
    LRESULT SendToControl(int id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT missing);

    HWND hwnd = nullptr;
    HICON bigIcon = nullptr;
    HWND disabledFocus = nullptr;
};
