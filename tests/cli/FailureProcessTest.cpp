// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli as a process where things go wrong around it: saves that
// cannot be written, a signal in the middle of a save, a memory limit, no
// sound devices at all. Each must end with a clear word and an honest status.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ProcessRunner.h"

namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string> virtualDevices = {{"TALLOWMERE_AUDIO", "virtual"}};

struct FailureProcessTest : testing::Test {
    // Entries of the test directory other than `keep`.
    std::vector<std::string> Others(const std::string& keep) const
    {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(directory, ignored))
            if (entry.path().filename() != keep)
                names.push_back(entry.path().filename().string());
        return names;
    }
    CRunDirectory run;
    const fs::path& directory = run.Path();
};

bool SanitizerBuild()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    return false;
}

// A directory nobody may create files in. Root passes permission bits, so
// it gets /proc, where no file can be made at all.
fs::path UnwritableDirectory(const fs::path& base)
{
    if (geteuid() == 0)
        return "/proc/self";
    fs::path locked = base / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    return locked;
}

bool CanMountPrivateTmpfs(const fs::path& where)
{
    std::string command = "unshare --user --map-root-user --mount sh -c 'mount -t tmpfs -o size=128k none \"" +
                          where.string() + "\"' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace

// Every way a save can fail reaches the user: exit 1, the reason on
// standard error, and JSON that names no saved file but the reason.
TEST_F(FailureProcessTest, FailedSavesExitOneAndSayWhy)
{
    fs::path fifo = directory / "fifo.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::path mount = directory / "small";
    fs::create_directories(mount);
    const bool tmpfs = CanMountPrivateTmpfs(mount);

    struct Row {
        std::string name;
        std::string path;
        std::vector<std::string> launcher;
        std::string duration;
    };
    std::vector<Row> rows = {
        {"full device", "/dev/full", {}, "1"},
        {"FIFO", fifo.string(), {}, "1"},
        {"missing directory", (directory / "missing" / "x.wav").string(), {}, "1"},
        {"unwritable directory", (UnwritableDirectory(directory) / "x.wav").string(), {}, "1"},
    };
    if (tmpfs)
        // Two seconds of 16-bit mono need 176 kB; the file system has 128 kB.
        rows.push_back({"full file system", (mount / "x.wav").string(),
                        {"unshare", "--user", "--map-root-user", "--mount", "sh", "-c",
                         "mount -t tmpfs -o size=128k none '" + mount.string() + "' && exec \"$0\" \"$@\""},
                        "2"});
    for (const Row& row : rows) {
        ProcessControl control;
        control.launcher = row.launcher;
        ProcessResult run = RunProgram({"--duration", row.duration, "--save", row.path, "--json"}, virtualDevices,
                                       control);
        EXPECT_EQ(run.status, 1) << row.name << "\n" << run.err;
        EXPECT_NE(run.err.find("tallowmere: cannot save '" + row.path + "': "), std::string::npos)
            << row.name << "\n" << run.err;
        JsonValue result;
        ASSERT_TRUE(ParseJson(run.out, result)) << row.name << "\n" << run.out;
        EXPECT_EQ(result["savedTo"].kind, JsonValue::Kind::Null) << row.name;
        EXPECT_EQ(result["saveError"].kind, JsonValue::Kind::String) << row.name;
        EXPECT_FALSE(result["saveError"].text.empty()) << row.name;
        EXPECT_EQ(result["exitStatus"].number, 1) << row.name;
    }
    EXPECT_EQ(Others("small").size(), 1u) << "only the FIFO is left";
    if (!tmpfs)
        GTEST_SKIP() << "a private tmpfs could not be mounted here (no user namespaces); the full file system "
                        "was not tried";
}

// A file in `directory` that process `pid` holds open: a named temporary
// file, or an anonymous one ("/dir/#123 (deleted)").
bool HoldsFileIn(int pid, const fs::path& directory)
{
    std::error_code ignored;
    const std::string prefix = directory.string() + "/";
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored)) {
        fs::path target = fs::read_symlink(fd.path(), ignored);
        if (target.string().rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

// SIGTERM while a large recording is being written: the temporary file
// beside the target goes with the process. A cancelled recording is saved
// whole, so a 100 s buffer (154 MB) is written after a short time-out; the
// signal goes as soon as the program holds a file beside the target.
TEST_F(FailureProcessTest, TerminationDuringASaveLeavesNoTemporaryFile)
{
    const std::string target = (directory / "big.wav").string();
    bool signalled = false;
    ProcessControl control;
    control.signal = SIGTERM;
    control.signalled = &signalled;
    control.signalWhen = [this](int pid) { return !Others("big.wav").empty() || HoldsFileIn(pid, directory); };
    ProcessResult run = RunProgram({"--rate", "192000", "--channels", "2", "--bits", "32", "--duration", "100",
                                    "--timeout", "0.3", "--save", target},
                                   virtualDevices, control);
    if (!signalled)
        GTEST_SKIP() << "the save ended before it could be caught (status " << run.status << ")";
    EXPECT_EQ(run.status, 128 + SIGTERM) << run.err;
    EXPECT_EQ(Others("big.wav"), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(target)) << "the save was cut off, so nothing is under the target's name";
}

// Under an address-space limit the test cannot have all it wants; whatever
// gives way, the program ends with its report or a message, never an abort.
TEST_F(FailureProcessTest, MemoryLimitEndsWithoutAnAbort)
{
    if (SanitizerBuild())
        GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
    ProcessControl control;
    control.launcher = {"prlimit", "--as=120000000"};
    ProcessResult run = RunProgram({"--rate", "192000", "--channels", "2", "--bits", "32", "--duration", "30",
                                    "--tone", "no", "--timeout", "150"},
                                   virtualDevices, control);
    EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status << "\n" << run.err;
    EXPECT_EQ(run.err.find("terminate called"), std::string::npos) << run.err;
    if (run.status == 1) {
        EXPECT_TRUE(run.err.find("tallowmere: out of memory") != std::string::npos ||
                    run.out.find("Input Device:\t") != std::string::npos)
            << run.err;
    }
}

// No device at all: the message key stays and says what it means. Naming
// the first position (what the empty boxes stand for) changes nothing.
TEST_F(FailureProcessTest, NoSoundCardSaysWhatToCheck)
{
    fs::path config = directory / "empty.conf";
    std::ofstream(config).close();
    const std::map<std::string, std::string> noDevices = {{"TALLOWMERE_AUDIO", "alsa"},
                                                           {"ALSA_CONFIG_PATH", config.string()}};
    ProcessResult run = RunProgram({"--duration", "1", "--tone", "yes"}, noDevices);
    ProcessResult first =
        RunProgram({"--duration", "1", "--tone", "yes", "--input", "0", "--output", "0"}, noDevices);
    EXPECT_EQ(first.status, run.status);
    EXPECT_EQ(first.err, run.err);
    EXPECT_EQ(first.out.substr(first.out.find('\n')), run.out.substr(run.out.find('\n')));
    EXPECT_EQ(RunProgram({"--input", "1"}, noDevices).status, 2);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("tallowmere: IDS_NO_SOUND_CARD: no input device could be opened: is a sound server "
                           "running? see --list\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("tallowmere: IDS_NO_SOUND_CARD: no output device could be opened: is a sound server "
                           "running? see --list\n"),
              std::string::npos)
        << run.err;
}
