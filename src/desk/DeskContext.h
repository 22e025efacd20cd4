// SPDX-License-Identifier: GPL-3.0-or-later
// What every view of the measurement window shares: the device and format
// fields, the one session runner (the devices are shared, so one session
// at a time) and the services that keep the device layer's messages.
#pragma once

#include <functional>

class CFormatPanel;
class CSessionRunner;
class CDeskServices;

struct DeskContext {
    CFormatPanel* format = nullptr;
    CSessionRunner* runner = nullptr;
    CDeskServices* services = nullptr;
    // Called when a session starts (true) and ends (false), so the window
    // can lock what must not change meanwhile.
    std::function<void(bool running)> onRunning;
};
