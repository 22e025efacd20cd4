// SPDX-License-Identifier: GPL-3.0-or-later
// The lines tallowmere-cli adds on standard error beyond the dialogs' own
// texts: what the back end knows of a device after its test, why a save
// failed, and what a bare message key means on a terminal.
#pragma once

#include <string>
#include <vector>

#include "audio/WaveApi.h"
#include "sequence/TestParameters.h"

// For one device test ("capture" or "playback"), in this order and each only
// when it applies:
//   "tallowmere: capture 'hw:1,0' was lost: snd_pcm_readi: No such device"
//   "tallowmere: capture 'hw:1,0': snd_pcm_hw_params_set_rate: Invalid argument"
//     (only when `stepFailed` and the device was not lost)
//   "tallowmere: capture 'hw:1,0': 2 xruns recovered, 1024 frames lost"
// The device is named by the host's name, else by `listName`.
std::vector<std::string> HostDetailLines(const char* role, const std::string& listName, const WaveHostDetail& detail,
                                         bool stepFailed);

// For a device whose answers are not the card's (AudioEngineAnswerNote):
//   "tallowmere: capture 'WinMM: In: default': its answers are the Windows
//    audio engine's, which converts formats, not the card's; the WASAPI
//    device asks the driver" (one line); "" for any other device.
std::string AudioEngineNoteLine(const char* role, const std::string& deviceName);

// "tallowmere: cannot save 'FILE': REASON".
std::string SaveFailureLine(const std::string& path, const std::string& reason);

// A message key followed by what it means and what to check, on the same
// line: the sound-card key for the device test of `direction`, and the
// wave file's keys; any other text is returned unchanged.
std::string ExplainMessage(const std::string& text, WaveDirection direction);

// Why a test had no recording buffer, for parameters whose buffer could not
// be had: "tallowmere: no recording buffer: 1 s of 1 channel of 2 bytes at
// 2147483647 Hz needs 4294967294 bytes, more than a test records
// (2147483647); lower --rate, --channels, --bits or --duration", or, for a
// size that fits, that the memory could not be had.
std::string NoRecordBufferLine(const TestParameters& parameters);

// What the dialog makes of a --duration it repairs, or "" when it takes it
// as given: "tallowmere: --duration 0: the test records 1 to 100 seconds;
// using 4, the default" (0), "...; using 100" (above 100).
std::string DurationRepairLine(const std::string& durationText, int effectiveSeconds);
