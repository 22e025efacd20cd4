// SPDX-License-Identifier: GPL-3.0-or-later
// Runs tallowmere-cli as a child process with pipes for its output, as a
// script would; its --json result is read back with support/JsonReader.h.
#pragma once

#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/JsonReader.h"

struct ProcessResult {
    int status = -1; // the exit status; 128 + n when killed by signal n
    std::string out;
    std::string err;
};

// Environment entries are added to (or replace in) the test's own. A
// non-empty `interruptOnError` sends SIGINT to the child once its standard
// error holds that text. A child still running after five minutes is killed
// and the test fails, rather than the suite hanging.
ProcessResult RunProgram(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment,
                         const std::string& interruptOnError = "");

// More control over a run: a command the program is started through
// (prlimit, unshare ...; the program and its arguments follow it), and a
// signal sent once, when standard error holds a text or a condition polled
// every few milliseconds holds.
struct ProcessControl {
    std::vector<std::string> launcher;
    std::string signalOnError;
    // Given the child's process id.
    std::function<bool(int pid)> signalWhen;
    int signal = SIGINT;
    // Set when the signal was sent.
    bool* signalled = nullptr;
};
ProcessResult RunProgram(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, const ProcessControl& control);

// A fresh directory for the running test's files under the build tree,
// named after the test and the process, removed with everything in it.
class CRunDirectory {
public:
    CRunDirectory();
    ~CRunDirectory();
    CRunDirectory(const CRunDirectory&) = delete;
    CRunDirectory& operator=(const CRunDirectory&) = delete;
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
};

// In a child before exec: the signals the program handles back to their
// defaults, as a user's shell gives them, even when the test itself was
// started with some ignored (a background job).
void ResetSignalsForChild();

// Standard output of a shell command (for soxi).
std::string CommandOutput(const std::string& command);
