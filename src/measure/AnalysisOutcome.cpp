// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/AnalysisOutcome.h"

#include "analysis/AnalysisText.h"

std::string AnalysisSection(const CAnalysisOutcome& o, const std::string& lineEnd)
{
    std::string text = AnalysisText(o.analysis, o.title, o.checksSet, o.failedChecks, lineEnd);
    if (o.file) {
        // After the title: what the file says is read before the figures.
        std::string lines;
        for (const std::string& l : WaveFileLines(*o.file))
            lines += l + lineEnd;
        std::size_t afterTitle = text.find(lineEnd);
        text.insert(afterTitle == std::string::npos ? text.size() : afterTitle + lineEnd.size(), lines);
    }
    if (o.plotPath)
        text += "Plot: " + *o.plotPath + lineEnd;
    if (!o.plotError.empty())
        text += "Plot not written: " + o.plotError + lineEnd;
    return text;
}
