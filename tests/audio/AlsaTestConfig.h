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
//
// The format matrix's known truths, listed only when asked for:
// "narrow" states a capability set (NarrowRates, S16_LE and S24_3LE, two
// channels); "narrowloop" is a cable with a capability set of its own
// (NarrowLoopRates, S16_LE and S32_LE, one or two channels); "server" is a
// cable through a sound server at ServerRate with ServerBits of precision
// (every format opens; other rates are resampled, wider samples cut);
// "dither" a cable that adds dither of one step and keeps every bit else.
#pragma once

#include <array>
#include <filesystem>

namespace alsatest {

constexpr unsigned LoopDelayFrames = 720;
constexpr std::array<unsigned, 3> NarrowRates = {44100, 48000, 96000};
constexpr std::array<unsigned, 2> NarrowLoopRates = {48000, 96000};
constexpr unsigned ServerRate = 48000;
constexpr unsigned ServerBits = 16;

// Writes the configuration into a directory of this process (CTest runs
// the cases side by side) and points ALSA_CONFIG_PATH at it. With
// `listFormatDevices` the matrix's devices are listed (described) as well,
// after the others; the first call of a process decides. Idempotent.
const std::filesystem::path& Install(bool listFormatDevices = false);
// Removes the directory again.
void Remove();

std::filesystem::path InFile();  // what "testcap" records
std::filesystem::path OutFile(); // what "testplay" played, once closed

} // namespace alsatest
