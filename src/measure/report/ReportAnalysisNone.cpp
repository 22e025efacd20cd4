// SPDX-License-Identifier: GPL-3.0-or-later
// Builds without the signal analysis: the command line refuses its flags,
// so these sections are never asked for; should a front end ask, they say
// why they are empty.
#include "measure/report/ReportSections.h"

void WriteAnalysisSection(CHtml& html, const CAnalysisOutcome&)
{
    html.BeginSection("analysis", "The analysis");
    html.VerdictLine(Verdict::Info, "The signal analysis is not in this build.");
    html.EndSection();
}

void WriteLoopbackSection(CHtml& html, const CLoopbackRun&)
{
    html.BeginSection("loopback", "The loopback");
    html.VerdictLine(Verdict::Info, "The loopback measurement is not in this build.");
    html.EndSection();
}
