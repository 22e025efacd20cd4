// SPDX-License-Identifier: GPL-3.0-or-later
// --loopback's flags: which measures to run (--measure) and the limits a
// script sets on them. The analysis flags --max-thdn, --expect-frequency,
// --frequency-tolerance, --max-dropouts and --plot apply too; they are
// parsed with the analysis and read from CAnalysisOptions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/loopback/Stimulus.h"
#include "measure/loopback/LoopbackRequest.h"

struct CCliOptions;

// Whether `flag` is one of --loopback's own; true for a switch in `isSwitch`.
inline bool IsLoopbackFlag(const std::string& flag, bool& isSwitch)
{
    static const char* const valued[] = {"--measure", "--max-latency", "--max-response-deviation",
                                         "--min-dynamic-range", "--max-noise-floor", "--max-crosstalk"};
    isSwitch = flag == "--loopback";
    if (isSwitch)
        return true;
    for (const char* v : valued)
        if (flag == v)
            return true;
    return false;
}

struct CLoopbackOptions {
    bool wanted = false;             // --loopback
    std::string firstFlag;           // the first loopback flag given, for the error without --loopback
    bool measureGiven = false;       // --measure was on the command line
    CLoopbackMeasureChoice measure;  // from --measure (all by default)
    CLoopbackLimits limits;
};

// Takes a loopback flag (value inline or next in `arguments`, advancing
// `i`). 1: taken; 0: not a loopback flag; -1: a usage error in `error`.
// Builds without the analysis refuse every one of them.
int ParseLoopbackFlag(const std::string& flag, const std::optional<std::string>& inlineValue,
                      const std::vector<std::string>& arguments, std::size_t& i, CLoopbackOptions& options,
                      std::string& error);

// False, with `error` naming the flag, for a channel count other than 1
// or 2, a width other than 8/16/24/32, valid bits outside 1..width, or a
// rate outside 8000..384000 Hz: what the measures cannot read.
bool ResolveLoopbackFormat(const CCliOptions& options, CLoopbackFormat& format, std::string& error);

// The whole command line's check once every flag is read: the loopback
// flags without --loopback, and flags that do not apply to it, are usage
// errors; so is crosstalk named for one channel, a channel count, width or
// rate the measures cannot use, and a limit whose measure is not chosen.
// True when fine, else false with `error`. Nothing to check without
// --loopback but the flags that need it.
bool CheckLoopbackCommandLine(const CCliOptions& options, std::string& error);

// The selection the command line asks for, on `channels` channels.
MeasureSelection LoopbackSelection(const CLoopbackOptions& options, int channels);

// The run's time-out in milliseconds: --timeout, else three times the
// capture's length plus 10 s, as the test's is three times its duration
// plus 10 s. 0: none.
long long LoopbackTimeoutMilliseconds(const CCliOptions& options, double captureSeconds);

// The --help lines for --loopback, or the note that this build has none.
std::string LoopbackUsageText();
