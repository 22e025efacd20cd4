// SPDX-License-Identifier: GPL-3.0-or-later
// The --json document of a --loopback run: the devices and format, the
// outcome, every figure measured (null where a figure does not exist, with
// a member "<name>Reason" saying why), the checks, the plot, the exit status.
#pragma once

#include <string>

#include "measure/loopback/LoopbackResult.h"

// The whole document, ended by a line feed.
std::string LoopbackJson(const CLoopbackRun& run, int exitStatus);
