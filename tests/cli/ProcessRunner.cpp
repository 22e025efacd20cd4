// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessRunner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr auto LongestRun = std::chrono::minutes(5);

} // namespace

ProcessResult RunProgram(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, const std::string& interruptOnError)
{
    ProcessControl control;
    control.signalOnError = interruptOnError;
    return RunProgram(arguments, environment, control);
}

ProcessResult RunProgram(const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment, const ProcessControl& control)
{
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return result;
    pid_t child = fork();
    if (child == 0) {
        for (const auto& [name, value] : environment)
            setenv(name.c_str(), value.c_str(), 1);
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        ResetSignalsForChild();
        std::vector<std::string> copies = control.launcher;
        copies.push_back(TALLOWMERE_CLI_PROGRAM);
        copies.insert(copies.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : copies)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    auto start = std::chrono::steady_clock::now();
    bool signalled = control.signalOnError.empty() && !control.signalWhen;
    const int pollMilliseconds = control.signalWhen ? 2 : 20;
    bool killed = false;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, pollMilliseconds) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(count));
            }
        }
        if (!signalled && ((!control.signalOnError.empty() && result.err.find(control.signalOnError) != std::string::npos) ||
                           (control.signalWhen && control.signalWhen(child)))) {
            kill(child, control.signal);
            signalled = true;
            if (control.signalled)
                *control.signalled = true;
        }
        if (!killed && std::chrono::steady_clock::now() - start > LongestRun) {
            ADD_FAILURE() << "the program did not end within five minutes";
            kill(child, SIGKILL);
            killed = true;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // In a sanitizer build a report would otherwise pass as an exit status of 1.
    EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
    return result;
}

void ResetSignalsForChild()
{
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE})
        signal(signalNumber, SIG_DFL);
}

CRunDirectory::CRunDirectory()
    : path(std::filesystem::path(TALLOWMERE_CLI_TEST_DIR) /
           (std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
            std::to_string(getpid())))
{
    std::filesystem::create_directories(path);
}

CRunDirectory::~CRunDirectory()
{
    std::error_code ignored;
    // A test may have left a directory it made unwritable.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ignored))
        if (entry.is_directory(ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path, ignored);
}

std::string CommandOutput(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}
