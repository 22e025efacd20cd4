// SPDX-License-Identifier: GPL-3.0-or-later
// Services for tests: a virtual clock that Sleep advances at once, scripted
// answers to questions, keys and save dialogs, and a log of every message,
// question and cursor change.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

class CFakeServices : public CServices {
public:
    struct Message {
        std::string text;
        MessageIcon icon;
        bool operator==(const Message&) const = default;
    };
    struct Question {
        WindowHandle owner;
        std::string text;
        std::string title;
    };
    struct SaveRequest {
        WindowHandle owner;
        std::string defaultExtension;
        std::string filter;
    };

    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(WindowHandle owner, const std::string& text, const std::string& title) override;
    CursorShape SetCursor(CursorShape shape) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t TickCount() override;
    std::optional<std::uint32_t> PeekKey(WindowHandle window) override;
    bool SetClipboardText(WindowHandle owner, const std::string& text) override;
    std::optional<std::string> AskSaveFileName(WindowHandle owner, const std::string& defaultExtension,
                                               const std::string& filter) override;

    // Queues the key that the `peekCall`-th PeekKey (counted from 1) returns.
    void ScriptKeyAt(int peekCall, std::uint32_t key) { scriptedKeys[peekCall] = key; }
    void ScriptAnswer(bool yes) { answers.push_back(yes); }
    void ScriptSavePath(std::optional<std::string> path) { savePaths.push_back(std::move(path)); }

    std::vector<std::string> MessageTexts() const;

    // Virtual time in milliseconds; starts at a non-zero tick like a real clock.
    std::uint32_t now = 100000;
    // Moves the clock on this much at every TickCount, before answering: a
    // clock that runs while the code reads it, as the real one does.
    std::uint32_t ticksPerRead = 0;
    std::uint64_t totalSlept = 0;
    std::vector<std::uint32_t> sleeps;
    std::vector<Message> messages;
    std::vector<Question> questions;
    std::vector<SaveRequest> saveRequests;
    std::vector<CursorShape> cursorChanges;
    CursorShape cursor = CursorShape::Arrow;
    int peekCalls = 0;
    std::optional<std::string> clipboard;
    bool clipboardWorks = true;
    bool defaultAnswer = false;
    // Called after each Sleep with the new time, so a test can act mid-run.
    std::function<void(std::uint32_t)> onSleep;

private:
    std::map<int, std::uint32_t> scriptedKeys;
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> savePaths;
};

// Installs a fresh CFakeServices for one test's scope.
class CFakeServicesScope {
public:
    CFakeServicesScope() : scope(fake) {}
    CFakeServices fake;

private:
    CScopedServices scope;
};
