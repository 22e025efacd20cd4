// SPDX-License-Identifier: GPL-3.0-or-later
// The hermetic ALSA configuration of the ALSA tests: only its devices exist.
// `file` devices over `null` move exact bytes; the rest are served by the
// test plugin (alsa/pcm_tallowtest.c): "paced" (listed; real time, no 8-bit,
// busy when open twice), and, opened by name, "unplugged" (disconnected
// 30 ms after it starts), "suspending" (suspended once after 50 ms),
// "sticky" (its delay never falls below 150 frames until drained) and
// "stalling" (stops delivering after 100 ms for 800 ms: an overrun) and
// "servergone" (an xrun 30 ms after it starts that every mend brings back).
// "loop" (listed, both directions) is a cable: what its playback plays, its
// capture records `LoopDelayFrames` later; "loopother" names the same cable
// with another delay, "loopfar" a delay too long, "loopnocable" a delay
// without a cable: all three refused at open.
#pragma once

#include <filesystem>

namespace alsatest {

constexpr unsigned LoopDelayFrames = 720;

// Writes the configuration into a directory of this process (CTest runs
// the cases side by side) and points ALSA_CONFIG_PATH at it. Idempotent.
const std::filesystem::path& Install();
// Removes the directory again.
void Remove();

std::filesystem::path InFile();  // what "testcap" records
std::filesystem::path OutFile(); // what "testplay" played, once closed

} // namespace alsatest
