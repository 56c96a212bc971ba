// Module channels over real loopback sockets: TCP channels framed with Packet, and datagram
// channels sharing one UDP socket per program through its manager. Raw sockets of the test
// play the network where a case needs bytes no program would send.

#include "core/channels/TcpModuleConnection.h"
#include "core/channels/UdpChannelManager.h"
#include "tests/foundation/ThreadTestSupport.h"
#include "tests/support/LoopbackUdpSide.h"
#include "tests/support/RawLoopback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

// A connected pair of loopback TCP sockets.
std::pair<SocketHandle, SocketHandle> tcpPair()
{
    uint16_t port = 0;
    const int listener = listenOnLoopback(port);
    SocketAddress address;
    address.setHost("127.0.0.1", port);
    const SocketHandle client = createSocket(true);
    connectSocket(client, address);
    SocketAddress peer;
    const SocketHandle server = acceptConnection(listener, peer, 5000);
    ::close(listener);
    return {client, server};
}

std::string received(IModuleConnection& channel)
{
    return std::string(reinterpret_cast<const char*>(channel.data()), static_cast<size_t>(channel.size()));
}

std::string frameHeader(uint32_t length)
{
    std::string h = "&";
    for (int shift = 24; shift >= 0; shift -= 8)
        h += static_cast<char>((length >> shift) & 0xff);
    h += '\0';
    return h;
}

} // namespace

TEST(TcpModuleConnection, CarriesFramesBothWays)
{
    auto [a, b] = tcpPair();
    auto* left = new TcpModuleConnection(a);
    auto* right = new TcpModuleConnection(b);
    const std::string big(200000, 'q');
    left->send("hello", 5);
    left->send(big.data(), static_cast<int>(big.size()));
    left->send("x", 0); // nothing
    EXPECT_EQ(right->receive(1000), 5);
    EXPECT_EQ(received(*right), "hello");
    EXPECT_EQ(right->receive(1000), 200000);
    EXPECT_EQ(received(*right), big);
    EXPECT_EQ(right->receive(0), 0) << "nothing waits: a time-out, at once";

    right->send("back", 4);
    EXPECT_EQ(left->receive(-1), 4);
    EXPECT_EQ(received(*left), "back");
    left->close();
    right->close();
}

TEST(TcpModuleConnection, AFrameThatArrivesInTwoPartsIsReturnedWholeOnce)
{
    auto [a, b] = tcpPair();
    auto* channel = new TcpModuleConnection(b);
    const std::string frame = frameHeader(10) + "0123456789";
    ASSERT_EQ(::send(a, frame.data(), 8, MSG_NOSIGNAL), 8);
    EXPECT_EQ(channel->receive(50), 0);
    ASSERT_EQ(::send(a, frame.data() + 8, frame.size() - 8, MSG_NOSIGNAL), static_cast<ssize_t>(frame.size() - 8));
    EXPECT_EQ(channel->receive(1000), 10);
    EXPECT_EQ(received(*channel), "0123456789");
    EXPECT_EQ(channel->receive(0), 0);
    channel->close();
    ::close(a);
}

TEST(TcpModuleConnection, ABlockedReaderSeesThePeerClose)
{
    auto [a, b] = tcpPair();
    auto* left = new TcpModuleConnection(a);
    auto* right = new TcpModuleConnection(b);
    auto reader = std::async(std::launch::async, [right] {
        try {
            right->receive(-1);
            return false;
        } catch (const IModuleConnection::ConnectionException&) {
            return true;
        }
    });
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    left->close();
    EXPECT_TRUE(reader.get());
    right->close();
}

TEST(TcpModuleConnection, BytesThatAreNoFrameBreakTheChannel)
{
    auto [a, b] = tcpPair();
    auto* channel = new TcpModuleConnection(b);
    ASSERT_EQ(::send(a, "GET / HTTP/1.0\r\n", 16, MSG_NOSIGNAL), 16);
    EXPECT_THROW(channel->receive(1000), IModuleConnection::ConnectionException);
    channel->close();
    ::close(a);
}

namespace {

// A datagram written by hand: '~', type, 0, 0, recipient connection, relay connection,
// sender user, recipient user, payload.
std::string datagram(uint8_t type, uint32_t connection, uint64_t sender, uint64_t recipient, const std::string& payload,
                     char magic = '~')
{
    std::string d;
    d += magic;
    d += static_cast<char>(type);
    d += std::string(2, '\0');
    for (int shift = 24; shift >= 0; shift -= 8)
        d += static_cast<char>((connection >> shift) & 0xff);
    d += std::string(4, '\0');
    for (uint64_t v : {sender, recipient})
        for (int shift = 56; shift >= 0; shift -= 8)
            d += static_cast<char>((v >> shift) & 0xff);
    return d + payload;
}

// A socket of the test that plays the peer (or a stranger) on the network.
struct RawPeer {
    SocketHandle socket = createSocket(false);
    RawPeer()
    {
        SocketAddress any;
        any.setHost("127.0.0.1", 0);
        bindSocket(socket, any);
    }
    ~RawPeer() { closeSocket(socket); }
    SocketAddress address() const
    {
        SocketAddress a;
        a.setHost("127.0.0.1", getLocalPort(socket));
        return a;
    }
    void send(const SocketAddress& to, const std::string& bytes)
    {
        sendTo(socket, to, bytes.data(), static_cast<int>(bytes.size()));
    }
};

} // namespace

TEST(UdpChannel, CarriesDatagramsBothWaysOverOneSocketPerProgram)
{
    UdpSide alice(101);
    UdpSide bob(202);
    UdpChannel* a = alice.channel(10001, 20001, bob);
    UdpChannel* b = bob.channel(20001, 10001, alice);
    // A second channel pair on the same sockets keeps its datagrams apart.
    UdpChannel* a2 = alice.channel(10002, 20002, bob);
    UdpChannel* b2 = bob.channel(20002, 10002, alice);

    const std::string fifty(50, 'v');
    a->send(fifty.data(), 50);
    a2->send("other", 5);
    EXPECT_EQ(b->receive(2000), 50);
    EXPECT_EQ(received(*b), fifty);
    EXPECT_EQ(b2->receive(2000), 5);
    EXPECT_EQ(received(*b2), "other");
    b->send("reply", 5);
    EXPECT_EQ(a->receive(2000), 5);
    EXPECT_EQ(received(*a), "reply");
    EXPECT_EQ(a->receive(0), 0);
    a->send("x", 0);
    EXPECT_EQ(b->receive(50), 0);
    for (UdpChannel* c : {a, b, a2, b2})
        c->close();
    EXPECT_EQ(alice.manager.channelCount(), 0);
}

TEST(UdpChannel, DatagramsAreDeliveredOnlyToTheChannelAndUserTheyName)
{
    UdpSide bob(202);
    UdpSide alice(101);
    UdpChannel* channel = bob.channel(20001, 10001, alice);
    RawPeer peer;
    RawPeer stranger;
    channel->setPeerAddress(peer.address());
    const SocketAddress to = bob.address();
    peer.send(to, datagram(1, 20001, 101, 303, "for someone else"));
    peer.send(to, datagram(1, 29999, 101, 202, "for no channel"));
    peer.send(to, datagram(1, 20001, 999, 202, "from another sender"));
    peer.send(to, std::string("~\x01\0\0", 4) + "short");
    // An open channel takes datagrams only from where its peer is.
    stranger.send(to, datagram(1, 20001, 101, 202, "from another address"));
    peer.send(to, datagram(1, 20001, 101, 202, "any first byte", 'Z'));
    EXPECT_EQ(channel->receive(2000), 14);
    EXPECT_EQ(received(*channel), "any first byte");
    EXPECT_EQ(channel->receive(100), 0);
    // During the handshake any address may be the peer's.
    channel->setState(UdpChannel::Answering);
    stranger.send(to, datagram(1, 20001, 101, 202, "found"));
    EXPECT_EQ(channel->receive(2000), 5);
    EXPECT_EQ(channel->peerAddress().getPort(), stranger.address().getPort());
    channel->close();
}

TEST(UdpChannel, ACloseWakesABlockedReaderWhichThenSeesAClosedChannel)
{
    UdpSide bob(202);
    UdpSide alice(101);
    UdpChannel* channel = bob.channel(20001, 10001, alice);
    RawPeer peer;
    channel->setPeerAddress(peer.address());
    auto reader = std::async(std::launch::async, [channel] { return channel->receive(-1); });
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    peer.send(bob.address(), datagram(UdpPacket::Close, 20001, 101, 202, ""));
    EXPECT_EQ(reader.get(), 0);
    EXPECT_EQ(channel->receive(-1), -1);
    channel->send("dropped", 7);
    EXPECT_EQ(bob.manager.queuedDatagrams(), 0u);
    channel->close();

    // The manager's end closes its channels, and their waiting readers learn it.
    UdpChannel* second = bob.channel(20002, 10002, alice);
    auto waiting = std::async(std::launch::async, [second] { return second->receive(-1); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    bob.manager.stop();
    EXPECT_EQ(waiting.get(), -1);
    second->close();
}

TEST(UdpChannel, TheReceiveQueueIsBoundedAndKeepsTheNewest)
{
    std::atomic<uint64_t> own{1};
    UdpChannelManager manager(own);
    auto* channel = new UdpChannel(manager);
    channel->setState(UdpChannel::Open);
    SocketAddress source;
    for (int i = 0; i < 300; ++i) {
        const std::string payload = std::to_string(i);
        channel->deliverData(source, reinterpret_cast<const uint8_t*>(payload.data()), static_cast<int>(payload.size()));
    }
    EXPECT_EQ(channel->droppedDatagrams(), 300u - UdpChannel::MaxQueued);
    ASSERT_GT(channel->receive(0), 0);
    EXPECT_EQ(received(*channel), std::to_string(300 - UdpChannel::MaxQueued));
    channel->close();
}

TEST(UdpChannel, ChannelsClosingWhileDatagramsPourInAreNeverDeliveredTo)
{
    UdpSide alice(101);
    UdpSide bob(202);
    std::atomic<bool> done{false};
    std::thread flood([&] {
        UdpChannel* sender = alice.channel(10001, 20001, bob);
        while (!done.load())
            sender->send("flood", 5);
        sender->close();
    });
    // Channels open and close under the flood; a delivery into a closed one would be a
    // use after free.
    for (int i = 0; i < 200; ++i) {
        UdpChannel* target = bob.channel(20001, 10001, alice);
        target->receive(1);
        target->close();
    }
    done = true;
    flood.join();
}
