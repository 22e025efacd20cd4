// SPDX-License-Identifier: GPL-3.0-or-later
// The results report: the words for the device result codes, the header that
// names the system and the parameters, and the section each device test
// appends. Every line ends with "\r\n", as the report is copied as text.
#pragma once

#include <cstdint>
#include <string>

#include "sequence/TestParameters.h"

// Marks a device operation that was not attempted.
constexpr std::uint16_t ResultNotTested = 0xFFFF;
// Worded when a start failed without handing out a code of its own.
constexpr std::uint16_t ResultUnspecifiedError = 1;

// The report's words for a code; only the low 16 bits count: 0 to 12 their
// own text (0 "Called sucessfully", 8 "Error - sampling format is not
// supported", ...), ResultNotTested "Not tested", anything else
// "Error - unknown error code". Never empty.
std::string ResultCodeText(std::uint32_t code);

// The two result codes of one device test, and what became of the start.
struct DeviceTestResults {
    std::uint16_t openResult = ResultNotTested;
    std::uint16_t queueResult = ResultNotTested;
    // The code Start or Restart handed out; ResultNotTested when not called.
    std::uint16_t startResult = ResultNotTested;
    bool startFailed = false;
    // The device test ran (it had a buffer) and wrote its report section.
    bool tested = false;
};

// The header: the operating-system line as given (without its line end),
// an empty line, the four parameter texts as typed and the API mode line
// (none for a mode other than Standard and Extended).
std::string ReportHeader(const std::string& osLine, const ParameterInputs& inputs);

enum class DeviceSectionKind { Input, Output };

// "\r\nInput Device:\t..." with the open line and the record (or playback)
// line: "Recording cancelled"/"Playback cancelled" when `cancelled`, the
// start's code when the start failed, else the queue's code.
std::string DeviceSection(DeviceSectionKind kind, const std::string& deviceName, const DeviceTestResults& results,
                          bool cancelled);
