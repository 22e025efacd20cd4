// SPDX-License-Identifier: GPL-3.0-or-later
// The devices of a direction as every front end shows them: the main
// dialog's two boxes, --list, the test's and the loopback's --input and
// --output. A device whose capability query fails is left out, so a list
// position can be lower than the device's own number; what is opened is
// always the number the entry carries, never its position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/WaveApi.h"

struct ListedDevice {
    std::uint32_t id = 0;   // the wave API's device number: what Open takes
    std::string name;       // the product name, as the capability record has it
    WaveDeviceCaps caps{};
};

// The devices in the wave API's order, each queried once. Empty when the
// API counts none or every query fails.
std::vector<ListedDevice> ListWaveDevices(CWaveApi& api, WaveDirection direction);

// The list position a user's words name: a position in digits (at most five,
// below the list's length), else an exact name, else a name ignoring ASCII
// case. -1 when nothing matches.
int FindListedDevice(const std::vector<ListedDevice>& devices, const std::string& wanted);

// The device number of the entry at `position`; -1 ("no device", which
// the device layer never passes on) for a negative position or one past
// the end.
std::int32_t ListedDeviceId(const std::vector<ListedDevice>& devices, std::int32_t position);
