// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/Win32Services.h"

#include <windows.h>

#include <commdlg.h>

#include <cstring>

#include "ui/win32/SaveFileFilter.h"

void CWin32Services::ShowMessage(const std::string& text, MessageIcon icon)
{
    MessageBoxA(nullptr, text.c_str(), "", icon == MessageIcon::Error ? MB_ICONERROR : MB_OK);
}

bool CWin32Services::AskYesNo(WindowHandle owner, const std::string& text, const std::string& title)
{
    return MessageBoxA(static_cast<HWND>(owner), text.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

CursorShape CWin32Services::SetCursor(CursorShape shape)
{
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    HCURSOR shown;
    if (shape == CursorShape::Wait) {
        shown = ::SetCursor(wait);
        if (shown != wait)
            replacedCursor = shown;
    } else {
        auto replaced = static_cast<HCURSOR>(replacedCursor);
        shown = ::SetCursor(replaced ? replaced : LoadCursorA(nullptr, IDC_ARROW));
        replacedCursor = nullptr;
    }
    return shown == wait ? CursorShape::Wait : CursorShape::Arrow;
}

void CWin32Services::Sleep(std::uint32_t milliseconds)
{
    // The test loop dispatches nothing; painting alone keeps the dialogs
    // drawn where another window uncovered them. Input stays queued.
    MSG message;
    for (int pending = 0; pending < 64 && PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++pending)
        DispatchMessageA(&message);
    ::Sleep(milliseconds);
}

std::uint32_t CWin32Services::TickCount()
{
    return GetTickCount();
}

std::optional<std::uint32_t> CWin32Services::PeekKey(WindowHandle window)
{
    MSG message;
    if (!PeekMessageA(&message, static_cast<HWND>(window), PeekFirstKeyMessage, PeekLastKeyMessage, PM_REMOVE))
        return std::nullopt;
    return static_cast<std::uint32_t>(message.wParam);
}

bool CWin32Services::SetClipboardText(WindowHandle owner, const std::string& text)
{
    if (!OpenClipboard(static_cast<HWND>(owner)))
        return false;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, text.size() + 1);
    void* bytes = block ? GlobalLock(block) : nullptr;
    if (!bytes) {
        if (block)
            GlobalFree(block);
        CloseClipboard();
        return false;
    }
    std::memcpy(bytes, text.data(), text.size());
    GlobalUnlock(block);
    bool handedOver = SetClipboardData(CF_TEXT, block) != nullptr;
    // The clipboard owns the block only once it took it.
    if (!handedOver)
        GlobalFree(block);
    CloseClipboard();
    return handedOver;
}

std::optional<std::string> CWin32Services::AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                                           const std::string& filter)
{
    std::string filterText = SaveFileFilter(filter, defaultExtension);
    char path[MAX_PATH] = {};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = static_cast<HWND>(owner);
    dialog.lpstrFilter = filterText.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameA(&dialog))
        return std::nullopt;
    return std::string(path);
}
