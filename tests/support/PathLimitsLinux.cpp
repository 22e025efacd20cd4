// SPDX-License-Identifier: GPL-3.0-or-later
#include <climits>

#include "support/PathLimits.h"

std::size_t LongestPath()
{
    return PATH_MAX - 1; // PATH_MAX counts the terminating NUL
}
