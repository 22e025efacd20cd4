// SPDX-License-Identifier: GPL-3.0-or-later
// The names of the analysis flags, shared by the build with the analysis
// (which takes them) and the one without (which refuses them by name).
#pragma once

#include <string>

enum class AnalysisFlagKind { None, Switch, Valued };

inline AnalysisFlagKind AnalysisFlagKindOf(const std::string& flag)
{
    static const char* const switches[] = {"--analyze", "--no-silence"};
    static const char* const valued[] = {"--analyze-file", "--plot",        "--expect-frequency", "--frequency-tolerance",
                                         "--min-snr",      "--max-thdn",    "--max-clipped",      "--expect-valid-bits",
                                         "--max-dropouts", "--min-level"};
    for (const char* s : switches)
        if (flag == s)
            return AnalysisFlagKind::Switch;
    for (const char* v : valued)
        if (flag == v)
            return AnalysisFlagKind::Valued;
    return AnalysisFlagKind::None;
}
