// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/Win32DialogWindow.h"

#include <commctrl.h>

#include <vector>

LRESULT CWin32DialogWindow::SendToControl(int id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT missing)
{
    HWND control = hwnd ? GetDlgItem(hwnd, id) : nullptr;
    if (!control)
        return missing;
    return SendMessageA(control, message, wParam, lParam);
}

std::string CWin32DialogWindow::GetControlText(int id)
{
    HWND control = hwnd ? GetDlgItem(hwnd, id) : nullptr;
    if (!control)
        return {};
    int length = GetWindowTextLengthA(control);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(control, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

void CWin32DialogWindow::SetControlText(int id, const std::string& text)
{
    HWND control = hwnd ? GetDlgItem(hwnd, id) : nullptr;
    if (!control)
        return;
    SetWindowTextA(control, text.c_str());
    UpdateWindow(control);
}

void CWin32DialogWindow::EnableControl(int id, bool enabled)
{
    HWND control = hwnd ? GetDlgItem(hwnd, id) : nullptr;
    if (!control)
        return;
    // Disabling the focused control leaves the dialog without a focus; it
    // comes back when the control is enabled again, so after a test Enter
    // presses "Run Test..." again rather than whatever the platform picks.
    if (!enabled && GetFocus() == control)
        disabledFocus = control;
    EnableWindow(control, enabled ? TRUE : FALSE);
    if (enabled && disabledFocus == control) {
        disabledFocus = nullptr;
        SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    }
}

bool CWin32DialogWindow::IsControlEnabled(int id)
{
    HWND control = hwnd ? GetDlgItem(hwnd, id) : nullptr;
    return control && IsWindowEnabled(control);
}

void CWin32DialogWindow::SetFocus(int id)
{
    if (HWND control = hwnd ? GetDlgItem(hwnd, id) : nullptr)
        SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

int CWin32DialogWindow::ComboAddString(int id, const std::string& text)
{
    return static_cast<int>(SendToControl(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()), CB_ERR));
}

int CWin32DialogWindow::ComboSetCurSel(int id, int index)
{
    int count = ComboGetCount(id);
    // Not every implementation clears the selection for an index out of
    // range, as the documented behaviour has it; -1 always does.
    if (index < 0 || index >= count) {
        SendToControl(id, CB_SETCURSEL, static_cast<WPARAM>(-1), 0, CB_ERR);
        return CB_ERR;
    }
    return static_cast<int>(SendToControl(id, CB_SETCURSEL, static_cast<WPARAM>(index), 0, CB_ERR));
}

int CWin32DialogWindow::ComboGetCurSel(int id)
{
    return static_cast<int>(SendToControl(id, CB_GETCURSEL, 0, 0, CB_ERR));
}

int CWin32DialogWindow::ComboGetCount(int id)
{
    return static_cast<int>(SendToControl(id, CB_GETCOUNT, 0, 0, CB_ERR));
}

void CWin32DialogWindow::SetProgressPos(int id, int position)
{
    SendToControl(id, PBM_SETPOS, static_cast<WPARAM>(position), 0, 0);
    if (HWND control = hwnd ? GetDlgItem(hwnd, id) : nullptr)
        UpdateWindow(control);
}

void CWin32DialogWindow::SetEditTabStops(int id, std::span<const int> stops)
{
    std::vector<INT> units(stops.begin(), stops.end());
    SendToControl(id, EM_SETTABSTOPS, units.size(), reinterpret_cast<LPARAM>(units.data()), 0);
    // Setting tab stops does not redraw text already shown.
    if (HWND control = hwnd ? GetDlgItem(hwnd, id) : nullptr)
        InvalidateRect(control, nullptr, TRUE);
}

void CWin32DialogWindow::SetEditMargins(int id, int leftPixels, int rightPixels)
{
    SendToControl(id, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                  MAKELPARAM(static_cast<WORD>(leftPixels), static_cast<WORD>(rightPixels)), 0);
}

void CWin32DialogWindow::SetIcon(int iconId, bool big)
{
    if (!hwnd)
        return;
    int size = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
    auto icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId), IMAGE_ICON,
                                              size, size, LR_SHARED));
    if (!icon)
        return;
    if (big)
        bigIcon = icon;
    SendMessageA(hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void CWin32DialogWindow::EndDialog(int result)
{
    if (hwnd)
        ::EndDialog(hwnd, result);
}
