// SPDX-License-Identifier: GPL-3.0-or-later
// --soak's flags: the duration (--soak DURATION), the mode (--soak-mode),
// the event log (--log FILE) and the limits a script sets (--max-xruns,
// --max-glitches, --max-drift-ppm, --max-latency-wander). The format flags
// (--channels, --rate, --bits, --valid-bits, --api), --input, --output,
// --json and --plot apply too.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "measure/soak/SoakRequest.h"

struct CCliOptions;

struct CSoakOptions {
    bool wanted = false;       // --soak
    std::string firstFlag;     // the first soak flag given, for the error without --soak
    double durationSeconds = 0; // 0: until Esc or Ctrl-C
    SoakMode mode = SoakMode::FullDuplex;
    std::optional<std::string> logPath;
    SoakLimits limits;
};

// "90", "90s", "10m", "8h", "1.5h": seconds, or with a unit; 0 for until
// cancelled. Nothing for anything else, a negative value or more than
// 10000000 s.
std::optional<double> ParseSoakDuration(const std::string& text);

// Takes a soak flag (value inline or next in `arguments`, advancing `i`).
// 1: taken; 0: not one of them; -1: a usage error in `error`.
int ParseSoakFlag(const std::string& flag, const std::optional<std::string>& inlineValue,
                  const std::vector<std::string>& arguments, std::size_t& i, CSoakOptions& options,
                  std::string& error);

// The whole command line's check: soak flags without --soak, and flags that
// do not apply to it (the test's, the analysis's, --loopback, --formats,
// --timeout), are usage errors; so is a format the soak cannot stream. True
// when fine, else false with `error`.
bool CheckSoakCommandLine(const CCliOptions& options, std::string& error);

// The format the flags ask for (the test's defaults: 1 channel, 44100 Hz,
// 16 bits); false with `error` naming the flag for one out of range.
bool ResolveSoakFormat(const CCliOptions& options, SoakFormat& format, std::string& error);

std::string SoakUsageText();
