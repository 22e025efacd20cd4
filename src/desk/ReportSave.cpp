// SPDX-License-Identifier: GPL-3.0-or-later
#include "desk/ReportSave.h"

#include "measure/JsonWriter.h"
#include "measure/TextFileSave.h"
#include "measure/formats/FormatMatrixJson.h"
#include "measure/loopback/LoopbackJson.h"
#include "measure/report/HtmlReport.h"
#include "measure/soak/SoakJson.h"

namespace {

// A document without its line end, to stand as a member's value.
std::string AsValue(std::string document)
{
    while (!document.empty() && document.back() == '\n')
        document.pop_back();
    return document;
}

std::string AnalysisDocument(const CAnalysisOutcome& outcome)
{
    CJsonWriter json;
    json.BeginObject();
    WriteAnalysisJson(json, outcome);
    if (outcome.file)
        WriteFileJson(json, outcome);
    json.EndObject();
    return json.Text();
}

std::string FormatsDocument(const FormatMatrixResult& result)
{
    CJsonWriter json;
    json.BeginObject();
    WriteFormatMatrixJson(json, result);
    json.EndObject();
    return json.Text();
}

// 0 when every measurement shown completed as asked, else 1, as the
// command line's status would be.
int ReportStatus(const DeskReportContent& c)
{
    const bool failed = (c.analysis && (c.analysis->unreadable || !c.analysis->analysis.ok || c.analysis->Failed())) ||
                        (c.loopback && (c.loopback->outcome != LoopbackOutcome::Measured || !c.loopback->failedChecks.empty())) ||
                        (c.formats && (c.formats->cancelled || c.formats->DeviceFailed())) ||
                        (c.soak && (c.soak->outcome != SoakOutcome::Completed || !c.soak->failedChecks.empty()));
    return failed ? 1 : 0;
}

} // namespace

std::string DeskReportJson(const DeskReportContent& c, const std::string& program)
{
    std::string text = "{\n  \"program\": " + JsonQuote(program);
    if (c.analysis)
        text += ",\n  \"analysis\": " + AsValue(AnalysisDocument(*c.analysis));
    if (c.loopback)
        text += ",\n  \"loopback\": " + AsValue(LoopbackJson(*c.loopback, ReportStatus(c)));
    if (c.formats)
        text += ",\n  \"formats\": " + AsValue(FormatsDocument(*c.formats));
    if (c.soak)
        text += ",\n  \"soak\": " + AsValue(SoakJson(*c.soak, ReportStatus(c)));
    return text + "\n}\n";
}

std::string JsonPathFor(const std::string& htmlPath)
{
    for (const char* ending : {".html", ".htm", ".HTML", ".HTM"}) {
        const std::string e = ending;
        if (htmlPath.size() > e.size() && htmlPath.compare(htmlPath.size() - e.size(), e.size(), e) == 0)
            return htmlPath.substr(0, htmlPath.size() - e.size()) + ".json";
    }
    return htmlPath + ".json";
}

bool SaveDeskReport(const DeskReportContent& c, const std::string& program, const std::string& htmlPath,
                    std::string& error)
{
    if (c.Empty()) {
        error = "there is nothing to report yet";
        return false;
    }
    std::vector<FormatMatrixResult> matrices;
    if (c.formats)
        matrices.push_back(*c.formats);
    ReportInput input;
    input.command = program + " (the measurement window)";
    input.system = TakeSystemSnapshot(program);
    input.system.devices = c.devices;
    input.analysis = c.analysis ? &*c.analysis : nullptr;
    input.loopback = c.loopback ? &*c.loopback : nullptr;
    input.formats = c.formats ? &matrices : nullptr;
    input.soak = c.soak ? &*c.soak : nullptr;
    input.soakLimits = c.soakLimits;
    input.json = DeskReportJson(c, program);
    input.exitStatus = ReportStatus(c);
    return WriteHtmlReport(input, htmlPath, error) && SaveTextFile(JsonPathFor(htmlPath), input.json, error);
}
