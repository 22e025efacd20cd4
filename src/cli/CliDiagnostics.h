// SPDX-License-Identifier: GPL-3.0-or-later
// The lines tallowmere-cli adds on standard error beyond the dialogs' own
// texts: what the back end knows of a device after its test, why a save
// failed, and what a bare message key means on a terminal.
#pragma once

#include <string>
#include <vector>

#include "audio/WaveApi.h"

// For one device test ("capture" or "playback"), in this order and each only
// when it applies:
//   "tallowmere: capture 'hw:1,0' was lost: snd_pcm_readi: No such device"
//   "tallowmere: capture 'hw:1,0': snd_pcm_hw_params_set_rate: Invalid argument"
//     (only when `stepFailed` and the device was not lost)
//   "tallowmere: capture 'hw:1,0': 2 xruns recovered, 1024 frames lost"
// The device is named by the host's name, else by `listName`.
std::vector<std::string> HostDetailLines(const char* role, const std::string& listName, const WaveHostDetail& detail,
                                         bool stepFailed);

// "tallowmere: cannot save 'FILE': REASON".
std::string SaveFailureLine(const std::string& path, const std::string& reason);

// A message key followed by what it means for the device test of
// `direction`, on the same line; any other text is returned unchanged.
std::string ExplainMessage(const std::string& text, WaveDirection direction);
