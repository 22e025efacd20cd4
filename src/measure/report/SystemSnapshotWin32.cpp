// SPDX-License-Identifier: GPL-3.0-or-later
// The snapshot on Windows: the release as RtlGetVersion tells it (the
// report's own line), the build, the date. Windows has no ALSA and no
// sound server of the kinds asked on Linux; the devices used (WinMM
// endpoints) are filled by the front end.
#include "measure/report/SystemSnapshot.h"

#include <ctime>

#include "sequence/OsVersion.h"

std::string UtcNowText()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char text[64];
    if (gmtime_s(&utc, &now) != 0 || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc) == 0)
        return "unknown";
    return text;
}

SystemSnapshot TakeSystemSnapshot(std::string_view program)
{
    SystemSnapshot s;
    s.program = std::string(program);
    s.build = BuildDescription();
    const std::string line = OperatingSystemLine();
    const std::string prefix = "Operating System:\t ";
    s.system = line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line;
    if (std::optional<WindowsRelease> release = QueryWindowsRelease())
        s.system += " (NT " + std::to_string(release->majorVersion) + "." + std::to_string(release->minorVersion) +
                    ", build " + std::to_string(release->buildNumber) + ")";
    s.alsaLibrary = "not on Windows (the wave devices are WinMM's)";
    s.alsaDriver = "not on Windows";
    s.cards = "not on Windows";
    s.serversNote = "not asked on Windows (the audio engine serves every WinMM device)";
    s.date = UtcNowText();
    return s;
}
