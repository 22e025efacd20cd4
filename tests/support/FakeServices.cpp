// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeServices.h"

void CFakeServices::ShowMessage(const std::string& text, MessageIcon icon)
{
    messages.push_back({text, icon});
}

bool CFakeServices::AskYesNo(WindowHandle owner, const std::string& text, const std::string& title)
{
    questions.push_back({owner, text, title});
    if (answers.empty())
        return defaultAnswer;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
}

CursorShape CFakeServices::SetCursor(CursorShape shape)
{
    CursorShape previous = cursor;
    cursor = shape;
    cursorChanges.push_back(shape);
    return previous;
}

void CFakeServices::Sleep(std::uint32_t milliseconds)
{
    sleeps.push_back(milliseconds);
    totalSlept += milliseconds;
    now += milliseconds;
    if (onSleep)
        onSleep(now);
}

std::uint32_t CFakeServices::TickCount()
{
    now += ticksPerRead;
    return now;
}

std::optional<std::uint32_t> CFakeServices::PeekKey(WindowHandle)
{
    ++peekCalls;
    auto found = scriptedKeys.find(peekCalls);
    if (found == scriptedKeys.end())
        return std::nullopt;
    return found->second;
}

bool CFakeServices::SetClipboardText(WindowHandle, const std::string& text)
{
    if (!clipboardWorks)
        return false;
    clipboard = text;
    return true;
}

std::optional<std::string> CFakeServices::AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                                          const std::string& filter)
{
    saveRequests.push_back({owner, defaultExtension, filter});
    if (savePaths.empty())
        return std::nullopt;
    auto path = savePaths.front();
    savePaths.pop_front();
    return path;
}

std::vector<std::string> CFakeServices::MessageTexts() const
{
    std::vector<std::string> texts;
    for (const auto& message : messages)
        texts.push_back(message.text);
    return texts;
}
