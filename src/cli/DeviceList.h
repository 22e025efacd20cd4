// SPDX-License-Identifier: GPL-3.0-or-later
// --list: the input and output devices as the main dialog lists them
// (ListWaveDevices), with their list positions, names, directions and
// claimed formats; for a device the host names (ALSA), its PCM name and the
// configuration space it states, with the capability record labelled as the
// dialog's. And the usage error for device words that name no device.
#pragma once

#include <string>
#include <vector>

#include "audio/ListedDevices.h"

#include "audio/WaveApi.h"

// The standard formats a capability record claims, one line per rate, e.g.
// "44100 Hz: 8-bit mono, 16-bit stereo"; "none claimed" when no bit is set.
std::string DescribeFormats(std::uint32_t formats);

std::string FormatDeviceList(CWaveApi& api);

// The usage error for words that name no entry of the list, or several:
// "--input: no input device named 'x' (2 listed; see --list)", "... at
// position '7' ...", or "--input: 'usb' names 2 input devices: 1 'USB Audio
// Front' (hw:1,0), 2 'USB Audio Rear' (hw:2,0); give more of the name, or
// its position".
std::string ListedDeviceError(WaveDirection direction, const std::vector<ListedDevice>& devices,
                              const std::string& wanted);
