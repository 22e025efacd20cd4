// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalServices.h"

#include "cli/CliDiagnostics.h"

namespace {

constexpr int QuestionPollMilliseconds = 100;

} // namespace

CTerminalServices::CTerminalServices(CStatusLine& statusLine, CKeyboard& keyboard, CInterrupts& interrupts)
    : statusLine(statusLine), keyboard(keyboard), interrupts(interrupts)
{
}

void CTerminalServices::ShowMessage(const std::string& text, MessageIcon)
{
    ++messageCount;
    lastMessage = text;
    WaveDirection direction = stepDirection ? stepDirection() : WaveDirection::Input;
    statusLine.PrintLine("tallowmere: " + ExplainMessage(text, direction));
}

bool CTerminalServices::AskYesNo(WindowHandle, const std::string& text, const std::string& title)
{
    toneAsked = true;
    switch (toneAnswer) {
    case ToneAnswer::Yes:
        statusLine.PrintLine(title + ": " + text + " yes (--tone yes)");
        return true;
    case ToneAnswer::Ask:
        if (keyboard.Active()) {
            // The time-out is for devices that hang, not for a person who
            // thinks: the time spent answering does not count.
            std::uint32_t asked = TickCount();
            bool yes = AskOnTerminal(text, title);
            if (deadline)
                *deadline += TickCount() - asked;
            return yes;
        }
        break;
    case ToneAnswer::No:
        break;
    }
    statusLine.PrintLine(title + ": " + text + " no (--tone yes plays it)");
    return false;
}

bool CTerminalServices::AskOnTerminal(const std::string& text, const std::string& title)
{
    keyboard.Discard();
    statusLine.Prompt(title + ": " + text + " [y/N] ");
    for (;;) {
        if (interrupts.Take()) {
            statusLine.Prompt("no\n");
            return false;
        }
        auto key = keyboard.WaitKey(QuestionPollMilliseconds);
        if (!key) {
            if (!keyboard.Active()) {
                statusLine.Prompt("no\n");
                return false;
            }
            continue;
        }
        if (*key == 'y' || *key == 'Y') {
            statusLine.Prompt("yes\n");
            return true;
        }
        if (*key == 'n' || *key == 'N' || *key == '\n' || *key == '\r' || *key == KeyEscape) {
            statusLine.Prompt("no\n");
            return false;
        }
    }
}

void CTerminalServices::ArmTimeout(long long milliseconds)
{
    if (milliseconds <= 0) {
        deadline.reset();
        return;
    }
    timedOut = false;
    // The tick count wraps after 49 days; a longer wait is as good as none.
    constexpr long long Longest = 0x7FFFFFFF;
    deadline = TickCount() + static_cast<std::uint32_t>(milliseconds < Longest ? milliseconds : Longest);
}

std::optional<std::uint32_t> CTerminalServices::PeekKey(WindowHandle)
{
    if (interrupts.Take())
        return KeyEscape;
    if (!deviceLost && lostDeviceCheck && lostDeviceCheck()) {
        statusLine.PrintLine("tallowmere: device lost: ending the step");
        deviceLost = true;
    }
    if (deviceLost)
        return KeyEscape;
    // Compared as a signed difference, so the tick count may wrap.
    if (deadline && static_cast<std::int32_t>(TickCount() - *deadline) >= 0) {
        if (!timedOut)
            statusLine.PrintLine("tallowmere: time-out: cancelling");
        timedOut = true;
        return KeyEscape;
    }
    return keyboard.TakeKey();
}

bool CTerminalServices::SetClipboardText(WindowHandle, const std::string&)
{
    return false;
}

std::optional<std::string> CTerminalServices::AskSaveFileName(WindowHandle, const std::string&, const std::string&)
{
    auto path = std::move(savePath);
    savePath.reset();
    return path;
}
