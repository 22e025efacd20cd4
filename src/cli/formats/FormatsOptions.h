// SPDX-License-Identifier: GPL-3.0-or-later
// --formats' flags: the level (--level), every listed device
// (--all-devices), the formats a script requires (--expect-formats) and the
// rates --rate adds to the matrix's own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "measure/formats/FormatMatrix.h"

struct CCliOptions;

// A format a script requires: RATE/VALID/CHANNELS[/CONTAINER], as in
// "48000/24/2" (any container with 24 valid bits) or "48000/24/2/32".
struct ExpectedFormat {
    std::uint32_t sampleRate = 0;
    std::uint16_t validBits = 0;
    std::uint16_t channels = 0;
    std::uint16_t containerBits = 0; // 0: any
    std::string text;                // as given, for the message
};

struct CFormatsOptions {
    bool wanted = false;   // --formats
    std::string firstFlag; // the first formats flag given, for the error without --formats
    FormatLevel level = FormatLevel::Accepts;
    bool allDevices = false;
    std::vector<ExpectedFormat> expected;
};

// Takes a formats flag (value inline or next in `arguments`, advancing
// `i`). 1: taken; 0: not one of them; -1: a usage error in `error`.
int ParseFormatsFlag(const std::string& flag, const std::optional<std::string>& inlineValue,
                     const std::vector<std::string>& arguments, std::size_t& i, CFormatsOptions& options,
                     std::string& error);

// The whole command line's check: formats flags without --formats, flags
// that do not apply to it, --all-devices with the transparent level (a loop
// needs one output wired to one input), and a rate outside 1000..384000 Hz
// are usage errors. True when fine, else false with `error`.
bool CheckFormatsCommandLine(const CCliOptions& options, std::string& error);

// The rates to try: the matrix's own, then --rate's and the expected
// formats' when they are not among them.
std::vector<std::uint32_t> FormatsRates(const CCliOptions& options);
// The widths to try: the matrix's own, and an expected container/valid
// pair that is not among them.
std::vector<FormatWidth> FormatsWidths(const CFormatsOptions& options);

// Whether the matrix meets one expected format at its level: some width
// with those valid bits (and that container, if given), in either
// description, is accepted (accepts), delivered by every device
// (delivers), or comes back bit for bit (transparent).
bool MeetsExpectedFormat(const FormatMatrixResult& result, const ExpectedFormat& expected);

std::string FormatsUsageText();
