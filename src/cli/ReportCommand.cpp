// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ReportCommand.h"

#include "cli/CliOutcome.h"

#ifndef TALLOWMERE_VERSION
#define TALLOWMERE_VERSION "unknown"
#endif

SnapshotDevice ReportDevice(const std::string& role, const std::string& name,
                            const std::optional<WaveHostDetail>& host)
{
    return {role, name, host ? host->deviceName : std::string()};
}

int WriteReportIfAsked(const CCliOptions& options, ReportInput& input, const std::vector<SnapshotDevice>& devices,
                       int status, std::FILE* err)
{
    if (!options.reportPath)
        return status;
    input.command = options.commandLine;
    input.system = TakeSystemSnapshot("tallowmere-cli " TALLOWMERE_VERSION);
    input.system.devices = devices;
    input.exitStatus = status;
    std::string error;
    if (WriteHtmlReport(input, *options.reportPath, error))
        return status;
    std::fprintf(err, "tallowmere: %s\n", error.c_str());
    return status == ExitCompleted ? ExitDeviceFailed : status;
}
