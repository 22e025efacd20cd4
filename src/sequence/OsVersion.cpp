// SPDX-License-Identifier: GPL-3.0-or-later
#include "sequence/OsVersion.h"

#include <array>

namespace {

constexpr std::string_view OsLabel = "Operating System:\t ";

// Value of KEY=value in os-release text: quotes removed, shell escapes undone.
std::string OsReleaseValue(std::string_view text, std::string_view key)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=')
            continue;
        std::string_view raw = line.substr(key.size() + 1);
        std::string value;
        char quote = 0;
        if (!raw.empty() && (raw.front() == '"' || raw.front() == '\'')) {
            quote = raw.front();
            raw.remove_prefix(1);
        }
        for (std::size_t i = 0; i < raw.size(); ++i) {
            char c = raw[i];
            if (quote && c == quote)
                break;
            if (quote == '"' && c == '\\' && i + 1 < raw.size()) {
                c = raw[++i];
            }
            // One report line: no control characters from the file.
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = ' ';
            value += c;
        }
        while (!value.empty() && value.back() == ' ')
            value.pop_back();
        return value;
    }
    return {};
}

} // namespace

OsVersion ClassifyOsVersion(const OsVersionRecord& record)
{
    if (record.platformId == PlatformWin32Windows) {
        if (record.majorVersion != 4)
            return OsVersion::Windows95;
        if (record.minorVersion == 10)
            return OsVersion::Windows98;
        if (record.minorVersion >= 90)
            return OsVersion::WindowsMe;
        return OsVersion::Windows95;
    }
    if (record.platformId == PlatformWin32Nt) {
        if (record.majorVersion == 4)
            return record.minorVersion == 0 ? OsVersion::WindowsNt4 : OsVersion::WindowsXp;
        if (record.majorVersion == 5)
            return record.minorVersion == 0 ? OsVersion::Windows2000 : OsVersion::WindowsXp;
        return OsVersion::WindowsXp;
    }
    return OsVersion::Windows95;
}

OsVersion GetOsVersion()
{
    return ClassifyOsVersion(QueryOsVersionRecord().value_or(OsVersionRecord{}));
}

std::string OsVersionLine(OsVersion version)
{
    static constexpr std::array<std::string_view, 6> names{"Windows 95", "Windows 98",   "Windows ME",
                                                           "Windows NT 4.0", "Windows 2000", "Windows XP"};
    auto index = static_cast<std::size_t>(version);
    std::string line(OsLabel);
    line += names[index < names.size() ? index : 0];
    return line;
}

std::optional<std::string> LaterWindowsLine(const WindowsRelease& release)
{
    constexpr std::uint32_t FirstWindows11Build = 22000;
    const std::uint32_t major = release.majorVersion;
    const std::uint32_t minor = release.minorVersion;
    if (major < 6)
        return std::nullopt;
    const std::string number = std::to_string(major) + "." + std::to_string(minor);
    std::string name;
    if (release.server)
        name = "Windows Server (NT " + number + ")";
    else if (major == 6 && minor <= 3)
        name = std::array<const char*, 4>{"Windows Vista", "Windows 7", "Windows 8", "Windows 8.1"}[minor];
    else if (major == 10 && minor == 0)
        name = release.buildNumber >= FirstWindows11Build ? "Windows 11" : "Windows 10";
    else
        name = "Windows NT " + number;
    return std::string(OsLabel) + name;
}

std::string RunningSystemLine(std::string_view osReleaseText, std::string_view kernelName,
                              std::string_view kernelRelease)
{
    std::string distribution = OsReleaseValue(osReleaseText, "PRETTY_NAME");
    if (distribution.empty())
        distribution = OsReleaseValue(osReleaseText, "NAME");
    std::string line(OsLabel);
    line.append(distribution);
    if (!distribution.empty() && !(kernelName.empty() && kernelRelease.empty()))
        line.append(", ");
    line.append(kernelName);
    if (!kernelName.empty() && !kernelRelease.empty())
        line.push_back(' ');
    line.append(kernelRelease);
    return line;
}
