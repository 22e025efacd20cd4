// SPDX-License-Identifier: GPL-3.0-or-later
// The operating system as the report's first line names it: the classic
// classification of a Windows version record, and, where the running system
// keeps no such record, its own name in the same form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class OsVersion : std::int32_t {
    Windows95 = 0,
    Windows98 = 1,
    WindowsMe = 2,
    WindowsNt4 = 3,
    Windows2000 = 4,
    WindowsXp = 5,
};

// The three numbers of a Windows version record that the classification reads.
struct OsVersionRecord {
    std::uint32_t platformId = 0;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
};

constexpr std::uint32_t PlatformWin32Windows = 1;
constexpr std::uint32_t PlatformWin32Nt = 2;

OsVersion ClassifyOsVersion(const OsVersionRecord& record);

// The running system's version record; none where the system has none.
std::optional<OsVersionRecord> QueryOsVersionRecord();

// Classifies the running system's record; a system without one classifies
// as an empty record would (Windows95), but the report does not use that.
OsVersion GetOsVersion();

// "Operating System:\t Windows XP" and its five siblings.
std::string OsVersionLine(OsVersion version);

// The release a Windows system really runs, as RtlGetVersion tells it: the
// classic record of a program without a manifest stops at 6.2 and names
// every later system after the table's last row.
struct WindowsRelease {
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    bool server = false;
};

// The line for a system past the table, in its form: "Operating System:\t
// Windows Vista", "... Windows 7", "8", "8.1", "10", "11" (10.0 from build
// 22000); a later NT release "Windows NT 12.0", a server edition "Windows
// Server (NT 6.1)". None for the table's own systems (before NT 6.0), which
// keep its words.
std::optional<std::string> LaterWindowsLine(const WindowsRelease& release);

// The running Windows system's release (Windows builds only; none when the
// call is missing or fails).
std::optional<WindowsRelease> QueryWindowsRelease();

// "Operating System:\t " + the distribution's name from os-release text
// (PRETTY_NAME, else NAME) + ", " + kernel name and release. Without a
// distribution name, only the kernel is named.
std::string RunningSystemLine(std::string_view osReleaseText, std::string_view kernelName,
                              std::string_view kernelRelease);

// The first line of the report on this machine, without its line end: on
// Windows the table's line, or LaterWindowsLine for a later system.
std::string OperatingSystemLine();
