#pragma once

// Plain POSIX sockets on 127.0.0.1 for peers and fixtures, apart from the socket code
// under test: a wait for readable data, the address, a listener on a port the system
// picks, an unused port for a program to take, and a probe whether a port accepts.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::testing {

// Waits until the descriptor is readable (true: data, the peer's end, or an error for the
// next read to report) or the time point has passed (false).
inline bool readableBefore(int fd, std::chrono::steady_clock::time_point end)
{
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) > 0)
            return true;
    }
}

inline sockaddr_in loopbackAddress(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// A TCP socket listening on 127.0.0.1 on a port the system picked, which `port` receives;
// -1, with errno saying why, when that fails.
inline int listenOnLoopback(uint16_t& port, int backlog = 16)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    sockaddr_in a = loopbackAddress(0);
    socklen_t len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, backlog) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        const int saved = errno;
        ::close(s);
        errno = saved;
        return -1;
    }
    port = ntohs(a.sin_port);
    return s;
}

// A port on 127.0.0.1 that nothing listened on a moment ago (0 when none could be had).
// The program that gets it may still lose a race for it; callers retry with a fresh port
// when the start fails.
inline uint16_t unusedLoopbackPort()
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopbackAddress(0);
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
    sockaddr_in a = loopbackAddress(port);
    bool ok = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (s >= 0)
        ::close(s);
    return ok;
}

} // namespace orvane::testing
