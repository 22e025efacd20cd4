// SPDX-License-Identifier: GPL-3.0-or-later
// What the analysis reads: the samples a test run left in its buffer, or a
// WAVE file. Each gives an outcome with the checks asked for applied and
// the picture asked for drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "measure/AnalysisOutcome.h"
#include "sequence/TestParameters.h"

// What a finished test left to analyse: its parameters and the buffer the
// recording (or the tone played instead) is in.
struct TestRunBuffer {
    TestParameters parameters;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool recordComplete = false;
    bool tonePlayed = false;
};

// The recording, or the tone when one was played instead. A recording that
// did not complete, or a format the analysis cannot read (channels other
// than 1 or 2, samples other than 1..4 bytes), gives an outcome whose
// analysis is not ok with the reason; the checks set then fail.
CAnalysisOutcome AnalyseTestBuffer(const TestRunBuffer& run, const AnalysisRequest& request);

// A WAVE file; requestedValidBits is the precision it should carry, 0 for
// what the file states (WaveFileAnalysis.h). A file that cannot be read as WAVE is `unreadable`.
CAnalysisOutcome AnalyseFile(const std::string& path, int requestedValidBits, const AnalysisRequest& request);
