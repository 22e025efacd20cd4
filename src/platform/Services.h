// SPDX-License-Identifier: GPL-3.0-or-later
// The user-interface and system services that every layer may call: failure
// messages, the one yes/no question, the wait cursor, sleeping and the tick
// count, the keyboard peek of the test loop, the clipboard and the save-file
// dialog. One process-wide instance is current; a front end (Qt, terminal)
// or a test installs its own as a whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/ScopedInstall.h"

// An owner window as the front end knows it (a QWidget*, a terminal window
// object, a test window); the services only pass it through.
using WindowHandle = void*;

enum class MessageIcon { None, Error };

enum class CursorShape { Arrow, Wait };

// Key codes handed out by PeekKey, as the test loop compares them.
constexpr std::uint32_t KeyEscape = 27;

class CServices {
public:
    virtual ~CServices() = default;

    // Modal failure message with an OK button, no owner and an empty title.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;

    // Modal Yes/No question with a question icon; true when Yes was chosen.
    virtual bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& title) = 0;

    // Shows the given cursor and returns the one shown before.
    virtual CursorShape SetCursor(CursorShape shape) = 0;

    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // Milliseconds since an arbitrary start; wraps around like a 32-bit tick count.
    virtual std::uint32_t TickCount() = 0;

    // Removes at most one queued keyboard event (press or release) of the given
    // window and returns its key code; nothing when none was queued.
    virtual std::optional<std::uint32_t> PeekKey(WindowHandle window) = 0;

    // Offers text on the clipboard as plain 8-bit text; false when it could not.
    virtual bool SetClipboardText(WindowHandle owner, const std::string& text) = 0;

    // The save-file dialog. `filter` uses the "Description (*.ext)" form.
    // Returns the chosen full path, or nothing when the user cancelled.
    virtual std::optional<std::string> AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                                       const std::string& filter) = 0;
};

// Messages to standard error, the real clock, no keyboard, no clipboard and no
// dialogs (questions are answered No, saving is cancelled).
class CDefaultServices : public CServices {
public:
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& title) override;
    CursorShape SetCursor(CursorShape shape) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t TickCount() override;
    std::optional<std::uint32_t> PeekKey(WindowHandle window) override;
    bool SetClipboardText(WindowHandle owner, const std::string& text) override;
    std::optional<std::string> AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                               const std::string& filter) override;

private:
    CursorShape cursor = CursorShape::Arrow;
};

// The current services. Never null: the plain default until replaced.
CServices& Services();

// Makes `services` current (null restores the default) and returns the
// previous one. The caller keeps ownership.
CServices* SetServices(CServices* services);

// Installs services for a scope and puts the previous ones back afterwards.
using CScopedServices = CScopedInstall<CServices, SetServices>;

// Shows the wait cursor for a scope, then the cursor that was shown before.
class CWaitCursor {
public:
    CWaitCursor() : previous(Services().SetCursor(CursorShape::Wait)) {}
    ~CWaitCursor() { Services().SetCursor(previous); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    CursorShape previous;
};
