// SPDX-License-Identifier: GPL-3.0-or-later
#include "wavefile/WaveFileFailure.h"

#include <cstring>
#include <utility>

namespace {

thread_local WaveFileFailure lastFailure;

const char* ReasonText(WaveFileReason reason)
{
    switch (reason) {
    case WaveFileReason::None: return "";
    case WaveFileReason::NotFound: return "not found";
    case WaveFileReason::AccessDenied: return "permission denied";
    case WaveFileReason::NoSpace: return "no space left on the file system";
    case WaveFileReason::IoError: return "input/output error";
    case WaveFileReason::NotRegular: return "not a regular file";
    case WaveFileReason::Truncated: return "the file is cut short";
    case WaveFileReason::NotWave: return "not a WAVE file this program reads";
    case WaveFileReason::OutOfMemory: return "out of memory";
    }
    return "";
}

} // namespace

const WaveFileFailure& LastWaveFileFailure() { return lastFailure; }

void ClearWaveFileFailure() { lastFailure = WaveFileFailure{}; }

void RecordWaveFileFailure(WaveFileReason reason, std::string operation, std::string path, int error,
                           std::string detail)
{
    lastFailure = WaveFileFailure{reason, std::move(operation), std::move(path), error, std::move(detail)};
}

std::string DescribeWaveFileFailure(const WaveFileFailure& failure)
{
    if (failure.reason == WaveFileReason::None)
        return {};
    std::string line = failure.operation.empty() ? std::string("wave file") : failure.operation;
    if (!failure.path.empty())
        line += " '" + failure.path + "'";
    line += ": ";
    line += failure.error != 0 ? std::strerror(failure.error) : ReasonText(failure.reason);
    if (!failure.detail.empty())
        line += ": " + failure.detail;
    return line;
}
