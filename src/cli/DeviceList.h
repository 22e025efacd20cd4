// SPDX-License-Identifier: GPL-3.0-or-later
// --list: the input and output devices as the main dialog lists them
// (ListWaveDevices), with their list positions, names, directions and
// claimed formats.
#pragma once

#include <string>

#include "audio/WaveApi.h"

// The standard formats a capability record claims, one line per rate, e.g.
// "44100 Hz: 8-bit mono, 16-bit stereo"; "none claimed" when no bit is set.
std::string DescribeFormats(std::uint32_t formats);

std::string FormatDeviceList(CWaveApi& api);
