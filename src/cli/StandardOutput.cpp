// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StandardOutput.h"

#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "cli/AnalysisCommand.h"
#include "cli/CliOutcome.h"

void HoldClosedStandardStreams()
{
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // open gives the lowest free descriptor: this one.
        int held = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (held >= 0 && held != fd)
            ::close(held);
    }
#endif
}

namespace {

// Why the descriptor refuses writes, asked again after the stream forgot
// (stdio keeps no errno): a write of nothing still meets a closed or
// read-only descriptor and a full device. 0 when it tells nothing.
int WriteRefusal([[maybe_unused]] int fd)
{
#ifndef _WIN32
    if (fd >= 0 && ::write(fd, "", 0) < 0)
        return errno;
#endif
    return 0;
}

} // namespace

int CloseStandardOutput(std::FILE* out)
{
    const int fd = fileno(out);
    const bool failedBefore = std::ferror(out) != 0;
    const int refusal = failedBefore ? WriteRefusal(fd) : 0;
    errno = 0;
    const bool flushed = std::fflush(out) == 0;
    int error = flushed ? 0 : errno;
    errno = 0;
    const bool closed = std::fclose(out) == 0;
    if (!closed && error == 0)
        error = errno;
    if (failedBefore && error == 0)
        error = refusal;
    if (failedBefore || !flushed)
        return error != 0 ? error : -1;
    // Nothing was waiting to be written: a descriptor closed from the start
    // lost nothing.
    if (!closed && error != EBADF)
        return error != 0 ? error : -1;
    return 0;
}

int FinishStandardOutput(int status, std::FILE* out, std::FILE* err)
{
    int error = CloseStandardOutput(out);
    if (error == 0)
        return status;
    if (error > 0)
        std::fprintf(err, "tallowmere: write error on standard output: %s\n", std::strerror(error));
    else
        std::fputs("tallowmere: write error on standard output\n", err);
    std::fflush(err);
    return status == ExitCompleted || status == ExitSignalCheckFailed ? ExitDeviceFailed : status;
}
