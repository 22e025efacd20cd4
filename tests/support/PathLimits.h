// SPDX-License-Identifier: GPL-3.0-or-later
// How long a path the platform's file calls take, for tests whose expectation
// depends on it (one definition per platform: PathLimitsLinux.cpp,
// PathLimitsWin32.cpp).
#pragma once

#include <cstddef>

// The most characters a whole path may have and still name a file; a longer
// one is refused by the platform before any file system sees it.
std::size_t LongestPath();
