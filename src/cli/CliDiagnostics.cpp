// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliDiagnostics.h"

#include <cstring>

#include "audio/backends/CompositeWaveApi.h"

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

std::string AudioEngineNoteLine(const char* role, const std::string& deviceName)
{
    const std::string note = AudioEngineAnswerNote(deviceName);
    return note.empty() ? note : std::string("tallowmere: ") + role + " '" + deviceName + "': " + note;
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
    struct Meaning {
        const char* key;
        const char* meaning;
    };
    static const Meaning fileMeanings[] = {
        {"IDS_FILE_OPEN_FAIL", "the wave file could not be opened or created: check the name, that its folder "
                               "exists and that you may read it (or write there)"},
        {"IDS_INVALID_WAVE_FILE", "the file is not a RIFF WAVE file that can be read (a chunk is missing or the "
                                  "format is unreadable): check that it is a PCM WAVE file"},
        {"IDS_FAILURE_WRITING_WAVE_FILE", "the wave file could not be written whole: check the free space and "
                                          "that the medium is writable"},
        {"IDS_WAVE_DATA_MEMORY", "there was no memory for the samples: check the free memory, or use a shorter file"},
        {"IDS_FAILURE_DELETING_TEMP_FILE", "a temporary file could not be removed: check the temporary "
                                           "directory (TMPDIR, else /tmp) for one left behind"},
        {"IDS_CHECK_TEMP_VARIABLE", "a temporary file could not be written: check that the temporary directory "
                                    "(TMPDIR, else /tmp) exists, is writable and has space"},
    };
    for (const Meaning& entry : fileMeanings)
        if (text == entry.key)
            return text + ": " + entry.meaning;
    return text;
}

std::string NoRecordBufferLine(const TestParameters& p)
{
    const std::string line = "tallowmere: no recording buffer: ";
    if (IsBufferSizeUsable(p.bufferBytes))
        return line + "the memory for " + std::to_string(p.bufferBytes) + " bytes could not be had";
    std::string format = std::to_string(p.durationSeconds) + " s of " + std::to_string(p.channels) +
                         (p.channels == 1 ? " channel" : " channels") + " of " + std::to_string(p.bytesPerSample) +
                         (p.bytesPerSample == 1 ? " byte" : " bytes") + " at " + std::to_string(p.sampleRate) + " Hz";
    std::string size = p.bufferBytes < 0 ? std::string("more bytes than can be counted")
                                         : std::to_string(p.bufferBytes) + " bytes";
    return line + format + " needs " + size + ", more than a test records (" + std::to_string(MaxBufferBytes) +
           "); lower --rate, --channels, --bits or --duration";
}

std::string DurationRepairLine(const std::string& durationText, int effectiveSeconds)
{
    const std::size_t first = durationText.find_first_not_of('0');
    const std::string given = first == std::string::npos ? "0" : durationText.substr(first);
    if (given == std::to_string(effectiveSeconds))
        return {};
    const std::string line = "tallowmere: --duration " + durationText + ": the test records 1 to " +
                             std::to_string(MaxDurationSeconds) + " seconds; using " + std::to_string(effectiveSeconds);
    return effectiveSeconds == DefaultDurationSeconds && given == "0" ? line + ", the default" : line;
}
