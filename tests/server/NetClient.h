#pragma once

// Plain POSIX clients for the server's network tests: connect to a loopback port, send
// bytes, read what comes back until the server closes, all under time limits.

#include "ServerTestSupport.h"
#include "tests/support/RawLoopback.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::testing {

class RawClient {
public:
    explicit RawClient(uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopbackAddress(port);
        connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        EXPECT_TRUE(connected_) << "connect to port " << port;
    }
    ~RawClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool send(const Bytes& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool send(const std::string& s) { return send(text(s)); }

    // Everything until the server closes (true), or what came before the time ran out
    // (false).
    bool readUntilClosed(Bytes& out, int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (!readableBefore(fd_, end))
                return false;
            uint8_t buffer[65536];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return true; // an orderly end or a reset: the server closed
            out.insert(out.end(), buffer, buffer + n);
        }
    }
    // Reads exactly n bytes; false when the connection ended or the time ran out first.
    bool readExactly(Bytes& out, size_t n, int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        out.clear();
        while (out.size() < n) {
            if (!readableBefore(fd_, end))
                return false;
            uint8_t buffer[65536];
            const ssize_t n2 = ::recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (n2 <= 0)
                return false;
            out.insert(out.end(), buffer, buffer + n2);
        }
        return true;
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool connected_ = false;
};

} // namespace orvane::testing
