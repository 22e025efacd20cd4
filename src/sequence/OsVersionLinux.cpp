// SPDX-License-Identifier: GPL-3.0-or-later
// The running system on Linux: no version record; the distribution and the
// kernel name themselves.
#include "sequence/OsVersion.h"

#include <sys/utsname.h>

#include <fstream>
#include <sstream>

namespace {

std::string ReadWholeFile(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

} // namespace

std::optional<OsVersionRecord> QueryOsVersionRecord()
{
    // Only Windows keeps a version record of this kind.
    return std::nullopt;
}

std::string OperatingSystemLine()
{
    if (auto record = QueryOsVersionRecord())
        return OsVersionLine(ClassifyOsVersion(*record));
    std::string osRelease = ReadWholeFile("/etc/os-release");
    if (osRelease.empty())
        osRelease = ReadWholeFile("/usr/lib/os-release");
    utsname names{};
    if (uname(&names) != 0)
        return RunningSystemLine(osRelease, "", "");
    return RunningSystemLine(osRelease, names.sysname, names.release);
}
