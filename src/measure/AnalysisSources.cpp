// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/AnalysisSources.h"

#include <algorithm>

#include "analysis/SignalAnalyzer.h"
#include "measure/PlotModule.h"
#include "measure/WaveFileAnalysis.h"
#include "measure/svg/MeasureSvg.h"

namespace {

void Conclude(CAnalysisOutcome& outcome, const AnalysisRequest& request)
{
    outcome.expect = request.expect;
    outcome.checksSet = request.expect.Any();
    outcome.failedChecks = CheckAnalysis(outcome.analysis, request.expect);
    if (request.plotPath && outcome.analysis.ok) {
        // A name ending in .svg gets the program's own SVG drawing, else a PNG.
        const bool svg = IsSvgPath(*request.plotPath);
        if (svg ? SaveSvg(AnalysisSvg(outcome.analysis, outcome.title, "plot"), *request.plotPath, outcome.plotError)
                : WritePlotThroughModule(outcome.analysis, outcome.title, *request.plotPath, outcome.plotError))
            outcome.plotPath = request.plotPath;
    } else if (request.plotPath) {
        outcome.plotError = "nothing to draw: " + outcome.analysis.error;
    }
}

} // namespace

CAnalysisOutcome AnalyseTestBuffer(const TestRunBuffer& run, const AnalysisRequest& request)
{
    CAnalysisOutcome outcome;
    const TestParameters& p = run.parameters;
    outcome.subject = run.tonePlayed ? "tone" : "recording";
    outcome.title = run.tonePlayed ? "the 1 kHz tone played" : "the recording";
    if (!run.tonePlayed && !run.recordComplete) {
        outcome.analysis.error = "the recording did not complete, so there is no recording to analyse";
    } else if (p.channels < 1 || p.channels > 2 || p.bytesPerSample < 1 || p.bytesPerSample > 4) {
        // The format object would repair these, and so misread the buffer.
        outcome.analysis.error = "a format of " + std::to_string(p.channels) + " channels of " +
                                 std::to_string(p.bytesPerSample) + " bytes is not one the analysis reads";
    } else {
        CSampleFormat format(p.sampleRate, static_cast<std::uint16_t>(p.channels),
                             static_cast<std::uint16_t>(p.bytesPerSample));
        // The tone uses the whole container, whatever the valid bits asked.
        int valid = run.tonePlayed ? format.bitsPerSample : p.validBits;
        std::size_t bytes =
            std::min<std::size_t>(run.size, static_cast<std::size_t>(std::max<std::int64_t>(p.bufferBytes, 0)));
        CSignalAnalyzer analyzer(format, valid, bytes / (static_cast<std::size_t>(p.channels) * p.bytesPerSample));
        analyzer.Feed(run.data, bytes);
        outcome.memoryBytes = analyzer.MemoryBytes();
        outcome.analysis = analyzer.Finish();
    }
    Conclude(outcome, request);
    return outcome;
}

CAnalysisOutcome AnalyseFile(const std::string& path, int requestedValidBits, const AnalysisRequest& request)
{
    WaveFileAnalysis file = AnalyseWaveFile(path, requestedValidBits);
    CAnalysisOutcome outcome;
    outcome.subject = "file";
    outcome.title = path;
    outcome.analysis = file.analysis;
    outcome.memoryBytes = file.analysisBytes;
    outcome.file = file.file;
    if (file.ok) {
        Conclude(outcome, request);
    } else {
        outcome.unreadable = true;
        outcome.analysis.ok = false;
        outcome.analysis.error = file.error;
    }
    return outcome;
}
