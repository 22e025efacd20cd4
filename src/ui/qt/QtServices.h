// SPDX-License-Identifier: GPL-3.0-or-later
// The services of the desktop program: message boxes, the wait cursor,
// sleeping that keeps the windows painted while user input is held back,
// the keyboard peek of the test loop, the clipboard and the save-file dialog.
#pragma once

#include "platform/Services.h"
#include "ui/qt/InputHold.h"

class CQtServices : public CServices {
public:
    CQtServices();
    ~CQtServices() override;

    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& title) override;
    CursorShape SetCursor(CursorShape shape) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t TickCount() override;
    std::optional<std::uint32_t> PeekKey(WindowHandle window) override;
    bool SetClipboardText(WindowHandle owner, const std::string& text) override;
    std::optional<std::string> AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                               const std::string& filter) override;

    CInputHold& Hold() { return hold; }

    // Drops keys held back for the test loop when the current services are
    // these; called as a modal window starts.
    static void DiscardHeldKeys();

private:
    CInputHold hold;
    CursorShape cursor = CursorShape::Arrow;
};
