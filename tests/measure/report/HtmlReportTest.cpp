// SPDX-License-Identifier: GPL-3.0-or-later
// The report's document: its sections present exactly when their
// measurement ran, outside texts always shown as text, the JSON block read
// back as the document given, the soak's checks and its bounded size, the
// system snapshot's parsing of the sound servers' answers, and the
// whole-or-nothing file write.
#include <gtest/gtest.h>

#include <string>

#include "measure/formats/FormatMatrix.h"
#include "measure/report/HtmlReport.h"
#include "measure/soak/SoakJson.h"
#include "measure/soak/SoakResult.h"
#include "measure/svg/Markup.h"
#include "support/JsonReader.h"
#include "support/ScratchDir.h"

namespace {

const std::string Hostile = "<script>alert('x')</script> & \"quoted\"";

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The text of the data block, its \u escapes of < > & read back.
std::string DataBlockJson(const std::string& html)
{
    const std::string open = "<script type=\"application/json\" id=\"tallowmere-data\">\n";
    const std::size_t from = html.find(open);
    const std::size_t to = html.find("</script>", from);
    if (from == std::string::npos || to == std::string::npos)
        return {};
    std::string json = html.substr(from + open.size(), to - from - open.size());
    for (auto [escape, plain] : {std::pair{"\\u003c", "<"}, {"\\u003e", ">"}, {"\\u0026", "&"}})
        for (std::size_t at = json.find(escape); at != std::string::npos; at = json.find(escape, at))
            json.replace(at, 6, plain);
    return json;
}

// The verdict class of a table row: "pass", "warn", "fail", "info", or "".
std::string RowVerdict(const std::string& html, const std::string& row)
{
    const std::string head = "<th scope=\"row\">" + MarkupText(row) + "</th><td><span class=\"verdict ";
    const std::size_t at = html.find(head);
    if (at == std::string::npos)
        return "";
    const std::size_t from = at + head.size();
    return html.substr(from, html.find('"', from) - from);
}

SoakEvent Event(SoakEventKind kind, WaveDirection direction, double seconds, std::uint64_t frame, std::uint64_t frames)
{
    SoakEvent e;
    e.kind = kind;
    e.direction = direction;
    e.seconds = seconds;
    e.frame = frame;
    e.frames = frames;
    return e;
}

// A full duplex soak of a minute with an output xrun and the gap it made.
SoakRun ShortSoak()
{
    SoakRun run;
    run.input.name = "In";
    run.output.name = "Out";
    run.format = {1, 48000, 16, 16, false};
    run.durationSeconds = 60;
    run.elapsedSeconds = 60;
    run.events.push_back(Event(SoakEventKind::Xrun, WaveDirection::Output, 20.0, 960000, 2048));
    SoakEvent gap = Event(SoakEventKind::Gap, WaveDirection::Input, 20.01, 960480, 2048);
    gap.shift = 2048;
    gap.explained = true;
    run.events.push_back(gap);
    run.eventCount = 2;
    run.xruns = 1;
    run.outputClock.xruns = 1;
    run.stimulusHeard = true;
    run.latencyMinFrames = 480;
    run.latencyMaxFrames = 2528;
    run.driftPpm = {true, 15.2, 0.04};
    for (int s = 0; s < 60; ++s) {
        run.latencyMs.Add(s, s < 20 ? 10 : 52.667);
        run.drift.Add(s, 15.2);
    }
    return run;
}

ReportInput BaseInput()
{
    ReportInput input;
    input.system.program = "tallowmere-cli test";
    input.system.date = "2026-12-09 12:00:00 UTC";
    input.json = "{\n  \"program\": \"tallowmere-cli\"\n}\n";
    return input;
}

TEST(Markup, OutsideTextNeverBecomesMarkup)
{
    EXPECT_EQ(MarkupText("<b>&'\""), "&lt;b&gt;&amp;&#39;&quot;");
    EXPECT_EQ(MarkupText("a\r\nb\tc"), "a\nb\tc");
    // Bytes that are not UTF-8 and control characters XML refuses.
    EXPECT_EQ(MarkupText("x\xff\x01y"), "x\xEF\xBF\xBD\xEF\xBF\xBDy");
    EXPECT_EQ(MarkupText("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(MarkupText(std::string("a\0b", 3)), "a\xEF\xBF\xBD" "b");
}

TEST(Markup, NumbersAreShortAndLocaleFree)
{
    EXPECT_EQ(MarkupNumber(12.0), "12");
    EXPECT_EQ(MarkupNumber(-0.04), "0");
    EXPECT_EQ(MarkupNumber(3.25, 2), "3.25");
    EXPECT_EQ(MarkupNumber(-1.5), "-1.5");
}

TEST(HtmlReport, SectionsArePresentExactlyWhenTheirMeasurementRan)
{
    ReportTest test;
    std::vector<FormatMatrixResult> formats(1);
    const SoakRun soak = ShortSoak();
    struct Row {
        const char* name;
        bool withTest;
        bool withFormats;
        bool withSoak;
        std::vector<std::string> ids;
    };
    const Row rows[] = {
        {"system alone", false, false, false, {"system"}},
        {"test", true, false, false, {"system", "test"}},
        {"formats", false, true, false, {"system", "formats"}},
        {"both", true, true, false, {"system", "test", "formats"}},
        {"soak", false, false, true, {"system", "soak"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReportInput input = BaseInput();
        input.test = row.withTest ? &test : nullptr;
        input.formats = row.withFormats ? &formats : nullptr;
        input.soak = row.withSoak ? &soak : nullptr;
        EXPECT_EQ(ReportSectionIds(input), row.ids);
        const std::string html = HtmlReport(input);
        for (const char* id : {"system", "test", "analysis", "loopback", "formats", "soak"}) {
            const bool wanted = std::find(row.ids.begin(), row.ids.end(), id) != row.ids.end();
            EXPECT_EQ(Count(html, "<section id=\"" + std::string(id) + "\">"), wanted ? 1u : 0u) << id;
            EXPECT_EQ(Count(html, "<a href=\"#" + std::string(id) + "\">"), wanted ? 1u : 0u) << id;
        }
    }
}

TEST(HtmlReport, HostileOutsideTextsShowAsText)
{
    ReportTest test;
    test.parameters.inputDeviceName = Hostile;
    test.parameters.outputDeviceName = Hostile;
    test.reportText = "Input device: " + Hostile + "\r\n</pre><img src=x>\r\n";
    test.recordTested = true;
    WaveHostDetail host;
    host.deviceName = Hostile;
    host.call = "snd_pcm_open";
    host.text = Hostile;
    host.error = 2;
    test.recordHost = host;
    ReportInput input = BaseInput();
    input.test = &test;
    input.command = "tallowmere-cli --input '" + Hostile + "'";
    input.system.system = Hostile;
    input.system.cards = Hostile;
    input.system.servers.push_back({Hostile, Hostile, "pw-cli info 0", Hostile});
    input.system.devices.push_back({"capture", Hostile, Hostile});
    input.json = "{\"name\": \"</script><script>alert(1)</script>\"}\n";
    SoakRun soak = ShortSoak();
    soak.input.name = Hostile;
    soak.events[0].detail = Hostile;
    input.soak = &soak;
    const std::string html = HtmlReport(input);

    // The only script element is the data block, and nothing loads from outside.
    EXPECT_EQ(Count(html, "<script"), 1u);
    EXPECT_EQ(Count(html, "</script>"), 1u);
    EXPECT_EQ(Count(html, "<img"), 0u);
    EXPECT_NE(html.find("&lt;/pre&gt;&lt;img src=x&gt;"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;quoted&quot;"), std::string::npos);
    EXPECT_NE(html.find("snd_pcm_open failed: &lt;script&gt;"), std::string::npos);
    // The report's CR LF lines are shown as lines.
    EXPECT_NE(html.find("Input device: &lt;script&gt;"), std::string::npos);
    EXPECT_EQ(html.find('\r'), std::string::npos);
}

TEST(HtmlReport, TheDataBlockReadsBackAsTheJsonGiven)
{
    ReportInput input = BaseInput();
    input.json = "{\n  \"report\": \"a < b && c > d </script>\",\n  \"exitStatus\": 3\n}\n";
    const std::string html = HtmlReport(input);
    EXPECT_EQ(html.find("</script>\","), std::string::npos);
    EXPECT_EQ(DataBlockJson(html), input.json);
    JsonValue value;
    ASSERT_TRUE(ParseJson(DataBlockJson(html), value));
    EXPECT_EQ(value["report"].text, "a < b && c > d </script>");
}

TEST(HtmlReportSoak, EachCheckIsJudgedByItsOwnLimit)
{
    const SoakRun run = ShortSoak();
    struct Row {
        const char* name;
        SoakLimits limits;
        const char* xruns;
        const char* glitches;
        const char* drift;
        const char* wander;
    };
    const Row rows[] = {
        {"no limits: the xrun warns, the figures are noted", {}, "warn", "pass", "info", "info"},
        {"limits met", {1, 0, 20.0, 50.0}, "pass", "pass", "pass", "pass"},
        {"limits missed", {0, {}, 10.0, 40.0}, "fail", "pass", "fail", "fail"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReportInput input = BaseInput();
        input.soak = &run;
        input.soakLimits = row.limits;
        const std::string html = HtmlReport(input);
        EXPECT_EQ(RowVerdict(html, "Ran its time"), "pass");
        EXPECT_EQ(RowVerdict(html, "Xruns"), row.xruns);
        EXPECT_EQ(RowVerdict(html, "Glitches no xrun explains"), row.glitches);
        EXPECT_EQ(RowVerdict(html, "Drift (the input's clock against the output's)"), row.drift);
        EXPECT_EQ(RowVerdict(html, "Latency wander"), row.wander);
    }
    // The soak's own words for a missed limit, beside the figure.
    ReportInput input = BaseInput();
    input.soak = &run;
    input.soakLimits.maxDriftPpm = 10;
    EXPECT_NE(HtmlReport(input).find("+15.2 ppm \u00b1 0.04; drift 15.200 ppm &gt; 10 ppm"), std::string::npos);
}

TEST(HtmlReportSoak, ModesShowWhatTheyMeasuredAndAnEndedRunIsNotAPass)
{
    SoakRun record = ShortSoak();
    record.mode = SoakMode::RecordOnly;
    record.outcome = SoakOutcome::Cancelled;
    record.levelSeen = true;
    record.levelDbfs.Add(0, -20);
    ReportInput input = BaseInput();
    input.soak = &record;
    std::string html = HtmlReport(input);
    EXPECT_EQ(RowVerdict(html, "Ran its time"), "warn");
    EXPECT_EQ(RowVerdict(html, "Latency wander"), "");
    EXPECT_NE(html.find("The input&#39;s level"), std::string::npos);
    EXPECT_EQ(html.find("Drift so far"), std::string::npos);

    SoakRun failed = ShortSoak();
    failed.outcome = SoakOutcome::DeviceFailed;
    failed.error = "the output was lost";
    failed.stimulusHeard = false;
    input.soak = &failed;
    html = HtmlReport(input);
    EXPECT_EQ(RowVerdict(html, "Ran its time"), "fail");
    EXPECT_NE(html.find("ended: the output was lost"), std::string::npos);
    EXPECT_EQ(RowVerdict(html, "Latency wander"), "warn");
}

TEST(HtmlReportSoak, ALongSoakKeepsTheFileSmall)
{
    // Eight hours, an event every three seconds for as long as the result
    // keeps them, and ten times as many counted.
    SoakRun run = ShortSoak();
    run.durationSeconds = run.elapsedSeconds = 8 * 3600;
    run.events.clear();
    for (std::size_t i = 0; i < SoakEventsKept; ++i)
        run.events.push_back(Event(i % 3 == 0 ? SoakEventKind::Xrun : SoakEventKind::Jump,
                                   i % 2 == 0 ? WaveDirection::Input : WaveDirection::Output, 2.88 * double(i), i, 64));
    run.eventCount = 10 * SoakEventsKept;
    for (int s = 0; s < 8 * 3600; ++s) {
        run.latencyMs.Add(s, 10 + s % 7);
        run.drift.Add(s, 15 + (s % 11) * 0.01);
    }
    ReportInput input = BaseInput();
    input.soak = &run;
    input.json = SoakJson(run, 0);
    const std::string html = HtmlReport(input);
    const std::string data = DataBlockJson(html);
    EXPECT_EQ(data, input.json);
    // Beside the data block (the --json document, as the result bounds it):
    // 100 rows of events, and a timeline of at most one mark per kind, lane
    // and place.
    EXPECT_LT(html.size() - data.size(), 150u * 1024) << html.size() - data.size();
    EXPECT_NE(html.find("Events, the first 100 of 100000"), std::string::npos);
    EXPECT_NE(html.find("99900 more event(s) are counted, not listed"), std::string::npos);
    EXPECT_EQ(Count(html, "<td>jump</td>"), 66u);
}

TEST(HtmlReport, TheSystemSectionSaysWhatWasNotFound)
{
    ReportInput input = BaseInput();
    input.system.serversNote = "not found (no PipeWire or PulseAudio socket in this session)";
    input.system.cards = "not found (/proc/asound/cards cannot be read)";
    const std::string html = HtmlReport(input);
    EXPECT_NE(html.find("not found (no PipeWire or PulseAudio socket in this session)"), std::string::npos);
    EXPECT_NE(html.find("no device was opened"), std::string::npos);

    input.system.servers.push_back({"PipeWire", "", "pw-cli info 0", "its socket is there, but pw-cli is not installed"});
    const std::string withSocket = HtmlReport(input);
    EXPECT_NE(withSocket.find("<td>not found</td>"), std::string::npos);
    EXPECT_NE(withSocket.find("pw-cli is not installed"), std::string::npos);
}

TEST(HtmlReport, AFailedStepIsNamedInTheSoundSystemsWords)
{
    WaveHostDetail host;
    host.deviceName = "hw:1,0";
    host.call = "snd_pcm_hw_params_set_rate";
    host.error = 22;
    host.text = "Invalid argument";
    host.xruns = 2;
    host.framesLost = 480;
    EXPECT_EQ(HostWords("capture", "USB", host),
              (std::vector<std::string>{
                  "capture device 'USB' (hw:1,0): snd_pcm_hw_params_set_rate failed: Invalid argument (error 22)",
                  "capture device 'USB' (hw:1,0): 2 xrun(s), 480 frames lost"}));
    EXPECT_TRUE(HostWords("playback", "USB", WaveHostDetail{}).empty());
}

TEST(SystemSnapshot, ServersAreReadFromTheirOwnAnswers)
{
    const std::string pwCli = "\tid: 0\n\tpermissions: rwxm\n\ttype: PipeWire:Interface:Core/4\n"
                              "*\tcookie: 1234\n\tuser-name: \"root\"\n\thost-name: \"box\"\n"
                              "\tversion: \"0.3.65\"\n\tname: \"pipewire-0\"\n";
    EXPECT_EQ(PipeWireCoreVersion(pwCli), "0.3.65");
    EXPECT_EQ(PipeWireCoreVersion("id: 0\n"), "");
    const PulseInfo viaPipeWire =
        ParsePulseInfo("Server String: /run/pulse/native\nServer Name: PulseAudio (on PipeWire 0.3.65)\n"
                       "Server Version: 15.0.0\nDefault Sink: tm_null\n");
    EXPECT_EQ(viaPipeWire.serverName, "PulseAudio (on PipeWire 0.3.65)");
    EXPECT_EQ(viaPipeWire.serverVersion, "15.0.0");
    EXPECT_EQ(ParsePulseInfo("Server Name: pulseaudio\r\nServer Version: 16.1\r\n").serverVersion, "16.1");
}

TEST(SystemSnapshot, TheRunningSystemIsNamed)
{
    const SystemSnapshot s = TakeSystemSnapshot("tallowmere-cli test");
    EXPECT_EQ(s.program, "tallowmere-cli test");
    EXPECT_FALSE(s.build.empty());
    EXPECT_FALSE(s.system.empty());
    EXPECT_FALSE(s.alsaLibrary.empty());
    EXPECT_FALSE(s.alsaDriver.empty());
    EXPECT_EQ(s.date.size(), std::string("2026-12-09 12:00:00 UTC").size());
    EXPECT_TRUE(s.servers.empty() != s.serversNote.empty());
}

TEST(HtmlReportFile, IsWrittenWholeOrNotAtAll)
{
    CScratchDir dir;
    ReportInput input = BaseInput();
    std::string error;
    const std::string path = dir.File("report.html");
    ASSERT_TRUE(WriteHtmlReport(input, path, error)) << error;
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), HtmlReport(input));

    // A directory in the way, a missing directory: the reason, and no file left.
    EXPECT_FALSE(WriteHtmlReport(input, dir.path, error));
    EXPECT_NE(error.find("cannot write '" + dir.path + "': "), std::string::npos) << error;
    EXPECT_FALSE(WriteHtmlReport(input, dir.File("missing") + "/report.html", error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"report.html"});
}

} // namespace
