// SPDX-License-Identifier: GPL-3.0-or-later
// The report's document: its sections present exactly when their
// measurement ran, outside texts always shown as text, the JSON block read
// back as the document given, the system snapshot's parsing of the sound
// servers' answers, and the whole-or-nothing file write.
#include <gtest/gtest.h>

#include <string>

#include "measure/formats/FormatMatrix.h"
#include "measure/report/HtmlReport.h"
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
    struct Row {
        const char* name;
        bool withTest;
        bool withFormats;
        std::vector<std::string> ids;
    };
    const Row rows[] = {
        {"system alone", false, false, {"system"}},
        {"test", true, false, {"system", "test"}},
        {"formats", false, true, {"system", "formats"}},
        {"both", true, true, {"system", "test", "formats"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ReportInput input = BaseInput();
        input.test = row.withTest ? &test : nullptr;
        input.formats = row.withFormats ? &formats : nullptr;
        EXPECT_EQ(ReportSectionIds(input), row.ids);
        const std::string html = HtmlReport(input);
        for (const char* id : {"system", "test", "analysis", "loopback", "formats"}) {
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
