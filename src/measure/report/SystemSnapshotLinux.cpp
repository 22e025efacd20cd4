// SPDX-License-Identifier: GPL-3.0-or-later
// The snapshot on Linux: /proc/asound, alsa-lib's own version, and the
// sound servers asked through their own command-line clients (pw-cli,
// pactl) only when their socket shows that they run, so no query starts a
// server of its own.
#include "measure/report/SystemSnapshot.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>

#include "sequence/OsVersion.h"

extern char** environ;

namespace {

constexpr int QueryMilliseconds = 2000;
constexpr std::size_t MostOutputBytes = 1 << 20;

std::optional<std::string> ReadWholeFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsSocket(const std::string& path)
{
    struct stat info{};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Reads the child's output until it closes it or the time is up.
void ReadUntilClosed(int fd, std::string& out, bool& timedOut)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(QueryMilliseconds);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                 std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            return;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        if (out.size() < MostOutputBytes)
            out.append(buffer, static_cast<std::size_t>(n));
    }
}

// Runs a program found on PATH with standard input and error on /dev/null;
// its standard output when it exits with status 0 within the time given,
// else none and `why` says what happened.
std::optional<std::string> CommandOutput(const std::vector<std::string>& command, std::string& why)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        why = "no pipe";
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        why = command[0] + " is not installed";
        return std::nullopt;
    }
    std::string out;
    bool timedOut = false;
    ReadUntilClosed(pipeFds[0], out, timedOut);
    ::close(pipeFds[0]);
    if (timedOut)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        why = command[0] + " did not answer within 2 s";
        return std::nullopt;
    }
    if (!WIFEXITED(status) && WIFSIGNALED(status)) {
        why = command[0] + " ended by signal " + std::to_string(WTERMSIG(status));
        return std::nullopt;
    }
    if (WEXITSTATUS(status) == 127) {
        why = command[0] + " is not installed";
        return std::nullopt;
    }
    if (WEXITSTATUS(status) != 0) {
        why = command[0] + " failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        return std::nullopt;
    }
    return out;
}

std::string PipeWireSocket()
{
    std::string name = Environment("PIPEWIRE_REMOTE");
    if (name.empty())
        name = "pipewire-0";
    if (name.front() == '/')
        return name;
    for (const char* variable : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR"})
        if (std::string dir = Environment(variable); !dir.empty())
            return dir + "/" + name;
    return {};
}

std::string PulseSocket()
{
    if (std::string server = Environment("PULSE_SERVER"); server.rfind("unix:", 0) == 0)
        return server.substr(5);
    if (std::string dir = Environment("PULSE_RUNTIME_PATH"); !dir.empty())
        return dir + "/native";
    if (std::string dir = Environment("XDG_RUNTIME_DIR"); !dir.empty())
        return dir + "/pulse/native";
    return {};
}

void AskPipeWire(SystemSnapshot& s)
{
    if (!IsSocket(PipeWireSocket()))
        return;
    SoundServer server{"PipeWire", "", "pw-cli info 0", ""};
    std::string why;
    if (std::optional<std::string> info = CommandOutput({"pw-cli", "info", "0"}, why)) {
        server.version = PipeWireCoreVersion(*info);
        if (server.version.empty())
            server.note = "pw-cli info 0 gave no version";
    } else {
        server.note = "its socket is there, but " + why;
    }
    s.servers.push_back(server);
}

void AskPulseAudio(SystemSnapshot& s)
{
    if (!IsSocket(PulseSocket()))
        return;
    SoundServer server{"PulseAudio protocol server", "", "pactl info", ""};
    std::string why;
    if (std::optional<std::string> info = CommandOutput({"pactl", "info"}, why)) {
        const PulseInfo pulse = ParsePulseInfo(*info);
        if (!pulse.serverName.empty())
            server.name = pulse.serverName;
        server.version = pulse.serverVersion;
        if (server.version.empty())
            server.note = "pactl info gave no version";
    } else {
        server.note = "its socket is there, but " + why;
    }
    s.servers.push_back(server);
}

std::string FirstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find('\n'));
    return line;
}

} // namespace

std::string UtcNowText()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char text[64];
    if (::gmtime_r(&now, &utc) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc) == 0)
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
    s.alsaLibrary = std::string("alsa-lib ") + snd_asoundlib_version();
    if (std::optional<std::string> version = ReadWholeFile("/proc/asound/version"))
        s.alsaDriver = FirstLine(*version);
    else
        s.alsaDriver = "not found (/proc/asound/version cannot be read: no ALSA driver loaded?)";
    if (std::optional<std::string> cards = ReadWholeFile("/proc/asound/cards"))
        s.cards = *cards;
    else
        s.cards = "not found (/proc/asound/cards cannot be read)";
    AskPipeWire(s);
    AskPulseAudio(s);
    if (s.servers.empty())
        s.serversNote = "not found (no PipeWire or PulseAudio socket in this session)";
    s.date = UtcNowText();
    return s;
}
