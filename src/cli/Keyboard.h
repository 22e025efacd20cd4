// SPDX-License-Identifier: GPL-3.0-or-later
// Keys from the terminal on standard input, one at a time without waiting,
// for the test loop's Esc check and the tone question. On a terminal, input
// is switched to single keys without echo for the keyboard's life (signals
// stay on, so Ctrl-C still interrupts); otherwise nothing is read.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

// True when `fd` is a terminal and this process is in its foreground: only
// then may keys be read from it and its modes be set. A job started in the
// background (`tallowmere-cli &`) would be stopped by the terminal for either.
bool IsForegroundTerminal(int fd);

// A key that is not a single byte (arrows, function keys): any code but Esc.
constexpr std::uint32_t KeyOther = 0x100;

class CKeyboard {
public:
    // `fd` is read only when `useIt` is set (a terminal, or a test's pipe);
    // raw mode is set only when `fd` is a terminal.
    CKeyboard(int fd, bool useIt);
    ~CKeyboard();
    CKeyboard(const CKeyboard&) = delete;
    CKeyboard& operator=(const CKeyboard&) = delete;

    bool Active() const { return active; }

    // Removes one queued key; nothing when none is waiting.
    std::optional<std::uint32_t> TakeKey();
    // Waits up to `milliseconds` for a key.
    std::optional<std::uint32_t> WaitKey(int milliseconds);
    // Drops every key typed so far (before a question, so that a stray key
    // does not answer it).
    void Discard();

    // Puts the terminal back as it was; safe to call from a signal handler.
    static void RestoreFromSignal();

private:
    // Reads what is waiting (at most one read); false when nothing was read.
    bool ReadAvailable(int waitMilliseconds);
    void Decode(const unsigned char* bytes, std::size_t count);

    // The terminal's modes before raw mode, as the platform keeps them
    // (KeyboardPosix.cpp, win32/Keyboard.cpp).
    struct SavedMode;

    int fd;
    bool active;
    bool rawMode = false;
    std::unique_ptr<SavedMode> saved;
    std::deque<std::uint32_t> keys;
};
