#pragma once

// The real orvane-server program as a child process: started with an argument vector,
// its ports read from the line it prints once it listens, its log lines kept in a file,
// and stopped with SIGTERM (SIGKILL after a grace period) when the test ends.

#include "tests/foundation/TempDirectory.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts the program with the options and waits for its LISTENING line.
    bool start(const std::vector<std::string>& options, int timeoutMs = 10000)
    {
        std::vector<std::string> argv{ORVANE_SERVER_PROGRAM};
        argv.insert(argv.end(), options.begin(), options.end());
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return false;
        logPath_ = dir_ / "server.log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int rc = process_.spawn(argv, actions);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) {
            ::close(out[0]);
            ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(rc);
            return false;
        }
        const bool ok = readListeningLine(out[0], timeoutMs);
        ::close(out[0]);
        return ok;
    }

    // The same with the channel relay on a loopback port the system picks.
    bool startWithRelay(std::vector<std::string> options, int timeoutMs = 10000)
    {
        options.insert(options.end(), {"--relay", "127.0.0.1:0"});
        return start(options, timeoutMs);
    }

    // SIGTERM, SIGKILL after a grace period.
    void stop() { process_.stop(5000); }

    // The program's process id while it runs (its threads and descriptors are in /proc).
    pid_t pid() const { return process_.pid(); }
    uint16_t httpPort() const { return httpPort_; }
    uint16_t messagePort() const { return messagePort_; }
    // The relay's port, TCP and UDP; 0 when the program runs without a relay.
    uint16_t relayPort() const { return relayPort_; }
    bool exitedCleanly() const { return process_.exitedCleanly(); }
    std::string log() const { return readBytes(logPath_); }

private:
    bool readListeningLine(int fd, int timeoutMs)
    {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (line.find('\n') == std::string::npos) {
            if (!readableBefore(fd, end)) {
                ADD_FAILURE() << "no LISTENING line from the server; its log:\n" << log();
                return false;
            }
            char c;
            if (::read(fd, &c, 1) != 1) {
                ADD_FAILURE() << "the server ended before it listened; its log:\n" << log();
                return false;
            }
            line += c;
        }
        unsigned a1, a2, a3, a4, p1, b1, b2, b3, b4, p2;
        if (std::sscanf(line.c_str(), "LISTENING http=%u.%u.%u.%u:%u message=%u.%u.%u.%u:%u", &a1, &a2, &a3, &a4, &p1,
                        &b1, &b2, &b3, &b4, &p2) != 10) {
            ADD_FAILURE() << "unexpected first line: " << line;
            return false;
        }
        httpPort_ = static_cast<uint16_t>(p1);
        messagePort_ = static_cast<uint16_t>(p2);
        relayPort_ = 0;
        const size_t relay = line.find(" relay=");
        if (relay != std::string::npos) {
            unsigned r1, r2, r3, r4, p3;
            if (std::sscanf(line.c_str() + relay, " relay=%u.%u.%u.%u:%u", &r1, &r2, &r3, &r4, &p3) != 5) {
                ADD_FAILURE() << "unexpected relay part: " << line;
                return false;
            }
            relayPort_ = static_cast<uint16_t>(p3);
        }
        return true;
    }

    TempDirectory dir_;
    std::string logPath_;
    PeerProcess process_;
    uint16_t httpPort_ = 0;
    uint16_t messagePort_ = 0;
    uint16_t relayPort_ = 0;
};

} // namespace orvane::testing
