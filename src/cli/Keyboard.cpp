#include "cli/Keyboard.h"

#include <poll.h>
#include <unistd.h>

namespace {

// For the signal handler: the terminal to put back, and how.
int rawFd = -1;
termios rawSaved{};

constexpr unsigned char Escape = 27;

} // namespace

bool IsForegroundTerminal(int fd)
{
    return isatty(fd) == 1 && tcgetpgrp(fd) == getpgrp();
}

CKeyboard::CKeyboard(int fd, bool useIt) : fd(fd), active(useIt && fd >= 0)
{
    if (!active || !isatty(fd) || tcgetattr(fd, &saved) != 0)
        return;
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &raw) == 0) {
        rawMode = true;
        rawSaved = saved;
        rawFd = fd;
    }
}

CKeyboard::~CKeyboard()
{
    if (rawMode) {
        tcsetattr(fd, TCSANOW, &saved);
        rawFd = -1;
    }
}

void CKeyboard::RestoreFromSignal()
{
    if (rawFd >= 0)
        tcsetattr(rawFd, TCSANOW, &rawSaved);
}

std::optional<std::uint32_t> CKeyboard::TakeKey()
{
    if (keys.empty())
        ReadAvailable(0);
    if (keys.empty())
        return std::nullopt;
    std::uint32_t key = keys.front();
    keys.pop_front();
    return key;
}

std::optional<std::uint32_t> CKeyboard::WaitKey(int milliseconds)
{
    if (keys.empty())
        ReadAvailable(milliseconds);
    return TakeKey();
}

void CKeyboard::Discard()
{
    // Everything waiting, however much a held-down key has piled up.
    while (ReadAvailable(0)) {
    }
    keys.clear();
}

bool CKeyboard::ReadAvailable(int waitMilliseconds)
{
    if (!active)
        return false;
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, waitMilliseconds) <= 0 || !(waiting.revents & (POLLIN | POLLHUP)))
        return false;
    unsigned char bytes[64];
    ssize_t count = read(fd, bytes, sizeof bytes);
    if (count <= 0) {
        // End of input (a closed pipe): nothing more will come.
        if (count == 0)
            active = false;
        return false;
    }
    Decode(bytes, static_cast<std::size_t>(count));
    return true;
}

// A lone Esc is the Esc key; Esc followed at once by '[' or 'O' starts the
// sequence of another key (arrows, function keys), which must not cancel.
void CKeyboard::Decode(const unsigned char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] != Escape || i + 1 >= count || (bytes[i + 1] != '[' && bytes[i + 1] != 'O')) {
            keys.push_back(bytes[i]);
            continue;
        }
        i += 2;
        // Parameters and intermediates run up to a final byte from '@' to '~'.
        while (i < count && (bytes[i] < '@' || bytes[i] > '~'))
            ++i;
        keys.push_back(KeyOther);
    }
}
