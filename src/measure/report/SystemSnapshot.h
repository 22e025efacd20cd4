// SPDX-License-Identifier: GPL-3.0-or-later
// The system a report was made on, as a reader of a bug report asks for it:
// the program and its build, the operating system and kernel, ALSA's
// library and driver versions and the cards the kernel lists, the sound
// servers running with their versions from their own queries, the devices
// used and the date. What cannot be learnt truly says "not found" and why;
// nothing is guessed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A sound server found running (its socket is there) and what its own query
// said: the name and version ("PipeWire", "1.0.5"), how they were learnt
// ("pw-cli info 0"), or, when the query failed, why not.
struct SoundServer {
    std::string name;
    std::string version;   // empty when not learnt
    std::string source;    // the query that told it
    std::string note;      // why the version is missing, or what else it said
};

// A device the measurement opened.
struct SnapshotDevice {
    std::string role;     // "capture", "playback"
    std::string name;     // as the lists show it
    std::string hostName; // the host's name ("hw:1,0"), empty when unknown
};

struct SystemSnapshot {
    std::string program;       // "tallowmere-cli 1.4.0"
    std::string build;         // compiler, architecture, platform
    std::string system;        // "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64"; a Windows release
    std::string alsaLibrary;   // the version of the alsa-lib linked, or why none
    std::string alsaDriver;    // /proc/asound/version's line, or "not found (...)"
    std::string cards;         // /proc/asound/cards as it is, or "not found (...)"
    std::vector<SoundServer> servers;
    std::string serversNote;   // when none was found: "not found (...)"
    std::vector<SnapshotDevice> devices; // filled by the front end
    std::string date;          // "2026-12-09 13:41:10 UTC"
};

// Looks at the running system now. `program` is the front end's name and
// version. Queries of sound servers are given two seconds each.
SystemSnapshot TakeSystemSnapshot(std::string_view program);

// The parsing of the servers' own answers, apart for tests: the "version"
// of `pw-cli info 0` (the core object, i.e. the server itself), and the
// server name and version of `pactl info`. Empty when absent.
std::string PipeWireCoreVersion(std::string_view pwCliInfo);
struct PulseInfo {
    std::string serverName;    // "pulseaudio", "PulseAudio (on PipeWire 1.0.5)"
    std::string serverVersion; // "16.1", "15.0.0"
};
PulseInfo ParsePulseInfo(std::string_view pactlInfo);

// The date and time now in UTC ("2026-12-09 13:41:10 UTC"; the platform's file).
std::string UtcNowText();

// How this program was built: platform, architecture, compiler, kind.
std::string BuildDescription();
