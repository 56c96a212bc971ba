#pragma once

// Test helpers for the socket and stream tests: sockets that close themselves, listeners
// and connected pairs on 127.0.0.1 with ports the system picks, and a stopwatch on the
// monotonic clock.

#include "foundation/Clock.h"
#include "foundation/Socket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdint>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace orvane::testing {

// Closes its descriptor when it goes out of scope.
class OwnedSocket {
public:
    OwnedSocket() = default;
    explicit OwnedSocket(SocketHandle s) : s_(s) {}
    OwnedSocket(OwnedSocket&& o) noexcept : s_(std::exchange(o.s_, NoSocket)) {}
    OwnedSocket& operator=(OwnedSocket&& o) noexcept
    {
        reset(std::exchange(o.s_, NoSocket));
        return *this;
    }
    ~OwnedSocket() { reset(); }

    void reset(SocketHandle s = NoSocket)
    {
        if (s_ >= 0)
            ::close(s_);
        s_ = s;
    }
    SocketHandle release() { return std::exchange(s_, NoSocket); }
    SocketHandle get() const { return s_; }
    operator SocketHandle() const { return s_; }

private:
    SocketHandle s_ = NoSocket;
};

inline SocketAddress loopback(uint16_t port)
{
    SocketAddress a;
    a.setAddress(htonl(INADDR_LOOPBACK), port);
    return a;
}

// A stream or datagram socket bound to 127.0.0.1 on a port the system chose.
inline OwnedSocket boundSocket(bool stream)
{
    OwnedSocket s(createSocket(stream));
    bindSocket(s, loopback(0));
    return s;
}

inline OwnedSocket listeningSocket(int backlog = 8)
{
    OwnedSocket s = boundSocket(true);
    listenSocket(s, backlog);
    return s;
}

struct ConnectedPair {
    OwnedSocket client;
    OwnedSocket server;
};

inline ConnectedPair connectedPair()
{
    OwnedSocket listener = listeningSocket();
    ConnectedPair p;
    p.client = OwnedSocket(createSocket(true));
    connectSocket(p.client, loopback(getLocalPort(listener)));
    SocketAddress peer;
    p.server = OwnedSocket(acceptConnection(listener, peer, 5000));
    EXPECT_GE(p.server.get(), 0);
    return p;
}

// Closes the socket so that the peer sees a reset instead of an orderly end.
inline void closeWithReset(OwnedSocket& s)
{
    linger l{1, 0};
    ASSERT_EQ(::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l), 0);
    s.reset();
}

// Joins the thread when the scope ends, also when a failed check throws out of it.
class JoinOnExit {
public:
    explicit JoinOnExit(std::thread& t) : t_(t) {}
    ~JoinOnExit()
    {
        if (t_.joinable())
            t_.join();
    }

private:
    std::thread& t_;
};

class Stopwatch {
public:
    Stopwatch() : start_(monotonicMillis()) {}
    int64_t elapsed() const { return monotonicMillis() - start_; }

private:
    int64_t start_;
};

} // namespace orvane::testing
