// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/loopback/LoopbackResult.h"

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

std::string LoopbackRunTitle(const CLoopbackRun& run)
{
    const CLoopbackFormat& f = run.format;
    return run.input.name + " from " + run.output.name + ", " + std::to_string(f.sampleRate) + " Hz, " +
           std::to_string(f.channels) + " channel(s), " + std::to_string(f.bits) + "-bit";
}
