// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/AnalysisCommand.h"

#include <cmath>

#include "analysis/AnalysisText.h"
#include "analysis/SignalAnalyzer.h"
#include "cli/AnalysisFlags.h"
#include "cli/FlagValue.h"
#include "cli/JsonWriter.h"
#include "cli/NumberText.h"
#include "cli/analysis/WaveFileAnalysis.h"
#include "cli/plot/AnalysisPlot.h"
#include "ui/TesterDlg.h"

int ParseAnalysisFlag(const std::string& flag, const std::optional<std::string>& inlineValue,
                      const std::vector<std::string>& arguments, std::size_t& i, CAnalysisOptions& o,
                      std::string& error)
{
    const AnalysisFlagKind kind = AnalysisFlagKindOf(flag);
    if (kind == AnalysisFlagKind::None)
        return 0;
    if (kind == AnalysisFlagKind::Switch) {
        if (inlineValue) {
            error = flag + " takes no value";
            return -1;
        }
        if (flag == "--analyze")
            o.analyze = true;
        else
            o.expect.noSilence = true;
        return 1;
    }
    std::string value;
    if (!TakeFlagValue(flag, inlineValue, arguments, i, value, error))
        return -1;
    auto refuse = [&](const char* why) {
        error = flag + ": '" + value + "' " + why;
        return -1;
    };
    if (flag == "--analyze-file" || flag == "--plot") {
        if (value.empty())
            return refuse("needs a file name");
        (flag == "--plot" ? o.plotPath : o.file) = value;
        return 1;
    }
    if (flag == "--max-clipped" || flag == "--max-dropouts" || flag == "--expect-valid-bits") {
        auto n = ParseCount(value);
        if (!n || (flag == "--expect-valid-bits" && (*n < 1 || *n > 32)))
            return refuse(flag == "--expect-valid-bits" ? "is not a number of bits from 1 to 32"
                                                        : "is not a whole number");
        if (flag == "--max-clipped")
            o.expect.maxClipped = *n;
        else if (flag == "--max-dropouts")
            o.expect.maxDropouts = *n;
        else
            o.expect.validBits = static_cast<int>(*n);
        return 1;
    }
    auto x = ParseReal(value);
    if (!x)
        return refuse("is not a number");
    if ((flag == "--expect-frequency" && *x <= 0) || (flag == "--frequency-tolerance" && *x < 0))
        return refuse("is out of range");
    if (flag == "--expect-frequency")
        o.expect.frequencyHz = *x;
    else if (flag == "--frequency-tolerance")
        o.expect.frequencyToleranceHz = *x;
    else if (flag == "--min-snr")
        o.expect.minSnrDb = *x;
    else if (flag == "--max-thdn")
        o.expect.maxThdnDb = *x;
    else
        o.expect.minLevelDbfs = *x;
    return 1;
}

std::string AnalysisUsageText()
{
    return R"(Signal analysis (printed after the report, never inside it):
      --analyze           analyse the recording, or the tone when one was
                          played: levels, clipping, silence, dominant tone,
                          THD+N, SNR, valid bits carried, dropouts
      --analyze-file FILE.wav
                          analyse a WAVE file instead of running the test
                          (--valid-bits N: the precision it should carry)
      --plot FILE.png     draw the waveform and the spectrum
    Checks (each implies --analyze; any failed one gives exit status 3):
      --expect-frequency HZ    the dominant tone of every channel is here
      --frequency-tolerance HZ within this [1]
      --min-snr DB             every channel's SNR at least this
      --max-thdn DB            every channel's THD+N at most this
      --max-clipped N          at most N clipped samples in all
      --expect-valid-bits N    exactly N valid bits carried
      --max-dropouts N         at most N dropouts in all
      --min-level DBFS         every channel's RMS at least this
      --no-silence             no channel is digital silence
)";
}

namespace {

void Conclude(CAnalysisOutcome& outcome, const CAnalysisOptions& options)
{
    outcome.checksSet = options.expect.Any();
    outcome.failedChecks = CheckAnalysis(outcome.analysis, options.expect);
    if (options.plotPath && outcome.analysis.ok) {
        if (WritePlotThroughModule(outcome.analysis, outcome.title, *options.plotPath, outcome.plotError))
            outcome.plotPath = options.plotPath;
    } else if (options.plotPath) {
        outcome.plotError = "nothing to draw: " + outcome.analysis.error;
    }
}

} // namespace

std::shared_ptr<CAnalysisOutcome> AnalyseTestRun(const CTesterDlg& tester, bool tonePlayed,
                                                 const CAnalysisOptions& options)
{
    if (!tester.HasRecordBuffer())
        return nullptr;
    auto outcome = std::make_shared<CAnalysisOutcome>();
    const TestParameters& p = tester.Parameters();
    outcome->subject = tonePlayed ? "tone" : "recording";
    outcome->title = tonePlayed ? "the 1 kHz tone played" : "the recording";
    if (!tonePlayed && !tester.RecordComplete()) {
        outcome->analysis.error = "the recording did not complete, so there is no recording to analyse";
    } else if (p.channels < 1 || p.channels > 2 || p.bytesPerSample < 1 || p.bytesPerSample > 4) {
        // The format object would repair these, and so misread the buffer.
        outcome->analysis.error = "a format of " + std::to_string(p.channels) + " channels of " +
                                  std::to_string(p.bytesPerSample) + " bytes is not one the analysis reads";
    } else {
        CSampleFormat format(p.sampleRate, static_cast<std::uint16_t>(p.channels),
                             static_cast<std::uint16_t>(p.bytesPerSample));
        // The tone uses the whole container, whatever the valid bits asked.
        int valid = tonePlayed ? format.bitsPerSample : p.validBits;
        std::size_t bytes = std::min<std::size_t>(tester.RecordBufferSize(),
                                                  static_cast<std::size_t>(std::max<std::int64_t>(p.bufferBytes, 0)));
        CSignalAnalyzer analyzer(format, valid, bytes / (static_cast<std::size_t>(p.channels) * p.bytesPerSample));
        analyzer.Feed(tester.RecordBufferData(), bytes);
        outcome->memoryBytes = analyzer.MemoryBytes();
        outcome->analysis = analyzer.Finish();
    }
    Conclude(*outcome, options);
    return outcome;
}

std::string AnalysisSection(const CAnalysisOutcome& o, const std::string& lineEnd)
{
    std::string text = AnalysisText(o.analysis, o.title, o.checksSet, o.failedChecks, lineEnd);
    if (o.plotPath)
        text += "Plot: " + *o.plotPath + lineEnd;
    if (!o.plotError.empty())
        text += "Plot not written: " + o.plotError + lineEnd;
    return text;
}

int RunAnalyzeFile(const CAnalysisOptions& options, std::optional<int> requestedValidBits, bool json, bool crlf,
                   std::FILE* out, std::FILE* err)
{
    WaveFileAnalysis file = AnalyseWaveFile(*options.file, requestedValidBits.value_or(0));
    CAnalysisOutcome outcome;
    outcome.subject = "file";
    outcome.title = *options.file;
    outcome.analysis = file.analysis;
    outcome.memoryBytes = file.analysisBytes;
    int status = 1;
    if (file.ok) {
        Conclude(outcome, options);
        status = outcome.Failed() ? ExitSignalCheckFailed : 0;
    } else {
        outcome.analysis.ok = false;
        outcome.analysis.error = file.error;
        std::fprintf(err, "tallowmere: %s\n", file.error.c_str());
        if (!json)
            return status;
    }
    if (json) {
        CJsonWriter writer;
        writer.BeginObject();
        writer.Member("program", "tallowmere-cli");
        WriteAnalysisJson(writer, outcome);
        writer.Member("exitStatus", status);
        writer.EndObject();
        std::string text = writer.Text();
        std::fwrite(text.data(), 1, text.size(), out);
    } else {
        std::string text = AnalysisSection(outcome, crlf ? "\r\n" : "\n");
        std::fwrite(text.data(), 1, text.size(), out);
    }
    std::fflush(out);
    return status;
}
