#pragma once

// Servers of the tests' own for the client's link: an account endpoint that answers the
// sign-in form with a reply written by hand, and a message server whose every byte the test
// writes and reads itself; and the frames of the link read and written by hand.

#include "core/FrameCodec.h"
#include "core/channels/Packet.h"
#include "tests/core/FrameFixtures.h"
#include "tests/support/RawLoopback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace orvane::testing {

// Reads exactly n bytes within the time; what arrived when it ran out or the peer closed.
inline std::string readExactly(int fd, size_t n, int timeoutMs)
{
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n && readableBefore(fd, end)) {
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
        if (got <= 0)
            break;
        out.append(buffer, static_cast<size_t>(got));
    }
    return out;
}

// True when the peer closed the connection within the time, reading what it still sends
// (kept in `received` when given).
inline bool closedBefore(int fd, int timeoutMs, std::string* received = nullptr)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (readableBefore(fd, end)) {
        char buffer[65536];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return true;
        if (received)
            received->append(buffer, static_cast<size_t>(got));
    }
    return false;
}

// The next connection the client makes to the listener within the time, and the set-up
// record it sends first (empty when none came); the connection is the caller's to close.
inline std::string acceptSetUpRecord(int listener, SocketHandle& connection, int timeoutMs = 10000)
{
    SocketAddress from;
    connection = acceptConnection(listener, from, timeoutMs);
    if (connection == NoSocket)
        return "";
    Packet packet(connection, timeoutMs);
    String record;
    packet.read(record);
    return record.c_str();
}

inline void sendAllBytes(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        sent += static_cast<size_t>(n);
    }
}

// The account endpoint: every form is answered with the same reply; the requests are counted.
class FakeAccountEndpoint {
public:
    explicit FakeAccountEndpoint(std::string reply, int delayMs = 0) : reply_(std::move(reply)), delayMs_(delayMs)
    {
        listener_ = listenOnLoopback(port_);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeAccountEndpoint()
    {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/orvane"; }
    int requests() const { return requests_.load(); }

private:
    void serve()
    {
        while (!stopping_) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                return;
            std::string request;
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (request.find("\r\n\r\n") == std::string::npos && readableBefore(fd, end)) {
                char buffer[4096];
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            ++requests_;
            if (delayMs_)
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
            const std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                       std::to_string(reply_.size()) + "\r\nConnection: close\r\n\r\n" + reply_;
            ssize_t ignored = ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            (void)ignored;
            ::close(fd);
        }
    }

    std::string reply_;
    int delayMs_;
    uint16_t port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

// A listening socket for the message server; the test accepts and speaks for it.
class FakeMessageServer {
public:
    FakeMessageServer() { listener_ = listenOnLoopback(port_); }
    ~FakeMessageServer() { ::close(listener_); }

    uint16_t port() const { return port_; }

    // The next connection within the time, -1 when none came.
    int accept(int timeoutMs = 10000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!readableBefore(listener_, end))
            return -1;
        return ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    }

private:
    uint16_t port_ = 0;
    int listener_ = -1;
};

inline std::string signInReply(uint16_t messagePort)
{
    return "LOGIN SUCCESS\n127.0.0.1:" + std::to_string(messagePort) +
           "\nalice\n2\n12\tbob\t\t\t\t\n34\tcarl\t\t\t\t\n\n56\n\n7";
}

inline std::string signedInFrame()
{
    const std::string body = "<xml external_address=\"127.0.0.1\"/>";
    return frameHeader(101, 7, 0, body.size()) + body;
}

// A frame read by the test's server: header and body, inflated when it came compressed.
struct RawFrame {
    int type = -1;
    uint64_t recipient = 0;
    uint64_t sender = 0;
    std::string body;
};

inline RawFrame readFrame(int fd, int timeoutMs = 5000)
{
    RawFrame frame;
    const std::string header = readExactly(fd, 21, timeoutMs);
    if (header.size() != 21 || header[0] != '#')
        return frame;
    auto number = [&header](int offset, int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = (v << 8) | static_cast<uint8_t>(header[static_cast<size_t>(offset + i)]);
        return v;
    };
    frame.type = static_cast<uint8_t>(header[1]);
    frame.recipient = number(3, 5);
    frame.sender = number(10, 5);
    frame.body = readExactly(fd, number(17, 4), timeoutMs);
    if (header[2] != 0) {
        ByteArray plain;
        if (!inflateBounded(reinterpret_cast<const uint8_t*>(frame.body.data()), static_cast<int>(frame.body.size()),
                            1 << 20, plain))
            return RawFrame{};
        frame.body.assign(reinterpret_cast<const char*>(plain.data()), static_cast<size_t>(plain.count()));
    }
    return frame;
}

} // namespace orvane::testing
