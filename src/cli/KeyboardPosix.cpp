// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard on a POSIX terminal: termios without line input and echo,
// bytes read with poll and read.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "cli/Keyboard.h"

struct CKeyboard::SavedMode {
    termios mode{};
};

namespace {

// For the signal handler: the terminal to put back, and how.
int rawFd = -1;
termios rawSaved{};

} // namespace

bool IsForegroundTerminal(int fd)
{
    return isatty(fd) == 1 && tcgetpgrp(fd) == getpgrp();
}

CKeyboard::CKeyboard(int fd, bool useIt) : fd(fd), active(useIt && fd >= 0), saved(std::make_unique<SavedMode>())
{
    if (!active || !isatty(fd) || tcgetattr(fd, &saved->mode) != 0)
        return;
    termios raw = saved->mode;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &raw) == 0) {
        rawMode = true;
        rawSaved = saved->mode;
        rawFd = fd;
    }
}

CKeyboard::~CKeyboard()
{
    if (rawMode) {
        tcsetattr(fd, TCSANOW, &saved->mode);
        rawFd = -1;
    }
}

void CKeyboard::RestoreFromSignal()
{
    if (rawFd >= 0)
        tcsetattr(rawFd, TCSANOW, &rawSaved);
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
