// SPDX-License-Identifier: GPL-3.0-or-later
// What a soak is asked for: which devices stream, in which format, for how
// long, and the limits its result is held to. Filled by a front end (the
// command line from its flags, a window from its controls), read by the
// session and its checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class SoakMode {
    FullDuplex, // the output wired back to the input: the stimulus is predicted in every block
    RecordOnly, // the input alone: xruns, gaps of digital silence, level, its rate
    PlayOnly,   // the output alone: xruns, its rate
};

// A device as the front end chose it: its wave API number and its name.
struct SoakDevice {
    std::uint32_t id = 0;
    std::string name;
};

// The stream's format, as the test's: channels, rate, container bits, valid
// bits, and the description (Extended: the extensible one).
struct SoakFormat {
    int channels = 2;
    int sampleRate = 48000;
    int bits = 16;
    int validBits = 16;
    bool extended = false;
};

struct SoakLimits {
    std::optional<std::uint64_t> maxXruns{};       // --max-xruns N, both directions
    std::optional<std::uint64_t> maxGlitches{};    // --max-glitches N (glitches no xrun explains)
    std::optional<double> maxDriftPpm{};           // --max-drift-ppm X: |drift|
    std::optional<double> maxLatencyWanderMs{};    // --max-latency-wander MS: maximum less minimum

    bool Any() const { return maxXruns || maxGlitches || maxDriftPpm || maxLatencyWanderMs; }
};

struct SoakRequest {
    SoakMode mode = SoakMode::FullDuplex;
    SoakDevice input;  // unused in PlayOnly
    SoakDevice output; // unused in RecordOnly
    SoakFormat format;
    // Seconds to stream; 0 runs until cancelled.
    double durationSeconds = 0;
    // The length of one buffer slot (three per device, refilled as they come
    // back) and the poll step, in milliseconds. Two slots still queued give
    // the poll ample time to requeue the third; a slot's return is timed to
    // the poll step, and the ALSA back end hands slots back on its 20 ms
    // periods anyway. Each poll wakes the session: a finer step costs CPU.
    std::uint32_t blockMs = 100;
    std::uint32_t pollMs = 20;
    SoakLimits limits;
    std::optional<std::string> plotPath; // the timeline to draw: SVG for a name ending in .svg, else PNG
};
