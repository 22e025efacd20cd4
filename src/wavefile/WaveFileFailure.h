// SPDX-License-Identifier: GPL-3.0-or-later
// Why the last wave-file operation on this thread failed, beyond the 0 or
// the message box: whether the file was absent or broken, which call failed
// and the system's words for it. The dialogs never show it; the command
// line prints it on standard error and in JSON, and tests and fuzzers read it.
#pragma once

#include <string>

enum class WaveFileReason {
    None,         // nothing failed since the last Clear
    NotFound,     // the file or its directory does not exist
    AccessDenied, // permissions or a read-only file system
    NoSpace,      // the file system or a quota is full
    IoError,      // a read, write, sync or close failed otherwise
    NotRegular,   // a FIFO, device or directory where a file was needed
    Truncated,    // the file ends inside a chunk that it states
    NotWave,      // not a RIFF WAVE file, or a format this code cannot read
    OutOfMemory,  // the sample block could not be had
};

struct WaveFileFailure {
    WaveFileReason reason = WaveFileReason::None;
    std::string operation; // the failing call or step ("write", "rename", "fmt chunk")
    std::string path;      // the file it concerned
    int error = 0;         // errno where a system call failed, else 0
    std::string detail;    // what the error alone does not say (the rule that refused it)
};

// The last failure recorded on this thread, and its forgetting.
const WaveFileFailure& LastWaveFileFailure();
void ClearWaveFileFailure();
// Records a failure; later failures replace earlier ones.
void RecordWaveFileFailure(WaveFileReason reason, std::string operation, std::string path, int error = 0,
                           std::string detail = {});

// One line for a user: "write 'take.wav': No space left on device", with
// ": " and the detail after it where there is one; empty when nothing failed.
std::string DescribeWaveFileFailure(const WaveFileFailure& failure);
