#include "ProxyPeers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvane::testing;

namespace {

int connectLoopback(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

std::string exchange(int fd, const std::string& out, size_t want)
{
    EXPECT_EQ(::send(fd, out.data(), out.size(), MSG_NOSIGNAL), ssize_t(out.size()));
    std::string in;
    char b[4096];
    while (in.size() < want) {
        ssize_t n = ::recv(fd, b, std::min(sizeof b, want - in.size()), 0);
        if (n <= 0)
            break;
        in.append(b, size_t(n));
    }
    return in;
}

} // namespace

TEST(ProxyPeers, EchoServerAndSocks4ThroughDante)
{
    EchoServer echo;
    DantePeer dante(unusedLoopbackPort());
    ASSERT_NO_FATAL_FAILURE(dante.start());
    int fd = connectLoopback(dante.port());
    std::string req("\x04\x01", 2);
    req += char(echo.port() >> 8);
    req += char(echo.port() & 0xFF);
    req += std::string("\x7f\x00\x00\x01", 4);
    req += '\0';
    std::string reply = exchange(fd, req, 8);
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(reply[1], 90);
    EXPECT_EQ(exchange(fd, "ping", 4), "ping");
    ::close(fd);
}

TEST(ProxyPeers, StopKillsSquidAndItsHelpers)
{
    pid_t group;
    {
        SquidPeer squid(SquidPeer::Auth::Basic);
        ASSERT_NO_FATAL_FAILURE(squid.start());
        int fd = connectLoopback(squid.port());
        std::string answer = exchange(fd, "CONNECT 127.0.0.1:1 HTTP/1.0\r\n\r\n", 12);
        EXPECT_EQ(answer, "HTTP/1.1 407") << squid.log();
        ::close(fd);
        group = squid.processGroup();
        ASSERT_GT(group, 0);
        EXPECT_EQ(::kill(-group, 0), 0);
    }
    // Neither squid nor its authentication helpers outlive the peer, not even as zombies.
    errno = 0;
    EXPECT_EQ(::kill(-group, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(ProxyPeers, SshDynamicForwardResolvesAPrivateName)
{
    EchoServer echo;
    SshSocksPeer ssh("orvane-peer-check.invalid");
    ASSERT_NO_FATAL_FAILURE(ssh.start());
    int fd = connectLoopback(ssh.port());
    std::string req("\x04\x01", 2);
    req += char(echo.port() >> 8);
    req += char(echo.port() & 0xFF);
    req += std::string("\x00\x00\x00\xff", 4);
    req += '\0';
    req += "orvane-peer-check.invalid";
    req += '\0';
    std::string reply = exchange(fd, req, 8);
    ASSERT_EQ(reply.size(), 8u);
    EXPECT_EQ(reply[1], 90);
    EXPECT_EQ(exchange(fd, "ping", 4), "ping");
    ::close(fd);
}

TEST(ProxyPeers, MicrosocksAndTinyproxyStart)
{
    MicrosocksPeer micro;
    ASSERT_NO_FATAL_FAILURE(micro.start());
    TinyproxyPeer tiny;
    ASSERT_NO_FATAL_FAILURE(tiny.start());
    int fd = connectLoopback(tiny.port());
    EXPECT_EQ(exchange(fd, "CONNECT 127.0.0.1:1 HTTP/1.0\r\n\r\n", 12), "HTTP/1.0 407");
    ::close(fd);
}
