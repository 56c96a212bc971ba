#pragma once

// Test helpers for network namespaces: running a command with an argument vector, and
// moving the calling thread into a private namespace or a named one and back.
//
// A network namespace belongs to a thread: setns and unshare move only the calling
// thread, and threads it starts afterwards (and processes it spawns) begin in the same
// namespace. So a test enters the namespace, runs the code under test (which may start
// its own threads) and leaves again.

#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

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

// Moves the calling thread into a network namespace for the scope's lifetime.
class NamespaceScope {
public:
    NamespaceScope() : original_(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        if (original_ < 0)
            ADD_FAILURE() << "cannot open the thread's network namespace: " << std::strerror(errno);
    }
    ~NamespaceScope() { leave(); }
    NamespaceScope(const NamespaceScope&) = delete;
    NamespaceScope& operator=(const NamespaceScope&) = delete;

    // A new, empty namespace of this thread's own. Only its loopback exists; it is brought
    // up, allowed multicast, and the SSDP group is routed to it, so that a search sent
    // here reaches a responder on loopback and nothing else. The namespace goes away
    // with the last thread and socket in it.
    bool enterPrivate()
    {
        if (original_ < 0)
            return false;
        if (unshare(CLONE_NEWNET) != 0) {
            ADD_FAILURE() << "unshare(CLONE_NEWNET): " << std::strerror(errno) << " (tests run as root)";
            return false;
        }
        entered_ = true;
        for (const std::vector<std::string>& cmd :
             {std::vector<std::string>{"ip", "link", "set", "lo", "up", "multicast", "on"},
              std::vector<std::string>{"ip", "route", "add", "239.255.255.250/32", "dev", "lo"}}) {
            CommandResult r = runCommand(cmd);
            if (r.status != 0) {
                ADD_FAILURE() << cmd[0] << " " << cmd[1] << " " << cmd[2] << ": " << r.output
                              << " (Debian package iproute2)";
                return false;
            }
        }
        return true;
    }

    // The namespace made by `ip netns add name`.
    bool enterNamed(const std::string& name)
    {
        if (original_ < 0)
            return false;
        int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            ADD_FAILURE() << "no namespace " << name << ": " << std::strerror(errno);
            return false;
        }
        int rc = setns(fd, CLONE_NEWNET);
        int err = errno;
        ::close(fd);
        if (rc != 0) {
            ADD_FAILURE() << "setns " << name << ": " << std::strerror(err);
            return false;
        }
        entered_ = true;
        return true;
    }

    void leave()
    {
        if (entered_ && original_ >= 0) {
            if (setns(original_, CLONE_NEWNET) != 0)
                ADD_FAILURE() << "cannot return to the original namespace: " << std::strerror(errno);
            entered_ = false;
        }
        if (original_ >= 0 && !entered_) {
            ::close(original_);
            original_ = -1;
        }
    }

private:
    int original_;
    bool entered_ = false;
};

} // namespace orvane::testing
