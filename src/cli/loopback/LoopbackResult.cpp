// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/loopback/LoopbackResult.h"

#include "cli/AnalysisCommand.h"
#include "cli/CliOutcome.h"

int LoopbackExitStatus(const CLoopbackRun& run)
{
    switch (run.outcome) {
    case LoopbackOutcome::Measured:
        return run.failedChecks.empty() && run.plotError.empty() ? ExitCompleted : ExitSignalCheckFailed;
    case LoopbackOutcome::Cancelled:
    case LoopbackOutcome::TimedOut:
        return ExitCancelled;
    case LoopbackOutcome::NotMeasured:
    case LoopbackOutcome::DeviceFailed:
        break;
    }
    return ExitDeviceFailed;
}

const char* LoopbackOutcomeName(LoopbackOutcome outcome)
{
    switch (outcome) {
    case LoopbackOutcome::Measured:
        return "measured";
    case LoopbackOutcome::NotMeasured:
        return "not measured";
    case LoopbackOutcome::DeviceFailed:
        return "device failed";
    case LoopbackOutcome::Cancelled:
        return "cancelled";
    case LoopbackOutcome::TimedOut:
        return "timed out";
    }
    return "unknown";
}
