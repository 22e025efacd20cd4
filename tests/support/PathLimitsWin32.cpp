// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "support/PathLimits.h"

std::size_t LongestPath()
{
    // The ANSI file calls take MAX_PATH characters with the NUL; only the
    // "\\?\" form, which the program does not use, goes further.
    return MAX_PATH - 1;
}
