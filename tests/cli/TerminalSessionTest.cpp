// SPDX-License-Identifier: GPL-3.0-or-later
// tallowmere-cli on a pseudo-terminal, as a person at a terminal runs it:
// the status line redrawn in place, Esc cancels, the tone question is asked,
// and the terminal is left as it was found.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "ProcessRunner.h"

namespace {

// A command line run by bash on the terminal, with the program's path in $CLI.
struct ShellCommand {
    std::string text;
};

class CTerminalSession {
public:
    explicit CTerminalSession(std::vector<std::string> arguments)
    {
        std::string program = TALLOWMERE_CLI_PROGRAM;
        arguments.insert(arguments.begin(), program);
        Start(program, std::move(arguments));
    }
    explicit CTerminalSession(const ShellCommand& command)
    {
        Start("/bin/bash", {"bash", "-c", command.text});
    }
    ~CTerminalSession()
    {
        if (child > 0 && status < 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (master >= 0)
            close(master);
    }

    // Reads until `text` has appeared (true) or the time is up; generous, for
    // a loaded machine and sanitizer builds.
    bool WaitFor(const std::string& text, int milliseconds = 60000)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (screen.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end || !ReadSome(50))
                return screen.find(text) != std::string::npos;
        }
        return true;
    }
    void Type(const std::string& keys) { ASSERT_EQ(write(master, keys.data(), keys.size()), ssize_t(keys.size())); }
    // The exit status; a program still running after five minutes is killed
    // and the test fails, rather than the suite hanging.
    int Wait()
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (ReadSome(50)) {
            if (std::chrono::steady_clock::now() > end) {
                ADD_FAILURE() << "the program did not end within five minutes";
                kill(child, SIGKILL);
                break;
            }
        }
        int raw = 0;
        waitpid(child, &raw, 0);
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return status;
    }
    // The terminal's settings as the program left them.
    termios Settings()
    {
        termios settings{};
        tcgetattr(master, &settings);
        return settings;
    }

    std::string screen;

private:
    void Start(const std::string& program, std::vector<std::string> arguments)
    {
        child = forkpty(&master, nullptr, nullptr, nullptr);
        if (child == 0) {
            setenv("TALLOWMERE_AUDIO", "virtual", 1);
            setenv("CLI", TALLOWMERE_CLI_PROGRAM, 1);
            ResetSignalsForChild();
            std::vector<char*> argv;
            for (std::string& argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }

    // False once the program has closed the terminal.
    bool ReadSome(int milliseconds)
    {
        pollfd waiting{master, POLLIN, 0};
        if (poll(&waiting, 1, milliseconds) <= 0)
            return true;
        char buffer[4096];
        ssize_t count = read(master, buffer, sizeof buffer);
        if (count <= 0)
            return false;
        screen.append(buffer, static_cast<std::size_t>(count));
        return true;
    }

    int master = -1;
    pid_t child = -1;
    int status = -1;
};

} // namespace

TEST(TerminalSession, EscCancelsAndTheStatusLineIsRedrawnInPlace)
{
    CTerminalSession session({"--duration", "100"});
    termios before = session.Settings();
    ASSERT_TRUE(session.WaitFor("Press <Esc> to cancel")) << session.screen;
    ASSERT_TRUE(session.WaitFor("%")) << session.screen;
    session.Type("\x1b[A"); // an arrow key is not Esc
    session.Type("\x1b");
    EXPECT_EQ(session.Wait(), 130) << session.screen;
    EXPECT_NE(session.screen.find("\rRecording...   Press <Esc> to cancel"), std::string::npos) << session.screen;
    EXPECT_NE(session.screen.find("\033[K"), std::string::npos);
    // The report comes after the status line was erased (the terminal turns \n into \r\n).
    EXPECT_NE(session.screen.find("Record\tRecording cancelled\r\n"), std::string::npos) << session.screen;
    termios after = session.Settings();
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
}

TEST(TerminalSession, ToneQuestionIsAskedOnATerminal)
{
    CTerminalSession session({"--channels", "3", "--duration", "1"});
    ASSERT_TRUE(session.WaitFor("1kHz tone? [y/N] ")) << session.screen;
    session.Type("y");
    EXPECT_EQ(session.Wait(), 1) << session.screen;
    EXPECT_NE(session.screen.find("Output Device:\tTallowmere Virtual Output"), std::string::npos) << session.screen;
}

// A reader of the report that has gone (`| true`) ends the program with
// SIGPIPE as usual, but the terminal it read keys from gets its echo back.
TEST(TerminalSession, TerminalIsRestoredWhenTheReportHasNoReader)
{
    CTerminalSession session(ShellCommand{"\"$CLI\" --duration 1 | true; echo \"status ${PIPESTATUS[0]}\""});
    termios before = session.Settings();
    EXPECT_EQ(session.Wait(), 0) << session.screen;
    EXPECT_NE(session.screen.find("status 141"), std::string::npos) << session.screen;
    termios after = session.Settings();
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
}

// Started in the background of an interactive shell, the program leaves the
// terminal alone (setting its modes or reading it would stop the job) and
// runs to its end as in a script.
TEST(TerminalSession, BackgroundJobRunsWithoutTheKeyboard)
{
    CTerminalSession session(
        ShellCommand{"set -m; \"$CLI\" --duration 1 >/dev/null 2>&1 & wait $!; echo \"status $?\""});
    EXPECT_EQ(session.Wait(), 0) << session.screen;
    EXPECT_NE(session.screen.find("status 0"), std::string::npos) << session.screen;
}
