// The channel relay on real loopback sockets: sessions opened by a signed-in client with
// OPEN_SERVER_CHANNEL, then two TCP sides joined and relayed (the bytes, their order, the
// ends of the streams, the refusals and the time-outs), and UDP datagrams passed between two
// participants or dropped; last, the program's LISTENING line with its relay.

#include "NetClient.h"
#include "RelayTestSupport.h"
#include "ServerProcess.h"
#include "tests/foundation/ThreadTestSupport.h"

#include "server/OrvaneServer.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <random>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr uint64_t Alice = 1, Bob = 2, Carol = 3;

Bytes randomBytes(size_t n, uint32_t seed)
{
    std::mt19937 generator(seed);
    Bytes out(n);
    for (uint8_t& b : out)
        b = static_cast<uint8_t>(generator());
    return out;
}

// Reads one frame of the server link; its type and body (uncompressed).
bool readLinkFrame(RawClient& client, LinkFrame& frame)
{
    Bytes header, body;
    if (!client.readExactly(header, 21))
        return false;
    const size_t length = (size_t(header[17]) << 24) | (size_t(header[18]) << 16) | (size_t(header[19]) << 8) |
                          header[20];
    if (!client.readExactly(body, length))
        return false;
    frame = linkFrame(header + body);
    return true;
}

class ChannelRelayTest : public ::testing::Test {
protected:
    ChannelRelayTest()
    {
        settings.passwordHashCost = 1;
        settings.relayEnabled = true;
        settings.relayAddress = endpoint("127.0.0.1", 0);
    }

    void start()
    {
        server = startServerWithAliceAndBob(settings);
        alice.reset(new RawClient(server->messageAddress().getPort()));
        ASSERT_TRUE(alice->send(aliceSignInFrame()));
        LinkFrame frame;
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(readLinkFrame(*alice, frame));
    }
    uint16_t relayPort() const { return server->relayAddress()->getPort(); }
    int sessionCount() { return server->relay()->sessions().count(); }

    // Alice opens a session with bob; its id (0 when the reply is not a grant).
    int32_t open(const char* protocol)
    {
        const std::string request = std::string("<message command=\"OPEN_SERVER_CHANNEL\" protocol=\"") + protocol +
                                    "\" user_id=\"1\" user_conn_id=\"77\"><participants user_id=\"1\" user_id=\"2\"/>"
                                    "</message>";
        EXPECT_TRUE(alice->send(commandFrame(Alice, request)));
        LinkFrame reply;
        EXPECT_TRUE(readLinkFrame(*alice, reply));
        std::map<std::string, std::string> fields = fieldsOf(reply.body);
        EXPECT_EQ(fields["response"], "SUCCESS");
        EXPECT_EQ(fields["user_conn_id"], "77");
        EXPECT_EQ(fields["ip_address"], "127.0.0.1");
        EXPECT_EQ(fields["port"], std::to_string(relayPort()));
        return fields["response"] == "SUCCESS" ? std::stoi(fields["srvr_conn_id"]) : 0;
    }

    // A side that joined the session, as the relay confirmed.
    std::unique_ptr<RawClient> join(int32_t id, bool compressed = false)
    {
        std::unique_ptr<RawClient> side(new RawClient(relayPort()));
        EXPECT_TRUE(side->send(joinFrame(id, compressed)));
        const Bytes expected = joinAnswer("SUCCESS");
        Bytes answer;
        EXPECT_TRUE(side->readExactly(answer, expected.size()));
        EXPECT_EQ(printable(answer), printable(expected));
        return side;
    }
    // Everything the relay sends a connection whose first bytes are these, until it closes.
    Bytes answerUntilClosed(const Bytes& first)
    {
        RawClient side(relayPort());
        EXPECT_TRUE(side.send(first));
        Bytes answer;
        EXPECT_TRUE(side.readUntilClosed(answer, 5000));
        return answer;
    }

    LogCapture log;
    ServerSettings settings;
    std::unique_ptr<OrvaneServer> server;
    std::unique_ptr<RawClient> alice;
};

// ---- TCP --------------------------------------------------------------------------------------

TEST_F(ChannelRelayTest, TwoSidesExchangeAMebibyteEachWayAndTheirEndsPassAsHalfCloses)
{
    start();
    const int32_t id = open("tcp");
    std::unique_ptr<RawClient> a = join(id, true); // a compressed join frame does as well
    std::unique_ptr<RawClient> b = join(id);

    const Bytes fromA = randomBytes(1 << 20, 1), fromB = randomBytes(1 << 20, 2);
    std::thread sendA([&] { EXPECT_TRUE(a->send(fromA)); });
    std::thread sendB([&] { EXPECT_TRUE(b->send(fromB)); });
    Bytes atB, atA;
    EXPECT_TRUE(b->readExactly(atB, fromA.size(), 30000));
    EXPECT_TRUE(a->readExactly(atA, fromB.size(), 30000));
    sendA.join();
    sendB.join();
    EXPECT_TRUE(atB == fromA);
    EXPECT_TRUE(atA == fromB);

    // A's end reaches b as the end of its stream, while b can still answer.
    ASSERT_EQ(::shutdown(a->fd(), SHUT_WR), 0);
    Bytes rest;
    EXPECT_TRUE(b->readUntilClosed(rest, 5000));
    EXPECT_TRUE(rest.empty());
    ASSERT_TRUE(b->send(std::string("after the end")));
    EXPECT_TRUE(a->readExactly(rest, 13));
    EXPECT_EQ(printable(rest), "after the end");
    ASSERT_EQ(::shutdown(b->fd(), SHUT_WR), 0);
    rest.clear();
    EXPECT_TRUE(a->readUntilClosed(rest, 5000));
    EXPECT_TRUE(rest.empty());
    // Both streams over: the pair and its session are done.
    EXPECT_TRUE(awaitCondition([&] { return sessionCount() == 0; }));
    EXPECT_TRUE(awaitCondition([&] { return log.count({"session", "done: both streams ended"}) == 1; })) << log.dump();
}

TEST_F(ChannelRelayTest, WhatTheFirstSideSendsWaitsForTheSecondAndHoldsTheSenderBack)
{
    settings.relayHoldBytes = 64 * 1024;
    start();
    const int32_t id = open("tcp");
    std::unique_ptr<RawClient> a = join(id);
    // Far more than the relay holds and the sockets buffer between them.
    const Bytes stream = randomBytes(48u << 20, 3);
    ASSERT_EQ(::fcntl(a->fd(), F_SETFL, ::fcntl(a->fd(), F_GETFL) | O_NONBLOCK), 0);
    size_t taken = 0;
    for (;;) {
        const ssize_t n = ::send(a->fd(), stream.data() + taken, stream.size() - taken, MSG_NOSIGNAL);
        if (n > 0) {
            taken += static_cast<size_t>(n);
            continue;
        }
        ASSERT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << std::strerror(errno);
        // Full for now; the relay may still be taking bytes. Held back once it stops.
        pollfd p{a->fd(), POLLOUT, 0};
        if (::poll(&p, 1, 500) == 0)
            break;
    }
    EXPECT_LT(taken, stream.size()) << "nobody reads, so the sender must be held back";
    ASSERT_EQ(::fcntl(a->fd(), F_SETFL, ::fcntl(a->fd(), F_GETFL) & ~O_NONBLOCK), 0);

    // The second side joins: its answer comes first, then all of it, in order.
    std::unique_ptr<RawClient> b = join(id);
    std::thread rest([&] { EXPECT_TRUE(a->send(Bytes(stream.begin() + static_cast<long>(taken), stream.end()))); });
    Bytes received;
    EXPECT_TRUE(b->readExactly(received, stream.size(), 60000));
    rest.join();
    EXPECT_TRUE(received == stream);
}

TEST_F(ChannelRelayTest, RefusedJoinsAreAnsweredFailedAndClosed)
{
    start();
    const int32_t tcp = open("tcp");
    const int32_t udp = open("udp");
    std::unique_ptr<RawClient> a = join(tcp);
    std::unique_ptr<RawClient> b = join(tcp);
    Bytes tooLong = hex("26 00 00 13 88 00") + Bytes(5000, 'x');
    struct Case {
        const char* what;
        Bytes frame;
    };
    const Case cases[] = {
        {"a third side", joinFrame(tcp)},
        {"no session", joinFrame(tcp == 12345 ? 12346 : 12345)},
        {"a UDP session", joinFrame(udp)},
        {"another command", packetFrame("<message command=\"JOIN_UDP_CHANNEL\" session_id=\"" + std::to_string(tcp) + "\"/>")},
        {"a session id that is not a number", packetFrame("<message command=\"JOIN_TCP_CHANNEL\" session_id=\"1e5\"/>")},
        {"a server-link frame", commandFrame(Alice, "<message command=\"JOIN_TCP_CHANNEL\"/>")},
        {"a body above 4096 bytes", tooLong},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(printable(answerUntilClosed(c.frame)), printable(joinAnswer("FAILED")));
    }
    // The pair that was there goes on.
    ASSERT_TRUE(a->send(std::string("still here")));
    Bytes got;
    EXPECT_TRUE(b->readExactly(got, 10));
    EXPECT_EQ(printable(got), "still here");
}

TEST_F(ChannelRelayTest, AResetSideTakesItsPartnerDownAndEndsTheSession)
{
    start();
    const int32_t id = open("tcp");
    std::unique_ptr<RawClient> a = join(id);
    std::unique_ptr<RawClient> b = join(id);
    ASSERT_TRUE(b->send(std::string("unread by a")));
    // Closing with unread bytes and no lingering resets the connection.
    const linger resetOnClose{1, 0};
    ASSERT_EQ(::setsockopt(a->fd(), SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose), 0);
    ASSERT_TRUE(awaitCondition([&] {
        int waiting = 0;
        return ::ioctl(a->fd(), FIONREAD, &waiting) == 0 && waiting == 11;
    }));
    a.reset();
    Bytes rest;
    EXPECT_TRUE(b->readUntilClosed(rest, 5000));
    EXPECT_TRUE(awaitCondition([&] { return sessionCount() == 0; }));
}

TEST_F(ChannelRelayTest, SessionsAndConnectionsWhoseTimeRunsOutEnd)
{
    settings.relayJoinTimeoutMs = 300;
    settings.relayJoinFrameTimeoutMs = 300;
    settings.relayUdpIdleTimeoutMs = 300;
    start();
    const int32_t tcp = open("tcp");
    const int32_t udp = open("udp");
    const auto before = std::chrono::steady_clock::now();
    std::unique_ptr<RawClient> waiting = join(tcp);
    RawClient silent(relayPort());
    UdpPeer ua, ub;
    ua.sendTo(relayPort(), relayDatagram(udp, Alice, Bob, "a"));
    ub.sendTo(relayPort(), relayDatagram(udp, Bob, Alice, "b"));
    Bytes got;
    ASSERT_TRUE(ua.receive(got));

    // The side whose partner never came, and the connection that never joined, are closed.
    Bytes rest;
    EXPECT_TRUE(waiting->readUntilClosed(rest, 5000));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(250));
    EXPECT_TRUE(silent.readUntilClosed(rest, 5000));
    // The UDP session fell idle.
    EXPECT_TRUE(awaitCondition([&] { return sessionCount() == 0; }));
    EXPECT_TRUE(awaitCondition([&] {
        return log.count({"expired: the other side did not join within 300 ms"}) == 1 &&
               log.count({"no join frame within 300 ms"}) == 1 &&
               log.count({"ended: nothing came through it for 300 ms"}) == 1;
    })) << log.dump();
    // An expired session cannot be joined any more.
    EXPECT_EQ(printable(answerUntilClosed(joinFrame(tcp))), printable(joinAnswer("FAILED")));
}

// ---- UDP --------------------------------------------------------------------------------------

class UdpRelayTest : public ChannelRelayTest {
protected:
    // Opens a UDP session and has both participants heard from; bob's first datagram
    // reaches alice.
    void openAndMeet()
    {
        start();
        id = open("udp");
        alicePeer.reset(new UdpPeer());
        bobPeer.reset(new UdpPeer());
        alicePeer->sendTo(relayPort(), relayDatagram(id, Alice, Bob, "hello"));
        const Bytes first = relayDatagram(id, Bob, Alice, "hi");
        bobPeer->sendTo(relayPort(), first);
        Bytes got;
        ASSERT_TRUE(alicePeer->receive(got));
        ASSERT_EQ(printable(got), printable(first));
    }
    // The datagram from one peer arrives at the other whole.
    void expectPassed(UdpPeer& from, UdpPeer& to, const Bytes& datagram)
    {
        from.sendTo(relayPort(), datagram);
        Bytes got;
        ASSERT_TRUE(to.receive(got));
        EXPECT_EQ(printable(got), printable(datagram));
    }

    int32_t id = 0;
    std::unique_ptr<UdpPeer> alicePeer, bobPeer;
};

TEST_F(UdpRelayTest, DatagramsOfTheTwoParticipantsPassUnchangedBothWays)
{
    openAndMeet();
    // Alice's "hello" came before bob was heard from: it was dropped, and what bob gets
    // first is what alice sends now.
    expectPassed(*alicePeer, *bobPeer, relayDatagram(id, Alice, Bob, "and now?"));
    const Bytes large = relayDatagram(id, Bob, Alice, std::string(60000, 'L'));
    expectPassed(*bobPeer, *alicePeer, large);
    // A run each way arrives whole and in order.
    for (int i = 0; i < 50; ++i) {
        alicePeer->sendTo(relayPort(), relayDatagram(id, Alice, Bob, "a" + std::to_string(i)));
        bobPeer->sendTo(relayPort(), relayDatagram(id, Bob, Alice, "b" + std::to_string(i)));
    }
    for (int i = 0; i < 50; ++i) {
        Bytes got;
        ASSERT_TRUE(bobPeer->receive(got));
        EXPECT_EQ(printable(got), printable(relayDatagram(id, Alice, Bob, "a" + std::to_string(i))));
        ASSERT_TRUE(alicePeer->receive(got));
        EXPECT_EQ(printable(got), printable(relayDatagram(id, Bob, Alice, "b" + std::to_string(i))));
    }
}

TEST_F(UdpRelayTest, DatagramsThatAreNotTheSessionsAreDropped)
{
    openAndMeet();
    const int32_t tcp = open("tcp");
    UdpPeer carol;
    struct Case {
        const char* what;
        UdpPeer* from;
        Bytes datagram;
    };
    Bytes notTilde = relayDatagram(id, Alice, Bob, "x");
    notTilde[0] = '#';
    Bytes shortOne = relayDatagram(id, Alice, Bob, "");
    shortOne.pop_back();
    const Case cases[] = {
        {"shorter than the header", alicePeer.get(), shortOne},
        {"not a relay datagram", alicePeer.get(), notTilde},
        {"an unknown session", alicePeer.get(), relayDatagram(id ^ 0x40, Alice, Bob, "x")},
        {"a session id above 31 bits", alicePeer.get(), relayDatagram(0x80000000u | uint32_t(id), Alice, Bob, "x")},
        {"a TCP session", alicePeer.get(), relayDatagram(tcp, Alice, Bob, "x")},
        {"a sender who is not a participant", &carol, relayDatagram(id, Carol, Bob, "x")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.from->sendTo(relayPort(), c.datagram);
        // What bob gets next is what comes after it; and alice is still where she was.
        expectPassed(*alicePeer, *bobPeer, relayDatagram(id, Alice, Bob, std::string("after: ") + c.what));
        expectPassed(*bobPeer, *alicePeer, relayDatagram(id, Bob, Alice, "still yours"));
    }
}

TEST_F(UdpRelayTest, AParticipantThatMovesIsFollowed)
{
    openAndMeet();
    UdpPeer moved;
    expectPassed(moved, *bobPeer, relayDatagram(id, Alice, Bob, "from my new address"));
    expectPassed(*bobPeer, moved, relayDatagram(id, Bob, Alice, "found you"));
    Bytes stale;
    EXPECT_FALSE(alicePeer->receive(stale, 200)) << "the old address got " << printable(stale);
}

// ---- the program --------------------------------------------------------------------------------

TEST(ChannelRelayProgram, TheListeningLineNamesTheRelayWhosePortIsTakenForTcpAndUdp)
{
    ServerProcess plain;
    ASSERT_TRUE(plain.start({"--http", "127.0.0.1:0", "--message", "127.0.0.1:0"}));
    EXPECT_EQ(plain.relayPort(), 0);

    ServerProcess server;
    ASSERT_TRUE(server.startWithRelay({"--http", "127.0.0.1:0", "--message", "127.0.0.1:0"}));
    ASSERT_NE(server.relayPort(), 0);
    EXPECT_TRUE(loopbackPortAccepts(server.relayPort()));
    const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopbackAddress(server.relayPort());
    EXPECT_NE(::bind(udp, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(errno, EADDRINUSE);
    ::close(udp);
}

} // namespace
