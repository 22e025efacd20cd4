// SPDX-License-Identifier: GPL-3.0-or-later
// The names of temporary files this process has made and not yet removed or
// put under their final name, kept so that a signal handler can remove them
// before the process dies.
#pragma once

#include <string>

// Adds and forgets a name (not async-signal-safe; call from normal code).
void RegisterTemporaryFile(const std::string& path);
void ForgetTemporaryFile(const std::string& path);

// Removes every registered file. Async-signal-safe: for handlers of SIGTERM,
// SIGHUP, SIGINT and the like, which then end the process.
void RemoveTemporaryFilesNow() noexcept;
