// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli --analyze-file as a process on the files users have: float
// and many-channel files made by sox, headers it must refuse, a file cut
// short, one frame, a 4 GiB file whose sizes wrapped, and files it may only
// read. Each ends with figures that are true or a reason and exit status 1.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ProcessRunner.h"

namespace {

namespace fs = std::filesystem;

bool HaveSox()
{
    return std::system("sox --version >/dev/null 2>&1") == 0;
}

void Put(std::string& bytes, std::uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
}

// A plain PCM header with every field as given, `statedBytes` in the data
// chunk and `held` bytes of samples (a ramp) after it.
void WriteHeader(const fs::path& path, std::uint16_t channels, std::uint32_t rate, std::uint16_t align,
                 std::uint16_t bits, std::uint32_t statedBytes, std::size_t held)
{
    std::string b = "RIFF";
    Put(b, static_cast<std::uint32_t>(36 + statedBytes), 4);
    b += "WAVEfmt ";
    Put(b, 16, 4);
    Put(b, 1, 2);
    Put(b, channels, 2);
    Put(b, rate, 4);
    Put(b, rate * align, 4);
    Put(b, align, 2);
    Put(b, bits, 2);
    b += "data";
    Put(b, statedBytes, 4);
    for (std::size_t i = 0; i < held; ++i)
        b.push_back(static_cast<char>(i * 37));
    std::ofstream(path, std::ios::binary) << b;
}

struct AnalyzeFileProcessTest : testing::Test {
    ProcessResult Analyse(const fs::path& file, std::vector<std::string> more = {}, ProcessControl control = {})
    {
        std::vector<std::string> arguments = {"--analyze-file", file.string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return RunProgram(arguments, {}, control);
    }
    CRunDirectory run;
    const fs::path& directory = run.Path();
};

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Float and many-channel files as sox writes them: a -6 dBFS 1 kHz sine in
// every channel, found in every channel, clean.
TEST_F(AnalyzeFileProcessTest, SoxFloatAndManyChannelFilesGiveTrueFigures)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    const struct {
        const char* name;
        const char* soxFormat;
        int channels;
        const char* fileLine; // "" for none
    } rows[] = {
        {"float32", "-e floating-point -b 32 -c 1", 1,
         "File: samples are 32-bit float, analysed as 32-bit fixed point (1.0 is full scale)"},
        {"float64", "-e floating-point -b 64 -c 2", 2,
         "File: samples are 64-bit float, analysed as 32-bit fixed point (1.0 is full scale)"},
        {"three16", "-b 16 -c 3", 3, ""},
        {"six24", "-b 24 -c 6", 6, ""},
        {"threefloat", "-e floating-point -b 32 -c 3", 3, "File: samples are 32-bit float"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::path wave = directory / (std::string(row.name) + ".wav");
        std::string make = std::string("sox -D -n -r 48000 ") + row.soxFormat + " '" + wave.string() +
                           "' synth 1 sine 1000 vol 0.5";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        ProcessResult r = Analyse(wave, {"--max-thdn", "-80"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(std::to_string(row.channels) + (row.channels == 1 ? " channel," : " channels,")),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(Count(r.out, "tone 1000.00 Hz at -6.02 dBFS"), static_cast<std::size_t>(row.channels)) << r.out;
        if (*row.fileLine)
            EXPECT_NE(r.out.find(row.fileLine), std::string::npos) << r.out;
        else
            EXPECT_EQ(r.out.find("File:"), std::string::npos) << r.out;
    }
}

// Headers that cannot be read truly: exit 1, the reason on standard error
// and in JSON, nothing analysed.
TEST_F(AnalyzeFileProcessTest, HeadersThatCannotBeReadTrulyAreRefused)
{
    const struct {
        const char* name;
        std::uint16_t channels;
        std::uint32_t rate;
        std::uint16_t align;
        std::uint16_t bits;
        const char* says;
    } rows[] = {
        {"align3", 2, 48000, 3, 8, "block align 3 does not fit 2 channels of 8-bit samples (2 bytes a frame)"},
        {"align5", 2, 48000, 5, 16, "block align 5 does not fit"},
        {"align8", 2, 48000, 8, 16, "block align 8 does not fit"},
        {"align65535", 2, 48000, 65535, 16, "block align 65535 does not fit"},
        {"rate0", 1, 0, 2, 16, "sample rate 0"},
        {"rate2g", 1, 0x80000000u, 2, 16, "sample rate 2147483648 Hz is beyond 2147483647 Hz"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::path wave = directory / (std::string(row.name) + ".wav");
        WriteHeader(wave, row.channels, row.rate, row.align, row.bits, 48000, 48000);
        ProcessResult text = Analyse(wave);
        EXPECT_EQ(text.status, 1);
        EXPECT_EQ(text.out, "");
        EXPECT_EQ(text.err.rfind("tallowmere: fmt chunk '" + wave.string() + "': " + row.says, 0), 0u) << text.err;
        ProcessResult json = Analyse(wave, {"--json"});
        JsonValue doc;
        ASSERT_TRUE(ParseJson(json.out, doc)) << json.out;
        EXPECT_EQ(json.status, 1);
        EXPECT_FALSE(doc["analysis"]["ok"].boolean);
        EXPECT_NE(doc["analysis"]["error"].text.find(row.says), std::string::npos) << json.out;
        EXPECT_EQ(doc["file"].kind, JsonValue::Kind::Null);
        EXPECT_EQ(doc["exitStatus"].number, 1);
    }
    // The precision asked for must fit the samples.
    fs::path sixteen = directory / "sixteen.wav";
    WriteHeader(sixteen, 1, 48000, 2, 16, 9600, 9600);
    ProcessResult wider = Analyse(sixteen, {"--valid-bits", "24"});
    EXPECT_EQ(wider.status, 1);
    EXPECT_EQ(wider.err, "tallowmere: '" + sixteen.string() + "': --valid-bits 24 is more than its 16-bit integer "
                                                              "samples hold\n");
}

// A file shorter than it states, and one of a single frame: analysed, with
// a warning that names what is missing, in the text and in JSON.
TEST_F(AnalyzeFileProcessTest, ShortFilesAreAnalysedWithAWarning)
{
    fs::path cut = directory / "cut.wav";
    WriteHeader(cut, 1, 48000, 2, 16, 96000, 1000);
    const std::string warning = "the data chunk states 48000 frames but the file holds 500: 47500 frames are missing";
    ProcessResult text = Analyse(cut);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("Analysis of " + cut.string() + "\nWarning: " + warning + "\nFrames: 500 ", 0), 0u)
        << text.out;
    ProcessResult json = Analyse(cut, {"--json"});
    JsonValue doc;
    ASSERT_TRUE(ParseJson(json.out, doc)) << json.out;
    EXPECT_EQ(doc["analysis"]["frames"].number, 500);
    EXPECT_EQ(doc["file"]["statedFrames"].number, 48000);
    EXPECT_EQ(doc["file"]["framesMissing"].number, 47500);
    ASSERT_EQ(doc["file"]["warnings"].items.size(), 1u);
    EXPECT_EQ(doc["file"]["warnings"].items[0].text, warning);

    fs::path one = directory / "one.wav";
    WriteHeader(one, 2, 48000, 4, 16, 4, 4);
    ProcessResult single = Analyse(one);
    EXPECT_EQ(single.status, 0) << single.err;
    EXPECT_NE(single.out.find("Frames: 1 (0.000 s) at 48000 Hz, 2 channels"), std::string::npos) << single.out;
    EXPECT_NE(single.out.find("Warning: 1 frame is too short for a spectrum"), std::string::npos) << single.out;
}

// A file past 4 GiB with a RIFF size that wrapped: refused at once, without
// walking its four gigabytes for chunks.
TEST_F(AnalyzeFileProcessTest, AFileWhoseSizesWrappedIsRefusedAtOnce)
{
    fs::path big = directory / "big.wav";
    const std::uint64_t dataBytes = (std::uint64_t{1} << 32) + 100;
    // Both sizes as a writer that let them wrap leaves them: 136 and 100.
    WriteHeader(big, 2, 48000, 4, 16, static_cast<std::uint32_t>(dataBytes), 0);
    std::error_code sparse;
    fs::resize_file(big, 44 + dataBytes, sparse);
    if (sparse)
        GTEST_SKIP() << "no sparse file of 4 GiB here: " << sparse.message();
    auto start = std::chrono::steady_clock::now();
    ProcessResult r = Analyse(big);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the file is 4294967440 bytes long, more than the 4294967303 a RIFF WAVE file can "
                         "describe: its chunk sizes have wrapped"),
              std::string::npos)
        << r.err;
    EXPECT_LT(seconds, 2.0);
}

// Opened for reading only: a file of another user that may only be read,
// and a read-only mount, analyse as any file does.
TEST_F(AnalyzeFileProcessTest, FilesThatMayOnlyBeReadAreAnalysed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to give the file to nobody and to mount read-only";
    fs::path wave = directory / "theirs.wav";
    WriteHeader(wave, 1, 48000, 2, 16, 9600, 9600);
    ASSERT_EQ(::chown(wave.c_str(), 65534, 65534), 0);
    fs::permissions(wave, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    // Another user (not nobody, not root) who may only read it.
    ProcessControl asAnother;
    asAnother.launcher = {"setpriv", "--reuid=1234", "--regid=1234", "--clear-groups"};
    for (fs::path p = directory; p != p.root_path(); p = p.parent_path())
        if ((fs::status(p).permissions() & fs::perms::others_exec) == fs::perms::none)
            GTEST_SKIP() << p << " cannot be searched by another user";
    ProcessResult other = Analyse(wave, {}, asAnother);
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_NE(other.out.find("Frames: 4800 "), std::string::npos) << other.out;

    ProcessControl readOnlyMount;
    readOnlyMount.launcher = {"unshare", "--mount", "--propagation", "private", "sh", "-c",
                              "mount --bind '" + directory.string() + "' '" + directory.string() +
                                  "' && mount -o remount,bind,ro '" + directory.string() + "' && exec \"$0\" \"$@\""};
    ProcessResult mounted = Analyse(wave, {}, readOnlyMount);
    if (mounted.err.find("mount") != std::string::npos && mounted.status != 0)
        GTEST_SKIP() << "no private read-only mount here: " << mounted.err;
    EXPECT_EQ(mounted.status, 0) << mounted.err;
    EXPECT_NE(mounted.out.find("Frames: 4800 "), std::string::npos) << mounted.out;
}

} // namespace
