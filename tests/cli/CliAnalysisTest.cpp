// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli's analysis run as a process: the virtual input's recording
// named for what it is, the report's bytes untouched, the checks' exit
// status, --analyze-file and --plot.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef TALLOWMERE_CLI
#error "TALLOWMERE_CLI names the program under test"
#endif

namespace {

struct Result {
    int status = -1;
    std::string out;
};

// Runs the program on the virtual devices; standard error is dropped.
Result Cli(const std::string& arguments)
{
    Result r;
    std::string command = "TALLOWMERE_AUDIO=virtual timeout 300 '" + std::string(TALLOWMERE_CLI) + "' " + arguments +
                          " 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    int raw = ::pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

std::string TempPath(const char* name)
{
    return std::filesystem::temp_directory_path().string() + "/tallowmere-cli-analysis-" + std::to_string(::getpid()) +
           "-" + name;
}

struct RecordingRow {
    const char* name;
    const char* flags;
    const char* validBits; // what the text must say is carried
};

class VirtualRecording : public testing::TestWithParam<RecordingRow> {};

TEST_P(VirtualRecording, NamesTheSineAtHalfScaleAndItsValidBits)
{
    const RecordingRow& row = GetParam();
    Result r = Cli(std::string("--analyze --rate 48000 --duration 1 ") + row.flags);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Analysis of the recording"), std::string::npos) << r.out;
    // Half of full scale; 8 bits round the sine's crest by up to a step.
    auto tone = r.out.find("tone 440.00 Hz at ");
    ASSERT_NE(tone, std::string::npos) << r.out;
    EXPECT_NEAR(std::stod(r.out.substr(tone + 18)), -6.02, 0.1) << r.out;
    EXPECT_NE(r.out.find(std::string("Valid bits: ") + row.validBits + " carried, " + row.validBits + " requested\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("MISMATCH"), std::string::npos);
    EXPECT_NE(r.out.find("Dropouts: 0"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Rows, VirtualRecording,
                         testing::Values(RecordingRow{"S16Mono", "--bits 16", "16"},
                                         RecordingRow{"U8Stereo", "--bits 8 --channels 2", "8"},
                                         RecordingRow{"S24Carrying20", "--bits 24 --valid-bits 20 --api extended", "20"},
                                         RecordingRow{"S32Carrying24Stereo",
                                                      "--bits 32 --valid-bits 24 --api extended --channels 2", "24"}),
                         [](const testing::TestParamInfo<RecordingRow>& info) { return std::string(info.param.name); });

TEST(CliAnalysis, TheReportBytesStayAsTheyAre)
{
    Result plain = Cli("--rate 22050 --duration 1 --crlf");
    Result analysed = Cli("--rate 22050 --duration 1 --crlf --analyze");
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(analysed.status, 0);
    ASSERT_GT(analysed.out.size(), plain.out.size());
    EXPECT_EQ(analysed.out.substr(0, plain.out.size()), plain.out);
    EXPECT_EQ(analysed.out.substr(plain.out.size(), 27), "\r\nAnalysis of the recording");
}

TEST(CliAnalysis, AFailedCheckGivesExitStatusThree)
{
    struct Row {
        const char* flags;
        int status;
        const char* says;
    };
    const Row rows[] = {
        {"--expect-frequency 440 --expect-valid-bits 16 --max-clipped 0 --min-snr 60 --no-silence", 0,
         "Signal checks: passed"},
        {"--expect-frequency 1000", 3, "Signal check failed: --expect-frequency: channel 1 has 440.00 Hz"},
        {"--expect-valid-bits 24", 3, "Signal check failed: --expect-valid-bits: 16 bits carried, 24 expected"},
        {"--min-level -3", 3, "Signal check failed: --min-level"},
    };
    for (const Row& row : rows) {
        Result r = Cli(std::string("--duration 1 ") + row.flags);
        EXPECT_EQ(r.status, row.status) << row.flags << "\n" << r.out;
        EXPECT_NE(r.out.find(row.says), std::string::npos) << row.flags << "\n" << r.out;
    }
    Result json = Cli("--duration 1 --json --expect-frequency 1000");
    EXPECT_EQ(json.status, 3);
    EXPECT_NE(json.out.find("\"exitStatus\": 3"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"frequencyHz\": 440"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"passed\": false"), std::string::npos) << json.out;
}

TEST(CliAnalysis, FilesArePlottedAndAnalysedOnTheirOwn)
{
    std::string wave = TempPath("take.wav");
    std::string png = TempPath("take.png");
    Result saved = Cli("--duration 1 --bits 24 --save '" + wave + "'");
    ASSERT_EQ(saved.status, 0);
    Result file = Cli("--analyze-file '" + wave + "' --valid-bits 24 --plot '" + png + "' --expect-frequency 440");
    EXPECT_EQ(file.status, 0) << file.out;
    EXPECT_NE(file.out.find("tone 440.00 Hz at -6.02 dBFS"), std::string::npos) << file.out;
    EXPECT_NE(file.out.find("Plot: " + png), std::string::npos) << file.out;
    std::ifstream picture(png, std::ios::binary);
    char signature[8] = {};
    picture.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
    EXPECT_GT(std::filesystem::file_size(png), 5000u);
    // A picture that cannot be written says why, fails the run and leaves no file.
    const std::string nowhere = TempPath("missing") + "/take.png";
    Result unplotted = Cli("--analyze-file '" + wave + "' --plot '" + nowhere + "'");
    EXPECT_EQ(unplotted.status, 3);
    EXPECT_NE(unplotted.out.find("Plot not written: cannot write '" + nowhere + "': "), std::string::npos)
        << unplotted.out;
    EXPECT_FALSE(std::filesystem::exists(TempPath("missing")));

    Result json = Cli("--analyze-file '" + wave + "' --json --max-clipped 0");
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"of\": \"file\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"validBitsCarried\": 24"), std::string::npos) << json.out;

    std::ofstream(TempPath("broken.wav")) << "RIFF, but nothing more";
    Result broken = Cli("--analyze-file '" + TempPath("broken.wav") + "'");
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.out, "");
    Result missing = Cli("--analyze-file /nonexistent/take.wav --json");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("\"ok\": false"), std::string::npos) << missing.out;
    for (const char* name : {"take.wav", "take.png", "broken.wav"})
        std::filesystem::remove(TempPath(name));
}

TEST(CliAnalysis, DitherIsSilenceAtDitherLevelWithoutDropouts)
{
    // sox dithers its own silence to +-1 step of 16 bits.
    const std::string wave = TempPath("dither.wav");
    ASSERT_EQ(std::system(("sox -n -r 48000 -c 1 -b 16 '" + wave + "' trim 0 1").c_str()), 0);
    Result text = Cli("--analyze-file '" + wave + "' --max-dropouts 0");
    EXPECT_EQ(text.status, 0) << text.out;
    EXPECT_NE(text.out.find("; silence at dither level;"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Dropouts: 0 (none are sought in silence at dither level)"), std::string::npos) << text.out;
    Result json = Cli("--analyze-file '" + wave + "' --json");
    EXPECT_NE(json.out.find("\"silence\": \"silence at dither level\""), std::string::npos) << json.out;
    std::filesystem::remove(wave);
}

TEST(CliAnalysis, UsageNamesTheFlagsAndTheExitStatus)
{
    Result help = Cli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--analyze-file FILE.wav"), std::string::npos);
    EXPECT_NE(help.out.find("3 when the signal check failed"), std::string::npos);
    EXPECT_EQ(Cli("--min-snr loud").status, 2);
    EXPECT_EQ(Cli("--expect-valid-bits 40").status, 2);
    EXPECT_EQ(Cli("--analyze=yes").status, 2);
}

} // namespace
