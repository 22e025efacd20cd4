// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis in a build without FFTW: every request is answered with the
// reason, and there is nothing to show.
#include "measure/AnalysisSources.h"

namespace {

CAnalysisOutcome NotInThisBuild(const char* subject)
{
    CAnalysisOutcome outcome;
    outcome.subject = subject;
    outcome.analysis.error = "the signal analysis is not in this build";
    return outcome;
}

} // namespace

CAnalysisOutcome AnalyseTestBuffer(const TestRunBuffer& run, const AnalysisRequest&)
{
    return NotInThisBuild(run.tonePlayed ? "tone" : "recording");
}

CAnalysisOutcome AnalyseFile(const std::string&, int, const AnalysisRequest&)
{
    CAnalysisOutcome outcome = NotInThisBuild("file");
    outcome.unreadable = true;
    return outcome;
}

std::string AnalysisSection(const CAnalysisOutcome&, const std::string&)
{
    return {};
}

void WriteAnalysisJson(CJsonWriter&, const CAnalysisOutcome&) {}
