// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/AnalysisCommand.h"

#include "cli/AnalysisFlags.h"
#include "cli/FlagValue.h"
#include "cli/NumberText.h"
#include "measure/AnalysisSources.h"
#include "measure/JsonWriter.h"
#include "measure/PlotModule.h"
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
        if (flag == "--plot" && !PlotModuleInThisBuild()) {
            error = flag + ": the pictures are not in this build";
            return -1;
        }
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
      --plot FILE.png     draw the waveform and the spectrum (FILE.svg: as SVG)
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

std::shared_ptr<CAnalysisOutcome> AnalyseTestRun(const CTesterDlg& tester, bool tonePlayed,
                                                 const CAnalysisOptions& options)
{
    if (!tester.HasRecordBuffer())
        return nullptr;
    TestRunBuffer run;
    run.parameters = tester.Parameters();
    run.data = tester.RecordBufferData();
    run.size = tester.RecordBufferSize();
    run.recordComplete = tester.RecordComplete();
    run.tonePlayed = tonePlayed;
    return std::make_shared<CAnalysisOutcome>(AnalyseTestBuffer(run, options.Request()));
}

namespace {

std::string FileAnalysisJson(const CAnalysisOutcome& outcome, int status)
{
    CJsonWriter writer;
    writer.BeginObject();
    writer.Member("program", "tallowmere-cli");
    WriteAnalysisJson(writer, outcome);
    WriteFileJson(writer, outcome);
    writer.Member("exitStatus", status);
    writer.EndObject();
    return writer.Text();
}

} // namespace

int RunAnalyzeFile(const CAnalysisOptions& options, std::optional<int> requestedValidBits, bool json, bool crlf,
                   std::FILE* out, std::FILE* err, const AnalysisReportHook& report)
{
    const CAnalysisOutcome outcome = AnalyseFile(*options.file, requestedValidBits.value_or(0), options.Request());
    int status = 1;
    if (!outcome.unreadable)
        status = outcome.Failed() ? ExitSignalCheckFailed : 0;
    else
        std::fprintf(err, "tallowmere: %s\n", outcome.analysis.error.c_str());
    if (report)
        status = report(outcome, FileAnalysisJson(outcome, status), status);
    if (outcome.unreadable && !json)
        return status;
    const std::string text = json ? FileAnalysisJson(outcome, status) : AnalysisSection(outcome, crlf ? "\r\n" : "\n");
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
    return status;
}
