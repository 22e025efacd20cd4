// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's answer to the signals that end it from outside
// (SIGTERM, SIGHUP, SIGINT): the temporary files of a save in progress are
// removed first, then the signal takes its default course, so the process
// still ends as killed by that signal.
#pragma once

// Installs the handlers. A signal that is ignored when the program starts
// (as under nohup) stays ignored. Returns false when a handler could not be
// installed (the others are kept); the program then runs without it.
bool RemoveTemporaryFilesOnTermination();
