// SPDX-License-Identifier: GPL-3.0-or-later
// The platform's own dialog manager reads the in-memory templates, and the
// window wrapper drives the real controls it created.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "ui/Templates.h"
#include "ui/win32/DialogTemplateBytes.h"
#include "ui/win32/Win32DialogWindow.h"

namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// A modeless dialog box from the template's bytes, destroyed at the end.
class CCreatedDialog {
public:
    explicit CCreatedDialog(const DialogTemplate& dialog)
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        bytes = BuildTemplateBytes(dialog, LayoutOf(dialog));
        hwnd = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()),
                                          nullptr, PlainDialogProc, 0);
        window.Attach(hwnd);
    }
    ~CCreatedDialog()
    {
        if (hwnd)
            DestroyWindow(hwnd);
    }
    std::vector<std::uint8_t> bytes;
    HWND hwnd = nullptr;
    CWin32DialogWindow window;
};

std::string ClassOf(HWND hwnd)
{
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

const char* ExpectedClassName(ControlClass controlClass)
{
    switch (controlClass) {
    case ControlClass::Button: return "Button";
    case ControlClass::Edit: return "Edit";
    case ControlClass::Static: return "Static";
    case ControlClass::ComboBox: return "ComboBox";
    case ControlClass::ProgressBar: return "msctls_progress32";
    }
    return "";
}

RECT ClientRectOf(HWND child, HWND dialog)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST(Win32Dialog, ThePlatformBuildsEachTemplateAsDrawn)
{
    for (const DialogTemplate* dialog : {&MainDialogTemplate(), &ResultsDialogTemplate()}) {
        SCOPED_TRACE(std::string(dialog->title));
        CCreatedDialog created(*dialog);
        ASSERT_NE(created.hwnd, nullptr) << GetLastError();
        char title[64] = {};
        GetWindowTextA(created.hwnd, title, sizeof title);
        EXPECT_EQ(std::string(title), dialog->title);
        EXPECT_EQ(static_cast<std::uint32_t>(GetWindowLongA(created.hwnd, GWL_EXSTYLE)) & WS_EX_APPWINDOW,
                  dialog->exStyle & WS_EX_APPWINDOW);

        // The font asked for, at 8 points on this screen.
        auto font = reinterpret_cast<HFONT>(SendMessageA(created.hwnd, WM_GETFONT, 0, 0));
        LOGFONTA logFont{};
        ASSERT_TRUE(font && GetObjectA(font, sizeof logFont, &logFont));
        EXPECT_STREQ(logFont.lfFaceName, "MS Sans Serif");
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(logFont.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
        ReleaseDC(nullptr, screen);

        // Walking the children in creation order meets the template's controls in order.
        HWND child = GetWindow(created.hwnd, GW_CHILD);
        for (const ControlTemplate& control : dialog->controls) {
            SCOPED_TRACE(std::string(control.text) + " #" + std::to_string(control.id));
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(child)), static_cast<WORD>(control.id));
            EXPECT_EQ(ClassOf(child), ExpectedClassName(control.controlClass));
            // Edits turn their border into a sunken edge, the progress bar draws its
            // own, and a combo box keeps its scroll bar for the list it drops down.
            auto style = static_cast<std::uint32_t>(GetWindowLongA(child, GWL_STYLE));
            if ((GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ||
                control.controlClass == ControlClass::ProgressBar)
                style |= WS_BORDER;
            if (control.controlClass == ControlClass::ComboBox)
                style |= WS_VSCROLL;
            EXPECT_EQ(style & control.style, control.style);
            EXPECT_EQ(style & ~control.style & (WS_TABSTOP | WS_GROUP), 0u);
            // Each of the four values in dialog units, converted as the dialog manager does.
            RECT expected{control.x, control.y, control.width, control.height};
            MapDialogRect(created.hwnd, &expected);
            RECT actual = ClientRectOf(child, created.hwnd);
            EXPECT_EQ(actual.left, expected.left);
            EXPECT_EQ(actual.top, expected.top);
            EXPECT_EQ(actual.right - actual.left, expected.right);
            // A drop-down box is as high as its field; the template's height includes the list.
            if (control.controlClass != ControlClass::ComboBox) {
                EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
            }
            char text[64] = {};
            GetWindowTextA(child, text, sizeof text);
            if (control.controlClass != ControlClass::ProgressBar) {
                EXPECT_EQ(std::string(text), control.text);
            }
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "no controls beyond the template's";
    }
}

TEST(Win32Dialog, ComboBoxesKeepTheOrderAddedAndTheTypedText)
{
    CCreatedDialog created(MainDialogTemplate());
    CWin32DialogWindow& window = created.window;
    EXPECT_EQ(window.ComboGetCount(IdInputDevice), 0);
    EXPECT_EQ(window.ComboSetCurSel(IdInputDevice, 0), -1) << "an empty box selects nothing";
    EXPECT_EQ(window.ComboGetCurSel(IdInputDevice), -1);
    EXPECT_EQ(window.ComboAddString(IdInputDevice, "Zeta"), 0);
    EXPECT_EQ(window.ComboAddString(IdInputDevice, "Alpha"), 1) << "unsorted";
    EXPECT_EQ(window.ComboGetCount(IdInputDevice), 2);
    EXPECT_EQ(window.ComboSetCurSel(IdInputDevice, 1), 1);
    EXPECT_EQ(window.GetControlText(IdInputDevice), "Alpha");
    EXPECT_EQ(window.ComboSetCurSel(IdInputDevice, 5), -1) << "out of range clears the selection";
    EXPECT_EQ(window.ComboGetCurSel(IdInputDevice), -1);
    window.SetControlText(IdInputDevice, "typed by hand");
    EXPECT_EQ(window.GetControlText(IdInputDevice), "typed by hand");
}

TEST(Win32Dialog, TextsEnablingAndProgressReachTheControls)
{
    CCreatedDialog created(MainDialogTemplate());
    CWin32DialogWindow& window = created.window;
    EXPECT_EQ(window.Handle(), created.hwnd);
    window.SetControlText(IdChannels, "44100");
    EXPECT_EQ(window.GetControlText(IdChannels), "44100");
    window.SetControlText(IdStatus, "Recording...   Press <Esc> to cancel");
    EXPECT_EQ(window.GetControlText(IdStatus), "Recording...   Press <Esc> to cancel");
    window.SetControlText(IdChannels, "");
    EXPECT_EQ(window.GetControlText(IdChannels), "");

    EXPECT_TRUE(window.IsControlEnabled(IdRunTest));
    window.EnableControl(IdRunTest, false);
    EXPECT_FALSE(window.IsControlEnabled(IdRunTest));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(created.hwnd, IdRunTest)));
    window.EnableControl(IdRunTest, true);
    EXPECT_TRUE(window.IsControlEnabled(IdRunTest));

    struct Row {
        int sent;
        int shown;
    };
    // The control keeps its default range, so positions past 100 show as 100.
    for (Row row : {Row{0, 0}, Row{2, 2}, Row{100, 100}, Row{300, 100}}) {
        window.SetProgressPos(IdProgress, row.sent);
        EXPECT_EQ(SendDlgItemMessageA(created.hwnd, IdProgress, PBM_GETPOS, 0, 0), row.shown) << row.sent;
    }
    EXPECT_EQ(SendDlgItemMessageA(created.hwnd, IdProgress, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(created.hwnd, IdProgress, PBM_GETRANGE, FALSE, 0), 100);
}

TEST(Win32Dialog, FocusMovesAsTheDialogManagerMovesIt)
{
    CCreatedDialog created(MainDialogTemplate());
    created.window.SetFocus(IdDuration);
    EXPECT_EQ(GetFocus(), GetDlgItem(created.hwnd, IdDuration));
    created.window.SetFocus(IdRunTest);
    EXPECT_EQ(GetFocus(), GetDlgItem(created.hwnd, IdRunTest));
}

TEST(Win32Dialog, ReportBoxTakesMarginsAndTabStops)
{
    CCreatedDialog created(ResultsDialogTemplate());
    CWin32DialogWindow& window = created.window;
    const int stops[] = {100, 140, 240, 340};
    window.SetEditTabStops(IdReportEdit, stops);
    window.SetEditMargins(IdReportEdit, 2, 2);
    LRESULT margins = SendDlgItemMessageA(created.hwnd, IdReportEdit, EM_GETMARGINS, 0, 0);
    EXPECT_EQ(LOWORD(margins), 2);
    EXPECT_EQ(HIWORD(margins), 2);
    std::string report = "Operating System:\t Windows XP\r\n\r\nInput Device:\tX\r\n";
    window.SetControlText(IdReportEdit, report);
    EXPECT_EQ(window.GetControlText(IdReportEdit), report) << "CR LF and tabs kept";
    EXPECT_EQ(SendDlgItemMessageA(created.hwnd, IdReportEdit, EM_GETLINECOUNT, 0, 0), 4);
}

// Icon 128 is linked into this test program as into tallowmere.exe.
TEST(Win32Dialog, IconResourceHasBothSizesAndGoesToTheTitleBar)
{
    CCreatedDialog created(MainDialogTemplate());
    created.window.SetIcon(AppIconId, true);
    created.window.SetIcon(AppIconId, false);
    auto big = reinterpret_cast<HICON>(SendMessageA(created.hwnd, WM_GETICON, ICON_BIG, 0));
    auto small = reinterpret_cast<HICON>(SendMessageA(created.hwnd, WM_GETICON, ICON_SMALL, 0));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(created.window.BigIcon(), big);
    for (int size : {32, 16}) {
        auto icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(AppIconId), IMAGE_ICON,
                                                  size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        GetObjectA(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    // A missing resource goes unnoticed.
    created.window.SetIcon(4242, true);
    EXPECT_EQ(created.window.BigIcon(), big);
}

TEST(Win32Dialog, ControlsTheDialogLacksReadAsEmpty)
{
    CCreatedDialog created(ResultsDialogTemplate());
    CWin32DialogWindow& window = created.window;
    window.SetControlText(4711, "ignored");
    EXPECT_EQ(window.GetControlText(4711), "");
    EXPECT_FALSE(window.IsControlEnabled(4711));
    EXPECT_EQ(window.ComboAddString(4711, "x"), -1);
    EXPECT_EQ(window.ComboGetCount(4711), -1);
    window.SetProgressPos(4711, 5);
    CWin32DialogWindow unattached;
    EXPECT_EQ(unattached.Handle(), nullptr);
    EXPECT_EQ(unattached.GetControlText(IdReportEdit), "");
    unattached.EndDialog(1);
}

} // namespace
