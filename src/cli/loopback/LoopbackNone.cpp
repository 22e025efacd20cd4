// SPDX-License-Identifier: GPL-3.0-or-later
// --loopback in a build without the analysis: known by name, refused.
#include "cli/CommandLine.h"
#include "cli/loopback/LoopbackCommand.h"

int ParseLoopbackFlag(const std::string& flag, const std::optional<std::string>&, const std::vector<std::string>&,
                      std::size_t&, CLoopbackOptions&, std::string& error)
{
    bool isSwitch = false;
    if (!IsLoopbackFlag(flag, isSwitch))
        return 0;
    error = flag + ": the loopback measurement is not in this build";
    return -1;
}

bool CheckLoopbackCommandLine(const CCliOptions&, std::string&)
{
    return true;
}

std::string LoopbackUsageText()
{
    return R"(Loopback measurement:
                          not in this build (it needs FFTW); --loopback and
                          its flags are refused
)";
}

int RunLoopback(const CCliOptions&, const CCliStreams& streams, CInterrupts&)
{
    std::fprintf(streams.err, "tallowmere: the loopback measurement is not in this build\n");
    return 2;
}
