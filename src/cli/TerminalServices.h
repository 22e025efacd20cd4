// SPDX-License-Identifier: GPL-3.0-or-later
// The services on a terminal: messages as "tallowmere: TEXT" on standard
// error, the real clock, Esc from the keyboard, Ctrl-C or the time-out as Esc,
// the tone question answered from the command line (or asked on a terminal),
// no clipboard, and the save-file dialog answered with the --save path.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "audio/WaveApi.h"
#include "cli/CommandLine.h"
#include "cli/Interrupts.h"
#include "cli/Keyboard.h"
#include "cli/StatusLine.h"
#include "platform/Services.h"

class CTerminalServices : public CDefaultServices {
public:
    // Each Ctrl-C counted in `interrupts` cancels once.
    CTerminalServices(CStatusLine& statusLine, CKeyboard& keyboard, CInterrupts& interrupts);

    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& title) override;
    std::optional<std::uint32_t> PeekKey(WindowHandle window) override;
    bool SetClipboardText(WindowHandle owner, const std::string& text) override;
    std::optional<std::string> AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                               const std::string& filter) override;

    void SetToneAnswer(ToneAnswer answer) { toneAnswer = answer; }
    // From now, every keyboard peek after `milliseconds` reports Esc; 0 disarms
    // (and keeps TimedOut as it was, for the caller to read).
    void ArmTimeout(long long milliseconds);
    // Which device test is running, so that a bare message key can be
    // explained for the right direction; input until set.
    void SetStepDirection(std::function<WaveDirection()> direction) { stepDirection = std::move(direction); }
    // Asked at every keyboard peek: whether the running step's device is
    // gone for good. When it says so the peek reports Esc at once (the
    // dialog has no other way out of a buffer that never completes),
    // "tallowmere: device lost: ending the step" is printed once, and
    // DeviceLost() is true from then on. Empty: never asked.
    void SetLostDeviceCheck(std::function<bool()> check) { lostDeviceCheck = std::move(check); }
    // The path the next save-file dialog answers with, once.
    void SetSavePath(std::optional<std::string> path) { savePath = std::move(path); }

    bool TimedOut() const { return timedOut; }
    bool DeviceLost() const { return deviceLost; }
    // Ctrl-C was pressed at some point (not only while a device step ran).
    bool Interrupted() const { return interrupts.Any(); }
    int MessageCount() const { return messageCount; }
    // The text of the last message shown, as the dialogs gave it.
    const std::string& LastMessage() const { return lastMessage; }
    bool ToneAsked() const { return toneAsked; }

private:
    bool AskOnTerminal(const std::string& text, const std::string& title);

    CStatusLine& statusLine;
    CKeyboard& keyboard;
    CInterrupts& interrupts;
    ToneAnswer toneAnswer = ToneAnswer::No;
    std::optional<std::uint32_t> deadline;
    bool timedOut = false;
    std::optional<std::string> savePath;
    int messageCount = 0;
    std::string lastMessage;
    std::function<WaveDirection()> stepDirection;
    std::function<bool()> lostDeviceCheck;
    bool deviceLost = false;
    bool toneAsked = false;
};
