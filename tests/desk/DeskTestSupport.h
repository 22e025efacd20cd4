// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the window's tests: the application on Qt's offscreen platform,
// services whose clock jumps ahead on every sleep (so a session on the
// virtual devices runs at the processor's speed on its own thread), private
// settings, and small WAVE files.
#pragma once

#include <QApplication>

#include <atomic>
#include <chrono>
#include <thread>
#include <functional>
#include <string>

#include "desk/DeskServices.h"

QApplication& DeskTestApplication();

// The device layer's messages kept as in the program; a clock that moves
// only when the session sleeps. Safe from the session's thread.
class CFastClockServices final : public CDeskServices {
public:
    void Sleep(std::uint32_t milliseconds) override
    {
        if (stopped.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        else
            now += milliseconds;
    }
    std::uint32_t TickCount() override { return now.load(); }
    // A stopped clock: a session waits for as long as the test wants,
    // without a time-out of its own ever coming.
    std::atomic<bool> stopped{false};

private:
    std::atomic<std::uint32_t> now{1000};
};

// Settings in a directory of their own, for a scope.
class CPrivateSettings {
public:
    explicit CPrivateSettings(const std::string& directory);
};

// Processes events until `done` holds or `timeoutMs` passed; its result.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

class CMeasureWindow;
// Lists the window's devices as the program does, off the interface
// thread, and waits until the lists are filled; false when they were not.
bool ListDevicesAndWait(CMeasureWindow& window);

// A 16-bit stereo WAVE file of `seconds` of a sine (0 Hz: silence) at half
// of full scale; false when it could not be written.
bool WriteSineWave(const std::string& path, double hz, double seconds, int rate = 48000);
