// SPDX-License-Identifier: GPL-3.0-or-later
// --list: the input and output devices as the main dialog lists them (a
// device whose capability query fails is left out, so later ones move up),
// with their list positions, names, directions and claimed formats.
#pragma once

#include <string>
#include <vector>

#include "audio/WaveApi.h"

// The standard formats a capability record claims, one line per rate, e.g.
// "44100 Hz: 8-bit mono, 16-bit stereo"; "none claimed" when no bit is set.
std::string DescribeFormats(std::uint32_t formats);

std::string FormatDeviceList(CWaveApi& api);

// The list position that --input or --output names: a position given in
// digits, else an exact name, else a name ignoring ASCII case. -1 when none.
int FindListedDevice(const std::vector<std::string>& items, const std::string& wanted);
