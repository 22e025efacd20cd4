// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliDiagnostics.h"

#include <cstring>

namespace {

// "call: text", the call or the text alone, or the errno's words.
std::string HostError(const WaveHostDetail& detail)
{
    std::string text = detail.text;
    if (text.empty() && detail.error != 0)
        text = std::strerror(detail.error);
    if (detail.call.empty())
        return text;
    return text.empty() ? detail.call : detail.call + ": " + text;
}

} // namespace

std::vector<std::string> HostDetailLines(const char* role, const std::string& listName, const WaveHostDetail& detail,
                                         bool stepFailed)
{
    std::vector<std::string> lines;
    const std::string device =
        std::string("tallowmere: ") + role + " '" + (detail.deviceName.empty() ? listName : detail.deviceName) + "'";
    const std::string error = HostError(detail);
    if (detail.lost)
        lines.push_back(device + " was lost" + (error.empty() ? std::string() : ": " + error));
    else if (stepFailed && !error.empty())
        lines.push_back(device + ": " + error);
    if (detail.xruns > 0)
        lines.push_back(device + ": " + std::to_string(detail.xruns) + (detail.xruns == 1 ? " xrun" : " xruns") +
                        " recovered, " + std::to_string(detail.framesLost) + " frames lost");
    return lines;
}

std::string SaveFailureLine(const std::string& path, const std::string& reason)
{
    return "tallowmere: cannot save '" + path + "': " + reason;
}

std::string ExplainMessage(const std::string& text, WaveDirection direction)
{
    if (text == "IDS_NO_SOUND_CARD") {
        const char* kind = direction == WaveDirection::Input ? "input" : "output";
        return text + ": no " + kind + " device could be opened: is a sound server running? see --list";
    }
    return text;
}
