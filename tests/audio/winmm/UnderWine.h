// SPDX-License-Identifier: GPL-3.0-or-later
// Whether this Windows program runs under Wine rather than on Windows. Kept
// apart from the wave API's headers, whose names windows.h takes as macros.
#pragma once

bool UnderWine();
