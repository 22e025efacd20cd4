// SPDX-License-Identifier: GPL-3.0-or-later
// Keys from the Windows console: key presses read with ReadConsoleInputA
// from a console input switched off line input and echo (Ctrl-C still
// reaches the control handler); bytes from a pipe otherwise.
#include "cli/Keyboard.h"

#include <io.h>
#include <windows.h>

struct CKeyboard::SavedMode {
    HANDLE input = INVALID_HANDLE_VALUE;
    DWORD mode = 0;
};

namespace {

// For the control handler: the console to put back, and how.
HANDLE rawInput = INVALID_HANDLE_VALUE;
DWORD rawSaved = 0;

HANDLE HandleOf(int fd)
{
    intptr_t handle = _get_osfhandle(fd);
    return handle == -1 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(handle);
}

bool IsConsoleInput(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

} // namespace

// A console has no background jobs: its input is ours when it is a console.
bool IsForegroundTerminal(int fd)
{
    return fd >= 0 && IsConsoleInput(HandleOf(fd));
}

CKeyboard::CKeyboard(int fd, bool useIt) : fd(fd), active(useIt && fd >= 0), saved(std::make_unique<SavedMode>())
{
    if (!active)
        return;
    saved->input = HandleOf(fd);
    if (!IsConsoleInput(saved->input) || !GetConsoleMode(saved->input, &saved->mode))
        return;
    if (SetConsoleMode(saved->input, ENABLE_PROCESSED_INPUT)) {
        rawMode = true;
        rawSaved = saved->mode;
        rawInput = saved->input;
    }
}

CKeyboard::~CKeyboard()
{
    if (rawMode) {
        SetConsoleMode(saved->input, saved->mode);
        rawInput = INVALID_HANDLE_VALUE;
    }
}

void CKeyboard::RestoreFromSignal()
{
    if (rawInput != INVALID_HANDLE_VALUE)
        SetConsoleMode(rawInput, rawSaved);
}

bool CKeyboard::ReadAvailable(int waitMilliseconds)
{
    if (!active)
        return false;
    HANDLE input = saved->input;
    if (rawMode) {
        if (WaitForSingleObject(input, static_cast<DWORD>(waitMilliseconds)) != WAIT_OBJECT_0)
            return false;
        INPUT_RECORD records[16];
        DWORD count = 0;
        if (!ReadConsoleInputA(input, records, 16, &count) || count == 0)
            return false;
        for (DWORD i = 0; i < count; ++i) {
            const INPUT_RECORD& record = records[i];
            // Presses only; a key that gives no character (arrows, F-keys)
            // is any key but Esc.
            if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
                continue;
            const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
            unsigned char character = static_cast<unsigned char>(key.uChar.AsciiChar);
            if (key.wVirtualKeyCode == VK_ESCAPE)
                keys.push_back(27);
            else if (character != 0)
                keys.push_back(character);
            else if (key.wVirtualKeyCode != VK_SHIFT && key.wVirtualKeyCode != VK_CONTROL &&
                     key.wVirtualKeyCode != VK_MENU)
                keys.push_back(KeyOther);
        }
        return true;
    }
    // A pipe (a test's or a script's): what it holds, without blocking.
    DWORD ready = 0;
    for (int waited = 0;; waited += 10) {
        if (!PeekNamedPipe(input, nullptr, 0, nullptr, &ready, nullptr)) {
            // The writer has gone: nothing more will come.
            if (GetLastError() == ERROR_BROKEN_PIPE)
                active = false;
            return false;
        }
        if (ready > 0 || waited >= waitMilliseconds)
            break;
        Sleep(10);
    }
    if (ready == 0)
        return false;
    unsigned char bytes[64];
    DWORD count = 0;
    if (!ReadFile(input, bytes, ready < sizeof bytes ? ready : sizeof bytes, &count, nullptr) || count == 0)
        return false;
    Decode(bytes, count);
    return true;
}
