// SPDX-License-Identifier: GPL-3.0-or-later
// A document (the HTML report, an SVG picture) written as a whole: into a
// new file beside its target, synced, given the replaced file's permissions
// and moved over the target in one step, so a reader never meets half a
// report and a failure leaves what was there. A character device (/dev/null,
// /dev/stdout) is written in place. Through the wave files' file-system seam
// (wavefile/FileSystem.h), so it works alike on every platform and in tests.
#pragma once

#include <string>

// True when written. Otherwise false and `error` is "cannot write 'PATH':
// WHY" with the system's words (or the rule that refused a link), and no
// temporary file is left.
bool SaveTextFile(const std::string& path, const std::string& bytes, std::string& error);
