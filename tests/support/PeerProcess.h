#pragma once

// Helpers for tests that run programs as child processes: find a binary (a missing one is
// a failure that names the Debian package), start a program with an argument vector, run
// a command to its end and collect its output, wait until a program's loopback port
// accepts, and stop it again.

#include "tests/support/RawLoopback.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orvane::testing {

// The first of the paths that is an executable file, or "" (and a test failure naming the
// package that provides it).
inline std::string findPeerBinary(const std::vector<std::string>& candidates, const std::string& package)
{
    for (const std::string& path : candidates)
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    ADD_FAILURE() << candidates.front() << " is missing: install the Debian package " << package
                  << " (scripts/install-deps installs it)";
    return std::string();
}

// The argument vector posix_spawn takes: the texts of args (which must outlive it), then
// a null pointer.
inline std::vector<char*> argumentVector(const std::vector<std::string>& args)
{
    std::vector<char*> out;
    for (const std::string& a : args)
        out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

// Starts argv[0] (a full path) with the arguments, the file actions and the attributes
// (either may be null) and this process's environment; posix_spawn's result.
inline int spawnProgram(const std::vector<std::string>& argv, const posix_spawn_file_actions_t* actions,
                        const posix_spawnattr_t* attributes, pid_t& pid)
{
    std::vector<char*> args = argumentVector(argv);
    return posix_spawn(&pid, args[0], actions, attributes, args.data(), environ);
}

// The programs give no other sign of readiness than accepting: probes 127.0.0.1:port with
// a short pause until it accepts (true), or until `running` says the program ended or
// timeoutMs passed (false).
template <class Running>
bool waitUntilAccepting(uint16_t port, int timeoutMs, Running running)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (!running())
            return false;
        if (loopbackPortAccepts(port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

struct CommandResult {
    int status = -1; // the exit code; -1 when it could not run or was killed
    std::string output; // stdout and stderr together
};

// Runs the program (looked up on PATH) with the arguments, never through a shell.
inline CommandResult runCommand(const std::vector<std::string>& args)
{
    CommandResult result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv = argumentVector(args);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        result.output = args[0] + ": " + std::strerror(rc);
        return result;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        result.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Starts the program in the background with stdout and stderr going to the log file;
// its pid, or -1. The caller ends and reaps it.
inline pid_t spawnWithLog(const std::vector<std::string>& args, const std::string& logPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv = argumentVector(args);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// One child process, stopped (SIGTERM, then SIGKILL after a grace period) on destruction.
class PeerProcess {
public:
    PeerProcess() = default;
    ~PeerProcess() { stop(); }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Starts argv[0] with the arguments; stdout and stderr go to logPath when given.
    bool start(const std::vector<std::string>& argv, const std::string& logPath = std::string())
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!logPath.empty()) {
            posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        }
        const int rc = spawn(argv, actions);
        posix_spawn_file_actions_destroy(&actions);
        return rc == 0;
    }

    // Starts argv[0] with the arguments and the file actions the caller prepared;
    // posix_spawn's result.
    int spawn(const std::vector<std::string>& argv, const posix_spawn_file_actions_t& actions)
    {
        reaped_ = false;
        const int rc = spawnProgram(argv, &actions, nullptr, pid_);
        if (rc != 0)
            pid_ = -1;
        return rc;
    }

    // True once the port accepts; false when the process ended or the time ran out.
    bool waitUntilAccepting(uint16_t port, int timeoutMs = 10000)
    {
        return orvane::testing::waitUntilAccepting(port, timeoutMs, [this] { return running(); });
    }

    bool running()
    {
        if (pid_ <= 0)
            return false;
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            reaped(status);
            return false;
        }
        return true;
    }

    // SIGTERM, then SIGKILL when the process has not ended after graceMs.
    void stop(int graceMs = 3000)
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        for (int waited = 0; waited < graceMs; waited += 10) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped(status);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid_, SIGKILL);
        int status;
        ::waitpid(pid_, &status, 0);
        reaped(status);
    }

    pid_t pid() const { return pid_; }
    // True when the process was reaped after it ended by itself with status 0.
    bool exitedCleanly() const { return reaped_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0; }

private:
    void reaped(int status)
    {
        pid_ = -1;
        reaped_ = true;
        status_ = status;
    }

    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

} // namespace orvane::testing
