// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/report/HtmlReport.h"

#include "measure/TextFileSave.h"
#include "measure/report/ReportSections.h"
#include "measure/svg/Markup.h"

namespace {

// Screen and print: tables never wider than the page, rows never split,
// header rows repeated on each page, pictures scaled to the width.
constexpr const char* Style = R"(body{font-family:"DejaVu Sans",Verdana,sans-serif;font-size:14px;color:#111;max-width:1240px;margin:0 auto;padding:16px;line-height:1.4}
h1{font-size:22px;margin:0 0 4px}h2{font-size:18px;border-bottom:2px solid #1f5fbf;padding-bottom:2px;margin-top:28px}h3{font-size:15px;margin:18px 0 6px}
nav ul{padding-left:20px;margin:6px 0}
table{border-collapse:collapse;margin:8px 0 14px;max-width:100%}
caption{text-align:left;font-weight:bold;padding:4px 0}
th,td{border:1px solid #999;padding:3px 8px;text-align:left;vertical-align:top;overflow-wrap:anywhere}
thead th{background:#e8eef8}tbody th{font-weight:normal;background:#f6f6f6}
pre{background:#f6f6f6;border:1px solid #ccc;padding:8px;white-space:pre-wrap;overflow-wrap:anywhere;font-family:"DejaVu Sans Mono",monospace;font-size:12.5px;tab-size:8}
dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:2px 14px;margin:8px 0}dl.facts dt{font-weight:bold}dl.facts dd{margin:0;overflow-wrap:anywhere;white-space:pre-wrap}
figure{margin:10px 0}figure svg{max-width:100%;height:auto;border:1px solid #ccc}figcaption{font-style:italic}
.verdict,.mark{font-weight:bold;padding:0 4px;border-radius:3px;white-space:nowrap}
.pass{color:#155d27;background:#dff3e4}.warn{color:#6b4a00;background:#fff1c2}.fail{color:#8a1111;background:#fbe0e0}.info{color:#333;background:#eee}
.meta{color:#444}
@media print{body{max-width:none;padding:0;font-size:11pt}h2{break-after:avoid}tr,figure,pre{break-inside:avoid}thead{display:table-header-group}figure svg{border:none}}
@page{margin:14mm}
)";

std::string TestTitle(const ReportInput& in)
{
    std::vector<std::string> parts;
    if (in.test)
        parts.push_back("record and playback test");
    if (in.analysis)
        parts.push_back("analysis");
    if (in.loopback)
        parts.push_back("loopback");
    if (in.formats)
        parts.push_back("format matrix");
    if (in.soak)
        parts.push_back("soak");
    std::string title = "Tallowmere report";
    for (std::size_t i = 0; i < parts.size(); ++i)
        title += (i == 0 ? ": " : ", ") + parts[i];
    return title;
}

void WriteSystem(CHtml& html, const SystemSnapshot& s)
{
    html.BeginSection("system", "The system");
    html.BeginFacts();
    html.Fact("Program", s.program);
    html.Fact("Build", s.build);
    html.Fact("Operating system", s.system);
    html.Fact("ALSA library", s.alsaLibrary);
    html.Fact("ALSA driver", s.alsaDriver);
    html.Fact("Date", s.date);
    html.EndFacts();
    html.BeginTable("Sound servers running", {"Server", "Version", "Asked through", "Note"});
    for (const SoundServer& server : s.servers)
        html.Row({Cell(server.name), Cell(server.version.empty() ? "not found" : server.version), Cell(server.source),
                  Cell(server.note)});
    if (s.servers.empty())
        html.Row({Cell("none"), Cell(s.serversNote), Cell(""), Cell("")});
    html.EndTable();
    html.BeginTable("Devices used", {"Role", "Device", "Host's name (PCM)"});
    for (const SnapshotDevice& d : s.devices)
        html.Row({Cell(d.role), Cell(d.name), Cell(d.hostName.empty() ? "not known to the host" : d.hostName)});
    if (s.devices.empty())
        html.Row({Cell("none"), Cell("no device was opened"), Cell("")});
    html.EndTable();
    html.Heading3("Cards the kernel lists (/proc/asound/cards)");
    html.Preformatted(s.cards, "The contents of /proc/asound/cards");
    html.EndSection();
}

void WriteTest(CHtml& html, const ReportTest& t)
{
    const TestParameters& p = t.parameters;
    html.BeginSection("test", "The record and playback test");
    html.BeginTable("Parameters", {"Parameter", "Value"});
    html.Row({Cell("Input device"), Cell(p.inputDeviceName)});
    html.Row({Cell("Output device"), Cell(p.outputDeviceName)});
    html.Row({Cell("Channels"), Cell(std::to_string(p.channels))});
    html.Row({Cell("Sample rate (Hz)"), Cell(std::to_string(p.sampleRate))});
    html.Row({Cell("Container bits"), Cell(std::to_string(p.precisionBits))});
    html.Row({Cell("Valid bits"), Cell(std::to_string(p.validBits))});
    html.Row({Cell("API mode"), Cell(p.apiMode == 0 ? "standard" : p.apiMode == 1 ? "extended" : "none")});
    html.Row({Cell("Duration (s)"), Cell(std::to_string(p.durationSeconds))});
    html.EndTable();
    auto outcome = [](bool tested, bool complete) {
        return !tested ? Verdict::Info : complete ? Verdict::Pass : Verdict::Fail;
    };
    html.BeginTable("Outcome", {"Step", "Verdict", "What happened"});
    html.Row({Cell("Recording"), Badge(outcome(t.recordTested, t.recordComplete)),
              Cell(!t.recordTested ? "not tested" : t.recordComplete ? "completed" : "did not complete")});
    html.Row({Cell("Playback"), Badge(outcome(t.playbackTested, t.playbackComplete)),
              Cell(!t.playbackTested ? "not tested" : t.playbackComplete ? "completed" : "did not complete")});
    html.EndTable();
    html.Heading3("The report, as the results dialog shows it (the device calls and their results)");
    html.Preformatted(t.reportText, "The test report");
    std::vector<std::string> words;
    if (t.recordHost)
        for (const std::string& line : HostWords("capture", p.inputDeviceName, *t.recordHost))
            words.push_back(line);
    if (t.playbackHost)
        for (const std::string& line : HostWords("playback", p.outputDeviceName, *t.playbackHost))
            words.push_back(line);
    if (!words.empty()) {
        html.Heading3("The sound system's own words");
        std::string text;
        for (const std::string& line : words)
            text += line + "\n";
        html.Preformatted(text, "What the sound system said");
    }
    html.EndSection();
}

// The --json document in a data block: never run, read by scripts. "<", ">"
// and "&" (only ever inside JSON strings) are written as \u escapes, so no
// text can end the block, and the JSON it holds is the same document.
std::string DataBlock(const std::string& json)
{
    std::string out = "<script type=\"application/json\" id=\"tallowmere-data\">\n";
    for (char c : json) {
        if (c == '<')
            out += "\\u003c";
        else if (c == '>')
            out += "\\u003e";
        else if (c == '&')
            out += "\\u0026";
        else
            out += c;
    }
    return out + "</script>\n";
}

} // namespace

std::vector<std::string> HostWords(const std::string& role, const std::string& device, const WaveHostDetail& host)
{
    std::vector<std::string> lines;
    const std::string who = role + " device '" + device + "'" + (host.deviceName.empty() ? "" : " (" + host.deviceName + ")");
    if (!host.call.empty())
        lines.push_back(who + ": " + host.call + " failed: " + host.text + " (error " + std::to_string(host.error) + ")");
    if (host.lost)
        lines.push_back(who + ": was lost while it was open");
    if (host.xruns > 0)
        lines.push_back(who + ": " + std::to_string(host.xruns) + " xrun(s), " + std::to_string(host.framesLost) +
                        " frames lost");
    return lines;
}

std::vector<std::string> ReportSectionIds(const ReportInput& in)
{
    std::vector<std::string> ids = {"system"};
    if (in.test)
        ids.push_back("test");
    if (in.analysis)
        ids.push_back("analysis");
    if (in.loopback)
        ids.push_back("loopback");
    if (in.formats)
        ids.push_back("formats");
    if (in.soak)
        ids.push_back("soak");
    return ids;
}

std::string HtmlReport(const ReportInput& in)
{
    const std::string title = TestTitle(in);
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                      "style-src 'unsafe-inline'\">\n<meta name=\"viewport\" content=\"width=device-width, "
                      "initial-scale=1\">\n<meta name=\"generator\" content=\"" +
                      MarkupText(in.system.program) + "\">\n<title>" + MarkupText(title) + "</title>\n<style>\n" +
                      Style + "</style>\n</head>\n<body>\n<header>\n<h1>" + MarkupText(title) + "</h1>\n";
    out += "<p class=\"meta\">Made " + MarkupText(in.system.date) + " by " + MarkupText(in.system.program) +
           "; exit status " + std::to_string(in.exitStatus) + ".</p>\n";
    if (!in.command.empty())
        out += "<p class=\"meta\">Command: <code>" + MarkupText(in.command) + "</code></p>\n";
    out += "<nav aria-label=\"Sections\"><ul>\n";
    const char* names[][2] = {{"system", "The system"},       {"test", "The record and playback test"},
                              {"analysis", "The analysis"}, {"loopback", "The loopback"},
                              {"formats", "The format matrix"}, {"soak", "The soak"}};
    for (const std::string& id : ReportSectionIds(in))
        for (const auto& name : names)
            if (id == name[0])
                out += "<li><a href=\"#" + id + "\">" + name[1] + "</a></li>\n";
    out += "</ul></nav>\n</header>\n<main>\n";

    CHtml html;
    WriteSystem(html, in.system);
    if (in.test)
        WriteTest(html, *in.test);
    if (in.analysis)
        WriteAnalysisSection(html, *in.analysis);
    if (in.loopback)
        WriteLoopbackSection(html, *in.loopback);
    if (in.formats)
        WriteFormatsSection(html, *in.formats, in.unmetFormats);
    if (in.soak)
        WriteSoakSection(html, *in.soak, in.soakLimits);
    out += html.Text();
    out += "</main>\n<footer><p class=\"meta\">The run's JSON document (as --json writes it) is in this file's "
           "element \"tallowmere-data\".</p></footer>\n";
    out += DataBlock(in.json);
    out += "</body>\n</html>\n";
    return out;
}

bool WriteHtmlReport(const ReportInput& input, const std::string& path, std::string& error)
{
    return SaveTextFile(path, HtmlReport(input), error);
}
