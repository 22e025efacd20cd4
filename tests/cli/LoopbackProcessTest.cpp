// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli --loopback run as a process: on the virtual loopback pair
// with impairments of known size, on devices that are not wired together,
// on an ALSA device that refuses the format, cancelled, and drawing its plot.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ProcessRunner.h"

namespace {

namespace fs = std::filesystem;

// A program built with ThreadSanitizer runs many times slower: at 384 kHz it
// cannot stream the virtual pair in real time, so its runs end differently.
#if defined(__SANITIZE_THREAD__)
constexpr bool ThreadSanitized = true;
#else
constexpr bool ThreadSanitized = false;
#endif

const std::vector<std::string> LoopbackPair = {"--loopback", "--input", "Tallowmere Virtual Loopback In",
                                               "--output", "Tallowmere Virtual Loopback Out"};

ProcessResult RunLoopback(std::vector<std::string> flags, const std::string& chain = "",
                          const std::string& interruptOnError = "")
{
    std::vector<std::string> arguments = LoopbackPair;
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    std::map<std::string, std::string> environment = {{"TALLOWMERE_AUDIO", "virtual"}};
    if (!chain.empty())
        environment["TALLOWMERE_VIRTUAL_LOOPBACK"] = chain;
    return RunProgram(arguments, environment, interruptOnError);
}

TEST(LoopbackProcess, MeasuresTheVirtualChainItWasGiven)
{
    ProcessResult run = RunLoopback({"--channels", "2", "--rate", "48000", "--json"},
                                    "latency=480,gain=-3,noise=-90,harmonic=-40,crosstalk=-60,seed=7");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    JsonValue doc;
    ASSERT_TRUE(ParseJson(run.out, doc)) << run.out;
    const JsonValue& l = doc["loopback"];
    EXPECT_EQ(l["outcome"].text, "measured");
    EXPECT_EQ(l["input"]["name"].text, "Tallowmere Virtual Loopback In");
    // The two starts count as one on the virtual pair: the latency is the chain's.
    EXPECT_EQ(l["latency"]["frames"].number, 480);
    ASSERT_EQ(l["channel"].items.size(), 2u);
    for (const JsonValue& c : l["channel"].items) {
        // A crosstalk of -60 dB adds its share to each channel's level.
        EXPECT_NEAR(c["gainDb"].number, -3, 0.05);
        EXPECT_NEAR(c["thdnDb"].number, -40, 1);
        EXPECT_NEAR(c["toneFrequencyHz"].number, 1000, 0.5);
        EXPECT_NEAR(c["noiseFloorDbfs"].number, -90, 1);
    }
    EXPECT_NEAR(l["crosstalk"]["levelDb"].items[0].items[1].number, -60, 1);
    EXPECT_NEAR(l["crosstalk"]["levelDb"].items[1].items[0].number, -60, 1);
    EXPECT_FALSE(l["crosstalk"]["swapped"].boolean);
    for (const JsonValue& r : l["response"].items) {
        EXPECT_NEAR(r["minDb"].number, 0, 0.2);
        EXPECT_NEAR(r["maxDb"].number, 0, 0.2);
    }
    EXPECT_TRUE(l["dropouts"].items.empty());
    EXPECT_EQ(doc["exitStatus"].number, 0);
}

// The virtual pair is the known truth on the real clock too: the same
// settings give the same figures to the last digit every run, at 48 kHz
// with no latency and at 384 kHz, with no dropout the chain did not set.
TEST(LoopbackProcess, SameSettingsMeasureTheSameEveryRun)
{
    struct Row {
        const char* rate;
        const char* chain;
        double latency;
    } rows[] = {{"48000", "latency=0,noise=-100,seed=5", 0}, {"384000", "", 256}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rate);
        if (ThreadSanitized && std::string(row.rate) == "384000") {
            std::printf("not run at 384 kHz: a ThreadSanitizer build cannot keep real time there\n");
            continue;
        }
        std::string first;
        for (int i = 0; i < 3; ++i) {
            ProcessResult run = RunLoopback({"--channels", "2", "--rate", row.rate, "--json"}, row.chain);
            ASSERT_EQ(run.status, 0) << run.err << run.out;
            if (i == 0)
                first = run.out;
            EXPECT_EQ(run.out, first) << "run " << i;
        }
        JsonValue doc;
        ASSERT_TRUE(ParseJson(first, doc)) << first;
        const JsonValue& l = doc["loopback"];
        EXPECT_EQ(l["latency"]["frames"].number, row.latency);
        EXPECT_TRUE(l["dropouts"].items.empty()) << first;
        for (const JsonValue& c : l["channel"].items)
            EXPECT_LT(c["thdnDb"].number, -85) << first;
    }
}

TEST(LoopbackProcess, TableShowsTiltSwapAndDropoutWhereTheyWere)
{
    // 30000 frames into the capture lies in the sweep, whatever the start.
    ProcessResult run = RunLoopback({"--channels", "2", "--rate", "48000", "--bits", "24"},
                                    "latency=1000,tilt=-1,swap,dropout=30000+96");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    const std::string& t = run.out;
    EXPECT_NE(t.find("Loopback measurement\n  Input:    1: Tallowmere Virtual Loopback In\n"), std::string::npos)
        << t;
    EXPECT_NE(t.find("  channels                    SWAPPED\n"), std::string::npos) << t;
    EXPECT_NE(t.find("  came back loudest in        channel 2           channel 1\n"), std::string::npos) << t;
    const std::size_t lowest = t.find("  lowest                      ");
    ASSERT_NE(lowest, std::string::npos) << t;
    EXPECT_NEAR(std::stod(t.substr(lowest + 30)), -1, 0.2) << t;
    // Both channels lose the same frames: 625 ms into the capture.
    const std::size_t dropout = t.find("Dropouts                      2\n  channel 1 at ");
    ASSERT_NE(dropout, std::string::npos) << t;
    EXPECT_NEAR(std::stod(t.substr(dropout + 46)), 625, 1) << t;
}

TEST(LoopbackProcess, ThresholdsGiveStatusThreeAndNameTheFailedCheck)
{
    ProcessResult run = RunLoopback({"--measure", "latency,thd", "--max-latency", "5", "--max-thdn", "-30", "--json"},
                                    "latency=4410,harmonic=-40");
    ASSERT_EQ(run.status, 3) << run.err << run.out;
    JsonValue doc;
    ASSERT_TRUE(ParseJson(run.out, doc)) << run.out;
    const JsonValue& failed = doc["loopback"]["checks"]["failed"];
    ASSERT_EQ(failed.items.size(), 1u) << run.out;
    EXPECT_EQ(failed.items[0].text.rfind("--max-latency: the round trip takes 100.0", 0), 0u) << failed.items[0].text;
    EXPECT_EQ(doc["loopback"]["response"].kind, JsonValue::Kind::Null);
    EXPECT_EQ(doc["exitStatus"].number, 3);
}

TEST(LoopbackProcess, NoMarkerIsAFailedMeasurementWithoutFigures)
{
    // The plain virtual devices are not wired together.
    ProcessResult run = RunProgram({"--loopback", "--measure", "latency"}, {{"TALLOWMERE_AUDIO", "virtual"}});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("tallowmere: loopback: latency: marker not found (is the output wired back to the input?)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("Not measured: latency: marker not found"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("frames"), std::string::npos) << run.out;
}

TEST(LoopbackProcess, CancelledByCtrlCOrTheTimeOut)
{
    ProcessResult interrupted = RunLoopback({}, "", "Measuring the loopback");
    EXPECT_EQ(interrupted.status, 130) << interrupted.err;
    EXPECT_NE(interrupted.out.find("Not measured (cancelled): the run was cancelled"), std::string::npos)
        << interrupted.out;

    ProcessResult timedOut = RunLoopback({"--timeout", "0.5", "--json"});
    EXPECT_EQ(timedOut.status, 130) << timedOut.err;
    EXPECT_NE(timedOut.err.find("tallowmere: time-out: cancelling"), std::string::npos) << timedOut.err;
    JsonValue doc;
    ASSERT_TRUE(ParseJson(timedOut.out, doc)) << timedOut.out;
    EXPECT_EQ(doc["loopback"]["outcome"].text, "timed out");
    EXPECT_EQ(doc["loopback"]["latency"].kind, JsonValue::Kind::Null);
}

TEST(LoopbackProcess, PlotIsAPictureOfResponseAndSpectrum)
{
    CRunDirectory directory;
    const std::string png = (directory.Path() / "loop.png").string();
    ProcessResult run = RunLoopback({"--measure", "response,thd", "--plot", png}, "tilt=-3");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_NE(run.out.find("Plot: " + png + "\n"), std::string::npos) << run.out;
    QImage image(QString::fromStdString(png));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 1200);
    EXPECT_EQ(image.height(), 820);
    // The curves are drawn in the channel colour; a blank plot has none.
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            coloured += c.blue() > 150 && c.red() < 100;
        }
    EXPECT_GT(coloured, 1000);

    ProcessResult unwritable = RunLoopback({"--measure", "latency", "--plot", "/nonexistent/dir/x.png"});
    EXPECT_EQ(unwritable.status, 3) << unwritable.err;
    EXPECT_NE(unwritable.out.find("Plot not written: cannot write '/nonexistent/dir/x.png'"), std::string::npos)
        << unwritable.out;
}

// The project's paced ALSA test device takes 8 to 192 kHz only.
TEST(LoopbackProcess, RefusedFormatIsADeviceFailureWithItsStepAndCode)
{
    CRunDirectory directory;
    const fs::path config = directory.Path() / "asound.conf";
    std::ofstream(config) << "pcm_type.tallowtest { lib \"" TALLOWMERE_ALSA_TEST_PLUGIN "\" }\n"
                             "pcm.paced {\n"
                             "  type tallowtest\n"
                             "  lock \"" << (directory.Path() / "paced.lock").string() << "\"\n"
                             "  hint { show on description \"Paced test device\" }\n"
                             "}\n";
    ProcessResult run = RunProgram({"--loopback", "--input", "Paced test device", "--output", "Paced test device", "--rate", "384000",
                                    "--json"},
                                   {{"TALLOWMERE_AUDIO", "alsa"}, {"ALSA_CONFIG_PATH", config.string()}});
    EXPECT_EQ(run.status, 1) << run.err << run.out;
    EXPECT_NE(run.err.find("tallowmere: loopback: the input's open failed with code "), std::string::npos) << run.err;
    JsonValue doc;
    ASSERT_TRUE(ParseJson(run.out, doc)) << run.out;
    const JsonValue& l = doc["loopback"];
    EXPECT_EQ(l["outcome"].text, "device failed");
    EXPECT_EQ(l["deviceFailure"]["direction"].text, "input");
    EXPECT_EQ(l["deviceFailure"]["step"].text, "open");
    EXPECT_NE(l["deviceFailure"]["code"].number, 0);
    EXPECT_EQ(doc["exitStatus"].number, 1);
}

} // namespace
