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
