// SPDX-License-Identifier: GPL-3.0-or-later
// --report FILE.html on every mode: the shareable report (measure/report/)
// of the run just made, with a snapshot of this system, written beside the
// printed output. The modes fill the sections they ran and the JSON
// document they would print with --json.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "audio/WaveApi.h"
#include "cli/CommandLine.h"
#include "measure/report/HtmlReport.h"

// A device for the report's system section, with the host's name of it.
SnapshotDevice ReportDevice(const std::string& role, const std::string& name,
                            const std::optional<WaveHostDetail>& host);

// When --report was given: takes the system snapshot (adding `devices`),
// writes `input` to the file, and on failure prints "tallowmere: cannot
// write 'FILE': WHY" on `err`. Returns the exit status to give: `status`,
// or 1 when it was 0 and the report could not be written. Not asked: `status`.
int WriteReportIfAsked(const CCliOptions& options, ReportInput& input, const std::vector<SnapshotDevice>& devices,
                       int status, std::FILE* err);
