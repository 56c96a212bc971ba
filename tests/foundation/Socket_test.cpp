#include "foundation/Socket.h"

#include "LoopbackSockets.h"
#include "foundation/Exception.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;
using namespace std::chrono_literals;

extern char** environ;

namespace {

uint32_t quad(int a, int b, int c, int d)
{
    return htonl(uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | uint32_t(d));
}

bool closeOnExec(SocketHandle s)
{
    int flags = ::fcntl(s, F_GETFD);
    return flags >= 0 && (flags & FD_CLOEXEC);
}

bool isBlocking(SocketHandle s)
{
    return (::fcntl(s, F_GETFL) & O_NONBLOCK) == 0;
}

// Checks the three kinds of time-out on one waiting operation: 0 answers at once, n waits
// about n ms, and a negative time-out waits until `release` (run 150 ms later on another
// thread) makes the operation succeed. `attempt` answers whether it succeeded.
void checkTimeouts(const std::function<bool(int)>& attempt, const std::function<void()>& release)
{
    {
        Stopwatch watch;
        EXPECT_FALSE(attempt(0));
        EXPECT_LT(watch.elapsed(), 1000);
    }
    {
        Stopwatch watch;
        EXPECT_FALSE(attempt(150));
        EXPECT_GE(watch.elapsed(), 150);
        EXPECT_LT(watch.elapsed(), 2500);
    }
    Stopwatch watch;
    std::thread releaser([&] {
        std::this_thread::sleep_for(150ms);
        release();
    });
    JoinOnExit joiner(releaser);
    EXPECT_TRUE(attempt(-1));
    EXPECT_GE(watch.elapsed(), 150);
}

// Fills the socket's send path (its own buffer and the peer's receive buffer) without
// blocking; answers the bytes queued.
long fillSendPath(SocketHandle s)
{
    static char chunk[65536];
    long total = 0;
    for (;;) {
        ssize_t n = ::send(s, chunk, sizeof chunk, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << std::strerror(errno);
            return total;
        }
        total += n;
    }
}

void drain(SocketHandle s, long count)
{
    std::vector<char> buffer(65536);
    while (count > 0)
        count -= receive(s, buffer.data(), int(buffer.size()), 5000);
}

} // namespace

TEST(SocketLayer, ErrnoValuesMapToTheCodesCallersTest)
{
    const struct {
        int errnoValue;
        int code;
    } cases[] = {
        {0, 0},
        {EINPROGRESS, SocketError::WouldBlock},
        {EAGAIN, SocketError::WouldBlock},
        {EWOULDBLOCK, SocketError::WouldBlock},
        {EADDRINUSE, SocketError::AddressInUse},
        {EADDRNOTAVAIL, SocketError::AddressNotAvailable},
        {ETIMEDOUT, SocketError::TimedOut},
        {ECONNREFUSED, SocketError::ConnectionRefused},
        {EHOSTUNREACH, SocketError::HostUnreachable},
        {ECONNRESET, SocketError::ConnectionReset},
        {EMSGSIZE, SocketError::MessageTooLong},
        {ENOENT, ENOENT}, // no counterpart: passed on, and below every code
    };
    for (const auto& c : cases)
        EXPECT_EQ(socketErrorCode(c.errnoValue), c.code) << c.errnoValue;
    EXPECT_EQ(SocketError::WouldBlock, 10035);
    EXPECT_EQ(SocketError::AddressInUse, 10048);
    EXPECT_EQ(SocketError::AddressNotAvailable, 10049);
    EXPECT_EQ(SocketError::TimedOut, 10060);
    EXPECT_EQ(SocketError::ConnectionRefused, 10061);
    EXPECT_EQ(SocketError::HostUnreachable, 10065);
}

TEST(SocketLayer, ParseDottedQuad)
{
    const struct {
        const char* text;
        bool ok;
        uint32_t address;
    } cases[] = {
        {"1.2.3.4", true, quad(1, 2, 3, 4)},
        {"192.168.000.255", true, quad(192, 168, 0, 255)},
        {"1.2..3", true, quad(1, 2, 0, 3)},   // an empty piece counts as 0
        {"300.1.1.1", true, quad(44, 1, 1, 1)}, // each piece modulo 256
        {"256.0.0.1", true, quad(0, 0, 0, 1)},
        {"1.2.3.4.", true, quad(1, 2, 3, 4)}, // an empty last piece is dropped
        {"1.2.3", false, 0},
        {"1.2.3.4.5", false, 0},
        {"1.2.x.4", false, 0},
        {"1.2.3.1000", false, 0},
        {" 1.2.3.4", false, 0},
        {"-1.2.3.4", false, 0},
        {"1.2.3.4:80", false, 0},
        {"localhost", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t address = 0xDEADBEEF;
        EXPECT_EQ(parseDottedQuad(c.text, address), c.ok) << c.text;
        EXPECT_EQ(address, c.ok ? c.address : 0xDEADBEEF) << c.text;
    }
    uint32_t address = 7;
    EXPECT_FALSE(parseDottedQuad(nullptr, address));
    EXPECT_EQ(address, 7u);
}

TEST(SocketLayer, DottedHostsResolveWithoutALookup)
{
    // The system's own parser refuses both texts, so an answer proves no lookup was made.
    EXPECT_EQ(resolveHost("300.1.1.1"), quad(44, 1, 1, 1));
    EXPECT_EQ(resolveHost("1.2..3"), quad(1, 2, 0, 3));
    EXPECT_EQ(ipToText(quad(10, 0, 200, 7)), "10.0.200.7");
    EXPECT_EQ(ipToText(0), "0.0.0.0");
    EXPECT_THROW(resolveHost(nullptr), UnknownHostException);
}

TEST(SocketAddressTest, NewSetHostAndSetAddress)
{
    SocketAddress a;
    EXPECT_EQ(a.record().sin_family, AF_INET);
    EXPECT_EQ(a.getAddress(), 0u);
    EXPECT_EQ(a.getPort(), 0);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&a);
    for (size_t i = 2; i < sizeof a; ++i)
        EXPECT_EQ(bytes[i], 0) << i;

    a.setHost("10.1.2.3", 8080);
    EXPECT_EQ(a.getHostAddress(), "10.1.2.3");
    EXPECT_EQ(a.getPort(), 8080);
    EXPECT_EQ(a.record().sin_port, htons(8080)); // stored in network order
    a.setHost(nullptr, -1);                      // any address, port kept
    EXPECT_EQ(a.getAddress(), 0u);
    EXPECT_EQ(a.getPort(), 8080);
    a.setAddress(quad(127, 0, 0, 1), 65535);
    EXPECT_EQ(a.getHostAddress(), "127.0.0.1");
    EXPECT_EQ(a.getPort(), 65535);
    // A port that does not fit is refused instead of wrapping, and nothing changes.
    EXPECT_THROW(a.setAddress(quad(1, 1, 1, 1), 65536), SocketException);
    EXPECT_THROW(a.setHost("1.1.1.1", 70000), SocketException);
    EXPECT_EQ(a.getHostAddress(), "127.0.0.1");
    EXPECT_EQ(a.getPort(), 65535);
}

TEST(SocketAddressTest, Parse)
{
    const struct {
        const char* text;
        bool ok;
        const char* address;
        int port;
    } cases[] = {
        {"10.0.0.1:8080", true, "10.0.0.1", 8080},
        {"10.0.0.1 81", true, "10.0.0.1", 81},
        {"10.0.0.1", true, "10.0.0.1", 99}, // no separator: the default port
        {":80", true, "0.0.0.0", 80},       // empty host: any address
        {"", true, "0.0.0.0", 99},
        {"10.0.0.1:http", true, "10.0.0.1", 0}, // a non-numeric port reads as 0
        {"10.0.0.1:", true, "10.0.0.1", 0},
        {"10.0.0.1:0", true, "10.0.0.1", 0},
        {"10.0.0.1:65535", true, "10.0.0.1", 65535},
        {"10.0.0.1:65536", false, nullptr, 0},
        {"10.0.0.1:-1", false, nullptr, 0},
        {"10.0.0.1:4294967376", false, nullptr, 0}, // would wrap to 80
        {"10.0.0.1:99999999999999999999", false, nullptr, 0},
    };
    for (const auto& c : cases) {
        SocketAddress a;
        a.setAddress(quad(5, 6, 7, 8), 1234);
        EXPECT_EQ(a.parse(c.text, 99), c.ok) << c.text;
        EXPECT_EQ(a.getHostAddress(), c.ok ? c.address : "5.6.7.8") << c.text;
        EXPECT_EQ(a.getPort(), c.ok ? c.port : 1234) << c.text;
    }
}

TEST(SocketObject, DefaultsCreateCloseAndAccept)
{
    Socket s;
    EXPECT_EQ(s.handle, NoSocket);
    EXPECT_EQ(s.acceptTimeoutMs, 1000);
    s.close(); // nothing to close
    EXPECT_EQ(s.handle, NoSocket);

    s.create();
    ASSERT_GE(s.handle, 0);
    EXPECT_TRUE(closeOnExec(s.handle));
    bindSocket(s.handle, loopback(0));
    listenSocket(s.handle, 4);
    s.acceptTimeoutMs = 100;

    Socket accepted;
    SocketAddress peer;
    Stopwatch watch;
    EXPECT_FALSE(s.accept(accepted, peer)); // none in time
    EXPECT_GE(watch.elapsed(), 100);
    EXPECT_EQ(accepted.handle, NoSocket);

    OwnedSocket client(createSocket(true));
    connectSocket(client, loopback(getLocalPort(s.handle)));
    ASSERT_TRUE(s.accept(accepted, peer));
    EXPECT_TRUE(closeOnExec(accepted.handle));
    EXPECT_EQ(peer.getPort(), getLocalPort(client));
    EXPECT_EQ(peer.getHostAddress(), "127.0.0.1");
    accepted.close();
    EXPECT_EQ(accepted.handle, NoSocket);

    const int closed = s.handle;
    s.close();
    EXPECT_EQ(s.handle, NoSocket);
    EXPECT_EQ(::fcntl(closed, F_GETFD), -1);
    EXPECT_FALSE(s.accept(accepted, peer)); // the failure is swallowed
}

TEST(SocketConnect, RefusedConnectFailsWellBeforeTheDeadline)
{
    // A bound socket that does not listen answers a connection attempt with a reset.
    OwnedSocket closedPort = boundSocket(true);
    const SocketAddress to = loopback(getLocalPort(closedPort));

    OwnedSocket s(createSocket(true));
    Stopwatch watch;
    EXPECT_THROW(connectSocketTimeout(s, to, 5000), ConnectException);
    EXPECT_LT(watch.elapsed(), 2500);
    EXPECT_TRUE(isBlocking(s));

    OwnedSocket t(createSocket(true));
    EXPECT_THROW(connectSocket(t, to), ConnectException);
}

TEST(SocketConnect, FullBacklogTimesOutAtTheDeadline)
{
    // The kernel drops the handshakes a full accept queue cannot take, so the connection
    // attempt neither succeeds nor fails until the deadline cuts it short.
    OwnedSocket listener = listeningSocket(0);
    const SocketAddress to = loopback(getLocalPort(listener));
    std::vector<OwnedSocket> queued;
    for (int i = 0; i < 16; ++i) {
        OwnedSocket c(createSocket(true));
        Stopwatch watch;
        try {
            connectSocketTimeout(c, to, 300);
        } catch (const TimeoutException&) {
            EXPECT_GE(watch.elapsed(), 300);
            EXPECT_LT(watch.elapsed(), 2500);
            EXPECT_TRUE(isBlocking(c));
            EXPECT_FALSE(queued.empty());
            // With no time at all the attempt ends at once.
            OwnedSocket d(createSocket(true));
            Stopwatch quick;
            EXPECT_THROW(connectSocketTimeout(d, to, 0), TimeoutException);
            EXPECT_LT(quick.elapsed(), 1000);
            return;
        }
        queued.push_back(std::move(c));
    }
    FAIL() << "a listener with backlog 0 took 16 connections";
}

TEST(SocketConnect, ConnectWithDeadlineReportsBothEnds)
{
    OwnedSocket listener = listeningSocket();
    const uint16_t port = getLocalPort(listener);
    OwnedSocket client(createSocket(true));
    EXPECT_TRUE(closeOnExec(client));
    connectSocketTimeout(client, loopback(port), 2000);
    EXPECT_TRUE(isBlocking(client));

    SocketAddress peer;
    OwnedSocket server(acceptConnection(listener, peer, 2000));
    ASSERT_GE(server.get(), 0);
    EXPECT_EQ(getPeerPort(client), port);
    EXPECT_EQ(getLocalPort(server), port);
    EXPECT_EQ(getPeerPort(server), getLocalPort(client));
    EXPECT_EQ(peer.getPort(), getLocalPort(client));
    EXPECT_EQ(getPeerAddress(client).getHostAddress(), "127.0.0.1");
    EXPECT_EQ(getLocalAddress(client).getHostAddress(), "127.0.0.1");

    EXPECT_EQ(sendAll(client, "ping", 4), 4);
    char buffer[8];
    EXPECT_EQ(receive(server, buffer, sizeof buffer, 2000), 4);
    EXPECT_EQ(std::string(buffer, 4), "ping");
}

TEST(SocketBind, AddressInUseOrNotLocalRaisesBindException)
{
    OwnedSocket listener = listeningSocket();
    OwnedSocket second(createSocket(true));
    EXPECT_THROW(bindSocket(second, loopback(getLocalPort(listener))), BindException);

    OwnedSocket udp = boundSocket(false);
    OwnedSocket udp2(createSocket(false));
    EXPECT_THROW(bindSocket(udp2, loopback(getLocalPort(udp))), BindException);

    // 192.0.2.1 (a documentation address) belongs to no interface here.
    OwnedSocket foreign(createSocket(true));
    SocketAddress a;
    a.setAddress(quad(192, 0, 2, 1), 0);
    EXPECT_THROW(bindSocket(foreign, a), BindException);
}

TEST(SocketReceive, TimeOutsOfReceive)
{
    ConnectedPair p = connectedPair();
    char buffer[16];
    checkTimeouts([&](int t) { return receive(p.client, buffer, sizeof buffer, t) > 0; },
                  [&] { sendAll(p.server, "x", 1); });
    EXPECT_EQ(buffer[0], 'x');
}

TEST(SocketReceive, ClosedPeerRaisesNoConnection)
{
    ConnectedPair p = connectedPair();
    sendAll(p.server, "last", 4);
    p.server.reset();
    char buffer[16];
    EXPECT_EQ(receive(p.client, buffer, sizeof buffer, 2000), 4); // data first, then the end
    // An empty request never reaches the socket, so it cannot be taken for the end.
    EXPECT_EQ(receive(p.client, buffer, 0, 2000), 0);
    EXPECT_THROW(receive(p.client, buffer, sizeof buffer, 2000), NoConnectionException);
    EXPECT_THROW(receive(p.client, buffer, sizeof buffer, -1), NoConnectionException);
}

TEST(SocketReceive, ResetPeerRaisesPlainSocketException)
{
    ConnectedPair p = connectedPair();
    closeWithReset(p.server);
    char buffer[16];
    try {
        receive(p.client, buffer, sizeof buffer, 2000);
        FAIL() << "a reset connection gave data";
    } catch (const NoConnectionException&) {
        FAIL() << "a reset was taken for an orderly close";
    } catch (const SocketException&) {
    }
}

TEST(SocketSend, SendingToAResetPeerRaisesInsteadOfSignalling)
{
    // With the default action a SIGPIPE would end this process; sends must not raise it.
    struct sigaction old;
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    ASSERT_EQ(::sigaction(SIGPIPE, &dfl, &old), 0);

    ConnectedPair p = connectedPair();
    closeWithReset(p.server);
    char chunk[1024] = {};
    int failures = 0;
    for (int i = 0; i < 200 && failures < 3; ++i) {
        try {
            sendAll(p.client, chunk, sizeof chunk);
        } catch (const NoRouteToHostException&) {
            ADD_FAILURE() << "a reset is no routing failure";
            ++failures;
        } catch (const SocketException&) {
            ++failures;
        }
    }
    EXPECT_EQ(failures, 3);
    ::sigaction(SIGPIPE, &old, nullptr);
}

TEST(SocketSend, SendAllDeliversEverythingThroughAFullBuffer)
{
    ConnectedPair p = connectedPair();
    setBlocking(p.client, false); // refusals of a non-blocking socket are waited out too
    const int size = 4 << 20;
    std::vector<char> data(size);
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 7 + i / 4096);
    std::vector<char> received;
    std::thread reader([&] {
        char buffer[65536];
        while (int(received.size()) < size) {
            int n = receive(p.server, buffer, sizeof buffer, 5000);
            if (n == 0)
                break;
            received.insert(received.end(), buffer, buffer + n);
        }
    });
    {
        JoinOnExit joiner(reader);
        EXPECT_EQ(sendAll(p.client, data.data(), size), size);
    }
    EXPECT_TRUE(received == data);
}

TEST(SocketWait, TimeOutsOfWaitWritable)
{
    ConnectedPair p = connectedPair();
    EXPECT_TRUE(waitWritable(p.client, 0));
    const long queued = fillSendPath(p.client);
    ASSERT_GT(queued, 0);
    checkTimeouts([&](int t) { return waitWritable(p.client, t); },
                  [&] { drain(p.server, queued); });
}

TEST(SocketWait, TimeOutsOfWaitReadable)
{
    ConnectedPair p = connectedPair();
    checkTimeouts([&](int t) { return waitReadable(p.client, t); },
                  [&] { sendAll(p.server, "x", 1); });
    EXPECT_THROW(waitReadable(NoSocket, -1), SocketException);
}

TEST(SocketAccept, TimeOutsOfAcceptConnection)
{
    OwnedSocket listener = listeningSocket();
    std::vector<OwnedSocket> clients;
    SocketAddress peer;
    checkTimeouts(
        [&](int t) {
            SocketHandle s = acceptConnection(listener, peer, t);
            if (s == NoSocket)
                return false;
            ::close(s);
            return true;
        },
        [&] {
            clients.emplace_back(createSocket(true));
            connectSocket(clients.back(), loopback(getLocalPort(listener)));
        });
}

TEST(SocketDatagram, TimeOutsOfReceiveFrom)
{
    OwnedSocket a = boundSocket(false);
    OwnedSocket b = boundSocket(false);
    SocketAddress from;
    char buffer[16];
    checkTimeouts([&](int t) { return receiveFrom(b, from, buffer, sizeof buffer, t) > 0; },
                  [&] { sendTo(a, loopback(getLocalPort(b)), "x", 1); });
    EXPECT_EQ(from.getPort(), getLocalPort(a));
    EXPECT_EQ(from.getHostAddress(), "127.0.0.1");
}

TEST(SocketDatagram, EmptyAndOversizedDatagrams)
{
    OwnedSocket a = boundSocket(false);
    OwnedSocket b = boundSocket(false);
    const SocketAddress toB = loopback(getLocalPort(b));
    SocketAddress from;
    char buffer[64];

    // A zero length sends nothing: the next datagram to arrive is the one after it.
    EXPECT_EQ(sendTo(a, toB, "", 0), 0);
    EXPECT_EQ(sendTo(a, toB, "one", 3), 3);
    EXPECT_EQ(receiveFrom(b, from, buffer, sizeof buffer, 2000), 3);

    // An empty datagram from elsewhere reads as the end of a connection.
    sockaddr_in raw = toB.record();
    ASSERT_EQ(::sendto(a, "", 0, 0, reinterpret_cast<sockaddr*>(&raw), sizeof raw), 0);
    EXPECT_THROW(receiveFrom(b, from, buffer, sizeof buffer, 2000), NoConnectionException);

    // A datagram longer than the buffer is refused, not cut short; the next one is whole.
    char big[100];
    std::memset(big, 'b', sizeof big);
    EXPECT_EQ(sendTo(a, toB, big, sizeof big), 100);
    EXPECT_EQ(sendTo(a, toB, "two", 3), 3);
    try {
        receiveFrom(b, from, buffer, 10, 2000);
        ADD_FAILURE() << "a cut datagram was handed on";
    } catch (const NoConnectionException&) {
        ADD_FAILURE() << "an oversized datagram was taken for an empty one";
    } catch (const SocketException&) {
    }
    EXPECT_EQ(receiveFrom(b, from, buffer, sizeof buffer, 2000), 3);
    EXPECT_EQ(std::string(buffer, 3), "two");

    // The same through receive on a connected datagram socket.
    connectSocket(b, loopback(getLocalPort(a)));
    EXPECT_EQ(sendTo(a, toB, big, sizeof big), 100);
    EXPECT_THROW(receive(b, buffer, 10, 2000), SocketException);
}

TEST(SocketLayer, BytesAvailableCountsWhatIsWaiting)
{
    ConnectedPair p = connectedPair();
    EXPECT_EQ(bytesAvailable(p.client), 0);
    sendAll(p.server, "12345", 5);
    pollfd pf{p.client, POLLIN, 0};
    ASSERT_EQ(::poll(&pf, 1, 2000), 1);
    EXPECT_EQ(bytesAvailable(p.client), 5);
}

TEST(SocketLayer, NoSocketIsRefusedAndDescriptorZeroIsASocket)
{
    char buffer[4];
    SocketAddress a;
    // Without the check these waits would time out or block forever on nothing.
    EXPECT_THROW(receive(NoSocket, buffer, sizeof buffer, -1), SocketException);
    EXPECT_THROW(receiveFrom(NoSocket, a, buffer, sizeof buffer, 100), SocketException);
    EXPECT_THROW(waitWritable(NoSocket, -1), SocketException);
    EXPECT_THROW(acceptConnection(NoSocket, a, -1), SocketException);
    EXPECT_THROW(sendAll(NoSocket, "x", 1), SocketException);
    EXPECT_THROW(bytesAvailable(NoSocket), SocketException);
    EXPECT_THROW(connectSocketTimeout(NoSocket, loopback(1), 100), SocketException);
    closeSocket(NoSocket);
    EXPECT_EQ(getLocalAddress(NoSocket).getPort(), 0);
    EXPECT_EQ(getPeerAddress(NoSocket).record().sin_family, AF_INET);

    ConnectedPair p = connectedPair();
    const int savedStdin = ::dup(0);
    ASSERT_GE(savedStdin, 0);
    ASSERT_EQ(::dup2(p.client, 0), 0);
    EXPECT_EQ(sendAll(0, "z", 1), 1);
    EXPECT_EQ(receive(p.server, buffer, 1, 2000), 1);
    EXPECT_EQ(buffer[0], 'z');
    closeSocket(0);
    EXPECT_EQ(::fcntl(0, F_GETFD), -1);
    ::dup2(savedStdin, 0);
    ::close(savedStdin);
}

// Name lookups run inside a network namespace of their own, where no name server can be
// reached, so a failing lookup never depends on (or bothers) this machine's resolver.
TEST(SocketResolver, LookupsInsideAPrivateNetworkNamespace)
{
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    const char* argv[] = {"unshare", "--net", "--", ORVANE_RESOLVER_PROBE, nullptr};
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "unshare", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        FAIL() << "cannot run unshare (package util-linux): " << std::strerror(rc);
    }
    std::string output;
    char chunk[512];
    ssize_t n;
    while ((n = ::read(out[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            output.append(chunk, size_t(n));
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the resolver probe failed in its network namespace (unshare --net needs root "
           "or CAP_SYS_ADMIN; `ip` comes from iproute2):\n"
        << output;
    EXPECT_NE(output.find("resolver probe: all checks passed"), std::string::npos) << output;
}
