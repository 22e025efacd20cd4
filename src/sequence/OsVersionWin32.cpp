// SPDX-License-Identifier: GPL-3.0-or-later
// The running system on Windows: the platform's own version record,
// classified by the table every Windows release answers to.
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

std::string OperatingSystemLine()
{
    return OsVersionLine(ClassifyOsVersion(QueryOsVersionRecord().value_or(OsVersionRecord{})));
}
