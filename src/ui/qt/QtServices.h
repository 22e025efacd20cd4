// SPDX-License-Identifier: GPL-3.0-or-later
// The services of the desktop program: message boxes, the wait cursor,
// sleeping that keeps the windows painted while user input is held back,
// the keyboard peek of the test loop, the clipboard and the save-file dialog.
//
// A failure message has no owner and an empty title; the question is owned by
// the main dialog. Sleep runs a nested event loop so the status line and
// progress bar repaint during a test; meanwhile CInputHold drops clicks and
// the close box, claims shortcuts so mnemonics do not fire, and queues key
// presses per window for PeekKey (one at a time, Esc is 27). Keys still
// queued are dropped when a modal window starts, as its loop would have
// taken them. The save dialog is QFileDialog in save mode with overwrite
// confirmation.
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
