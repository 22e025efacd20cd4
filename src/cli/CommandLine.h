// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of tallowmere-cli: which controls of the main dialog to
// fill and how to answer for the user once the test has run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/AnalysisCommand.h"
#include "cli/formats/FormatsOptions.h"
#include "cli/loopback/LoopbackOptions.h"
#include "cli/soak/SoakOptions.h"

enum class CliAction { Run, List, Help, Version };
enum class ToneAnswer { Yes, No, Ask };

struct CCliOptions {
    CliAction action = CliAction::Run;

    // Texts typed into the edits, as given (already checked to be numbers).
    std::optional<std::string> channels;
    std::optional<std::string> sampleRate;
    std::optional<std::string> precisionBits;
    std::optional<std::string> validBits;
    std::optional<std::string> duration;
    // A list position (all digits) or a device name.
    std::optional<std::string> inputDevice;
    std::optional<std::string> outputDevice;
    // 0 Standard, 1 Extended: the position in the API mode box.
    std::optional<int> apiMode;

    // Milliseconds; nothing: three times the duration plus 10 s; 0: none.
    std::optional<long long> timeoutMilliseconds;
    // Nothing: ask on a terminal, otherwise No.
    std::optional<ToneAnswer> tone;
    std::optional<std::string> savePath;
    bool crlf = false;
    bool json = false;
    // --report FILE.html: the shareable report of whatever ran.
    std::optional<std::string> reportPath;
    // The command line as given, for the report ("tallowmere-cli --analyze ...").
    std::string commandLine;
    // --analyze, --analyze-file, the signal checks and --plot.
    CAnalysisOptions analysis;
    // --loopback and its own flags.
    CLoopbackOptions loopback;
    // --formats and its own flags.
    CFormatsOptions formats;
    // --soak and its own flags.
    CSoakOptions soak;
};

struct CCliParseResult {
    bool ok = true;
    CCliOptions options;
    // Why the command line was refused, naming the flag.
    std::string error;
};

CCliParseResult ParseCommandLine(const std::vector<std::string>& arguments);

// The duration the dialog will use for a duration text: 0 or below becomes 4,
// above 100 becomes 100; no text means the dialog's default of 4.
int EffectiveDurationSeconds(const std::optional<std::string>& durationText);

// The time-out in milliseconds for a run (0 for none).
long long EffectiveTimeoutMilliseconds(const CCliOptions& options);

std::string UsageText();
