// SPDX-License-Identifier: GPL-3.0-or-later
// The services of the Windows program, over the platform's own calls:
// MessageBoxA, the IDC_WAIT cursor, Sleep and GetTickCount, PeekMessageA,
// the clipboard and GetSaveFileNameA. Window handles are HWNDs. The header
// leaves out <windows.h>, whose multimedia names clash with the wave API's.
//
// Sleep first dispatches pending WM_PAINT only, so uncovered parts of the
// dialogs are drawn during a test while input stays queued. PeekKey is
// PeekMessageA on the dialog for 0x100..0x108 with PM_REMOVE (a control's key
// counts, as it is the dialog's child). The clipboard takes CF_TEXT in a
// GMEM_MOVEABLE | GMEM_ZEROINIT block, freed again if the clipboard refuses
// it. The save dialog's default extension is "wav" (the platform appends the
// first three characters of it, so "*.wav" would give "name.*.w"), with
// OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT and a 260-character buffer.
#pragma once

#include <cstdint>

#include "platform/Services.h"

// The keyboard messages the test loop takes: WM_KEYFIRST to 0x108 (the
// range ends before WM_UNICHAR, whatever the headers call WM_KEYLAST).
constexpr std::uint32_t PeekFirstKeyMessage = 0x0100;
constexpr std::uint32_t PeekLastKeyMessage = 0x0108;

class CWin32Services : public CServices {
public:
    // MessageBoxA with no owner and an empty title: MB_OK, or MB_ICONERROR
    // for MessageIcon::Error. Modal; the result is not examined.
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    // MessageBoxA owned by `owner`, MB_YESNO | MB_ICONQUESTION; true on IDYES.
    bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& title) override;
    // Wait shows LoadCursorA(nullptr, IDC_WAIT) and keeps the cursor it
    // replaced; Arrow puts that one back (the arrow when none was kept).
    // Returns Wait when the wait cursor was showing, else Arrow.
    CursorShape SetCursor(CursorShape shape) override;
    // Paints what waits to be painted (WM_PAINT only), then sleeps.
    void Sleep(std::uint32_t milliseconds) override;
    // GetTickCount: wraps after about 49.7 days.
    std::uint32_t TickCount() override;
    // PeekMessageA(window, 0x100..0x108, PM_REMOVE): one keyboard message of
    // the window or its controls, its wParam as the key; nothing dispatched.
    std::optional<std::uint32_t> PeekKey(WindowHandle window) override;
    // CF_TEXT in a GMEM_MOVEABLE | GMEM_ZEROINIT block of size + 1 bytes.
    // False when the clipboard is busy, the block cannot be had, or the
    // clipboard refuses it (the block is freed then; the clipboard stays
    // emptied). Text after an embedded zero byte is not seen by readers.
    bool SetClipboardText(WindowHandle owner, const std::string& text) override;
    // GetSaveFileNameA owned by `owner`: the filter from SaveFileFilter, the
    // default extension (appended by the platform to a name typed without
    // one), an empty name, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, a
    // 260-character buffer. Nothing when cancelled or when it fails.
    std::optional<std::string> AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                               const std::string& filter) override;

private:
    void* replacedCursor = nullptr; // an HCURSOR
};
