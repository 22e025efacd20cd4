// SPDX-License-Identifier: GPL-3.0-or-later
// The running system on Windows: the platform's own version record,
// classified by the table every Windows release answers to, and for the
// systems after the table the release the system really runs.
#include "sequence/OsVersion.h"

#include <windows.h>

std::optional<OsVersionRecord> QueryOsVersionRecord()
{
    OSVERSIONINFOA info{};
    static_assert(sizeof info == 148);
    info.dwOSVersionInfoSize = sizeof info;
    // A failed call leaves the record empty, which classifies as Windows 95;
    // the classification does not ask more of it.
    GetVersionExA(&info);
    return OsVersionRecord{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

std::optional<WindowsRelease> QueryWindowsRelease()
{
    // RtlGetVersion answers with the true release whatever the manifest
    // declares; ntdll is in every process, so it is only looked up.
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return std::nullopt;
    auto call = reinterpret_cast<RtlGetVersionCall>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (call == nullptr || call(&info) != 0)
        return std::nullopt;
    return WindowsRelease{info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                          info.wProductType != VER_NT_WORKSTATION};
}

std::string OperatingSystemLine()
{
    if (std::optional<WindowsRelease> release = QueryWindowsRelease())
        if (std::optional<std::string> line = LaterWindowsLine(*release))
            return *line;
    return OsVersionLine(ClassifyOsVersion(QueryOsVersionRecord().value_or(OsVersionRecord{})));
}
