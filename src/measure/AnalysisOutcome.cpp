// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/AnalysisOutcome.h"

#include "analysis/AnalysisText.h"

std::string AnalysisSection(const CAnalysisOutcome& o, const std::string& lineEnd)
{
    std::string text = AnalysisText(o.analysis, o.title, o.checksSet, o.failedChecks, lineEnd);
    if (o.plotPath)
        text += "Plot: " + *o.plotPath + lineEnd;
    if (!o.plotError.empty())
        text += "Plot not written: " + o.plotError + lineEnd;
    return text;
}
