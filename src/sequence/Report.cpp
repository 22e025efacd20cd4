// SPDX-License-Identifier: GPL-3.0-or-later
#include "sequence/Report.h"

#include <array>

namespace {

constexpr const char* LineEnd = "\r\n";

constexpr std::array<const char*, 13> platformCodeTexts{
    "Called sucessfully",
    "Error - unspecified error",
    "Error - device ID is out of range",
    "Error - driver failed to enable",
    "Error - device already in use",
    "Error - device handle is invalid",
    "Error - no device driver present",
    "Error - memory allocation error",
    "Error - sampling format is not supported",
    "Error - error value is out of range",
    "Error - invalid flag passed",
    "Error - invalid parameter passed",
    "Error - device handle being used",
};

} // namespace

std::string ResultCodeText(std::uint32_t code)
{
    auto low = static_cast<std::uint16_t>(code & 0xFFFF);
    if (low < platformCodeTexts.size())
        return platformCodeTexts[low];
    if (low == ResultNotTested)
        return "Not tested";
    return "Error - unknown error code";
}

std::string ReportHeader(const std::string& osLine, const ParameterInputs& inputs)
{
    std::string text;
    text += osLine;
    text += LineEnd;
    text += LineEnd;
    text += "Channels:\t" + inputs.channelsText + LineEnd;
    text += "nSampling Rate:\t" + inputs.sampleRateText + LineEnd;
    text += "Bits Per Sample:\t" + inputs.precisionText + LineEnd;
    text += "Valid Bits:\t" + inputs.validBitsText + LineEnd;
    if (inputs.apiMode == static_cast<std::int32_t>(ApiMode::Standard))
        text += std::string("API Mode:\tStandard") + LineEnd;
    else if (inputs.apiMode == static_cast<std::int32_t>(ApiMode::Extended))
        text += std::string("API Mode:\tExtended") + LineEnd;
    return text;
}

std::string DeviceSection(DeviceSectionKind kind, const std::string& deviceName, const DeviceTestResults& results,
                          bool cancelled)
{
    const bool input = kind == DeviceSectionKind::Input;
    std::string text = LineEnd;
    text += (input ? "Input Device:\t" : "Output Device:\t") + deviceName + LineEnd;
    text += "   Open\t" + ResultCodeText(results.openResult) + LineEnd;
    text += input ? "   Record\t" : "   Playback\t";
    if (cancelled)
        text += input ? "Recording cancelled" : "Playback cancelled";
    else if (results.startFailed)
        // A start that failed words its own code, not the queue's success; a
        // failure that came without a code is an unspecified error.
        text += ResultCodeText(results.startResult == ResultNotTested || results.startResult == 0
                                   ? ResultUnspecifiedError
                                   : results.startResult);
    else
        text += ResultCodeText(results.queueResult);
    text += LineEnd;
    return text;
}
