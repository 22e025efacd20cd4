// SPDX-License-Identifier: GPL-3.0-or-later
// The --json document of a run: the parameters, each device's codes in
// numbers and the report's words, the back end's detail (failing call,
// errno text, loss, xruns), the save's outcome and the report itself.
#pragma once

#include <string>

#include "cli/CliOutcome.h"

// The whole document, ended by a line feed. "savedTo" is the path only
// when the file was written, else null; "saveError" says why not, else null.
std::string OutcomeJson(const CCliOutcome& outcome, int exitStatus);

