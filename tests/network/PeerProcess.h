#pragma once

// Helpers for tests that run a real peer program on loopback: find its binary (a missing
// one is a failure that names the Debian package), pick an unused port, start the program
// with an argument vector, wait until its port accepts, and stop it again.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
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

// A port on 127.0.0.1 that nothing listened on a moment ago. The program that gets it may
// still lose a race for it; PeerProcess users retry with a fresh port when the start fails.
inline uint16_t unusedLoopbackPort()
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    uint16_t port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0)
        ::close(s);
    return port;
}

inline bool loopbackPortAccepts(uint16_t port)
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    bool ok = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (s >= 0)
        ::close(s);
    return ok;
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
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!logPath.empty()) {
            posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        }
        int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            pid_ = -1;
        return rc == 0;
    }

    // True once the port accepts; false when the process ended or the time ran out.
    bool waitUntilAccepting(uint16_t port, int timeoutMs = 10000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (!running())
                return false;
            if (loopbackPortAccepts(port))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool running()
    {
        if (pid_ <= 0)
            return false;
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    void stop()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 300; ++i) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid_, SIGKILL);
        int status;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

} // namespace orvane::testing
