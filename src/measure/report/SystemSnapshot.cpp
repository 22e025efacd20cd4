// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the snapshot every platform shares; the platform's own
// queries are in SystemSnapshotLinux.cpp and SystemSnapshotWin32.cpp.
#include "measure/report/SystemSnapshot.h"


namespace {

// The value after `key` on the first line that starts with it (after
// leading blanks), quotes and blanks stripped.
std::string ValueAfter(std::string_view text, std::string_view key)
{
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        const std::size_t first = line.find_first_not_of(" \t*");
        if (first != std::string_view::npos && line.substr(first, key.size()) == key) {
            std::string_view value = line.substr(first + key.size());
            const std::size_t from = value.find_first_not_of(" \t\"");
            const std::size_t to = value.find_last_not_of(" \t\"\r");
            return from == std::string_view::npos ? std::string() : std::string(value.substr(from, to - from + 1));
        }
        at = end + 1;
    }
    return {};
}

} // namespace

std::string PipeWireCoreVersion(std::string_view pwCliInfo)
{
    return ValueAfter(pwCliInfo, "version:");
}

PulseInfo ParsePulseInfo(std::string_view pactlInfo)
{
    return {ValueAfter(pactlInfo, "Server Name:"), ValueAfter(pactlInfo, "Server Version:")};
}

std::string BuildDescription()
{
    std::string compiler;
#if defined(__clang__)
    compiler = "clang " __clang_version__;
#elif defined(__GNUC__)
    compiler = "GCC " __VERSION__;
#else
    compiler = "an unknown compiler";
#endif
#if defined(__x86_64__) || defined(_M_X64)
    const char* machine = "x86-64";
#elif defined(__i386__) || defined(_M_IX86)
    const char* machine = "x86 (32-bit)";
#elif defined(__aarch64__)
    const char* machine = "ARM64";
#else
    const char* machine = "another architecture";
#endif
#ifdef _WIN32
    const char* platform = "Windows";
#else
    const char* platform = "Linux";
#endif
#ifdef NDEBUG
    const char* kind = "optimised";
#else
    const char* kind = "with assertions";
#endif
    return std::string(platform) + " build for " + machine + ", " + compiler + ", " + kind;
}
