// SPDX-License-Identifier: GPL-3.0-or-later
// The hermetic ALSA configuration of the ALSA tests: only its devices exist.
// `file` devices over `null` move exact bytes; the rest are served by the
// test plugin (alsa/pcm_tallowtest.c): "paced" (listed; real time, no 8-bit,
// busy when open twice), and, opened by name, "unplugged" (disconnected
// 30 ms after it starts), "suspending" (suspended once after 50 ms),
// "sticky" (its delay never falls below 150 frames until drained) and
// "stalling" (stops delivering after 100 ms for 800 ms: an overrun) and
// "servergone" (an xrun 30 ms after it starts that every mend brings back).
#pragma once

#include <filesystem>

namespace alsatest {

// Writes the configuration into a directory of this process (CTest runs
// the cases side by side) and points ALSA_CONFIG_PATH at it. Idempotent.
const std::filesystem::path& Install();
// Removes the directory again.
void Remove();

std::filesystem::path InFile();  // what "testcap" records
std::filesystem::path OutFile(); // what "testplay" played, once closed

} // namespace alsatest
