// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/Win32DialogToolkit.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "ui/Dialog.h"
#include "ui/win32/DialogTemplateBytes.h"
#include "ui/win32/Win32DialogWindow.h"

namespace {

struct CModalRun {
    CDialog& dialog;
    CWin32DialogWindow window;
    bool created = false;
};

constexpr std::uint32_t CentringStyles = DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN;

// As the dialog framework does for a template placed at (0, 0).
void PlaceCentred(HWND hwnd, const DialogTemplate& dialogTemplate)
{
    if (dialogTemplate.x != 0 || dialogTemplate.y != 0 || (dialogTemplate.style & CentringStyles) != 0)
        return;
    HWND owner = GetWindow(hwnd, GW_OWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromWindow(owner ? owner : hwnd, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    RECT area = monitor.rcWork;
    RECT around = area;
    if (owner && !IsIconic(owner))
        GetWindowRect(owner, &around);
    RECT self{};
    GetWindowRect(hwnd, &self);
    LONG width = self.right - self.left;
    LONG height = self.bottom - self.top;
    LONG x = around.left + (around.right - around.left - width) / 2;
    LONG y = around.top + (around.bottom - around.top - height) / 2;
    x = std::max(area.left, std::min(x, area.right - width));
    y = std::max(area.top, std::min(y, area.bottom - height));
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A dialog with an icon draws it itself while minimised, where the platform
// still asks it to paint: centred in the client area, the divisions
// truncating toward zero as the main dialog's own painting rule has it.
bool PaintMinimised(HWND hwnd, CModalRun& run)
{
    HICON icon = run.window.BigIcon();
    if (!icon || !IsIconic(hwnd))
        return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(hwnd, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(hwnd, &paint);
    return true;
}

INT_PTR OnInitDialog(HWND hwnd, CModalRun& run)
{
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(&run));
    run.created = true;
    run.window.Attach(hwnd);
    run.dialog.Attach(&run.window);
    bool focusFirstTabStop = run.dialog.OnInitDialog();
    PlaceCentred(hwnd, run.dialog.Template());
    if (!focusFirstTabStop)
        return FALSE;
    // Focused the way Tab focuses, so a push button that takes the first
    // focus is also the default one and Enter presses it; not every dialog
    // manager does that for the focus it gives itself.
    if (HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE)) {
        SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
        return FALSE;
    }
    return TRUE;
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return OnInitDialog(hwnd, *reinterpret_cast<CModalRun*>(lParam));
    auto* run = reinterpret_cast<CModalRun*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!run)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        // Edits and combo boxes also notify (EN_CHANGE, CBN_SELCHANGE...);
        // only clicks and the dialog manager's IDOK/IDCANCEL are commands.
        if (HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        run->dialog.OnCommand(static_cast<int>(LOWORD(wParam)));
        return TRUE;
    case WM_PAINT:
        return PaintMinimised(hwnd, *run) ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(run->window.BigIcon());
    default:
        return FALSE;
    }
}

} // namespace

int CWin32DialogToolkit::RunModal(CDialog& dialog, CDialog* parent)
{
    const DialogTemplate& dialogTemplate = dialog.Template();
    std::vector<std::uint8_t> bytes = BuildTemplateBytes(dialogTemplate, LayoutOf(dialogTemplate));
    if (bytes.empty())
        return -1;
    HWND owner = parent ? static_cast<HWND>(parent->Handle()) : nullptr;
    // The owner is disabled while this dialog runs, which takes its focus;
    // the control that had it gets it back afterwards.
    HWND ownerFocus = GetFocus();
    if (!owner || !IsChild(owner, ownerFocus))
        ownerFocus = nullptr;
    CModalRun run{dialog, {}};
    INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                             reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), owner, DialogProc,
                                             reinterpret_cast<LPARAM>(&run));
    dialog.Attach(nullptr);
    if (ownerFocus && IsWindow(ownerFocus) && IsWindowEnabled(ownerFocus))
        SendMessageA(owner, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ownerFocus), TRUE);
    if (!run.created)
        return -1;
    return static_cast<int>(result);
}
