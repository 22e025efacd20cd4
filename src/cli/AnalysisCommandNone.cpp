// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis flags in a build without FFTW: known by name, refused.
#include "cli/AnalysisCommand.h"
#include "cli/AnalysisFlags.h"

int ParseAnalysisFlag(const std::string& flag, const std::optional<std::string>&, const std::vector<std::string>&,
                      std::size_t&, CAnalysisOptions&, std::string& error)
{
    if (AnalysisFlagKindOf(flag) == AnalysisFlagKind::None)
        return 0;
    error = flag + ": the signal analysis is not in this build";
    return -1;
}

std::string AnalysisUsageText()
{
    return R"(Signal analysis:
                          not in this build (it needs FFTW); --analyze and
                          its flags are refused
)";
}

std::shared_ptr<CAnalysisOutcome> AnalyseTestRun(const CTesterDlg&, bool, const CAnalysisOptions&)
{
    return nullptr;
}

int RunAnalyzeFile(const CAnalysisOptions&, std::optional<int>, bool, bool, std::FILE*, std::FILE* err,
                   const AnalysisReportHook&)
{
    std::fprintf(err, "tallowmere: the signal analysis is not in this build\n");
    return 2;
}
