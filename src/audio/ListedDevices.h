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
    std::string hostName;   // the host's name (ALSA's PCM name); empty when it has none
};

// The devices in the wave API's order, each queried once. Empty when the
// API counts none or every query fails.
std::vector<ListedDevice> ListWaveDevices(CWaveApi& api, WaveDirection direction);

// What a user's words name in a list, tried in this order: a position in
// digits (at most five, below the list's length); an exact name; an exact
// host name ("hw:1,0"); a name or host name ignoring ASCII case; then a part
// of a name or host name ignoring ASCII case, when exactly one device has
// it. Words of digits alone are positions, never parts.
struct ListedDeviceMatch {
    int position = -1;           // the entry found; -1 when none or more than one
    std::vector<int> candidates; // for a part that several entries have: their positions
    bool Ambiguous() const { return candidates.size() > 1; }
};
ListedDeviceMatch MatchListedDevice(const std::vector<ListedDevice>& devices, const std::string& wanted);

// MatchListedDevice's position: -1 when nothing matches or a part matches
// more than one entry.
int FindListedDevice(const std::vector<ListedDevice>& devices, const std::string& wanted);

// When `wanted` names no listed device of the direction (not even by a part
// several have), asks the wave API to list the host's device of that name
// (AddHostDevice: "plughw:1,0" or another PCM name ALSA can open). True
// when it was added, so that the lists must be read again.
bool ListHostDeviceNamed(CWaveApi& api, WaveDirection direction, const std::string& wanted);

// The device number of the entry at `position`; -1 ("no device", which
// the device layer never passes on) for a negative position or one past
// the end.
std::int32_t ListedDeviceId(const std::vector<ListedDevice>& devices, std::int32_t position);
