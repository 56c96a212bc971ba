// The message server on real loopback sockets: the bounds that close a connection, each
// with its log line, and the queue that keeps a client that does not read from holding up
// anybody else.

#include "NetClient.h"
#include "tests/foundation/ThreadTestSupport.h"

#include "server/OrvaneServer.h"
#include "server/PasswordHash.h"

#include <chrono>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

const Bytes aliceSignIn = aliceSignInFrame();
const Bytes bobSignIn = bobSignInFrame();

class MessageEndpointTest : public ::testing::Test {
protected:
    MessageEndpointTest() { settings.passwordHashCost = 1; }

    void start() { server = startServerWithAliceAndBob(settings); }
    uint16_t port() const { return server->messageAddress().getPort(); }

    // Signs in and reads the two frames that answer it (101 and 6).
    void signIn(RawClient& client, const Bytes& frame)
    {
        ASSERT_TRUE(client.send(frame));
        Bytes header, body;
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(client.readExactly(header, 21));
            const size_t length = (size_t(header[19]) << 8) | header[20];
            ASSERT_TRUE(client.readExactly(body, length));
        }
    }

    LogCapture log;
    ServerSettings settings;
    std::unique_ptr<OrvaneServer> server;
};

TEST_F(MessageEndpointTest, AnOversizedFrameClosesTheConnection)
{
    start();
    RawClient client(port());
    signIn(client, aliceSignIn);
    // A header that announces 2 GiB, followed by nothing: refused at once.
    ASSERT_TRUE(client.send(hex("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  7f ff ff ff")));
    Bytes rest;
    EXPECT_TRUE(client.readUntilClosed(rest, 3000));
    EXPECT_TRUE(rest.empty());
    EXPECT_TRUE(awaitCondition([&] { return log.count({"refused, connection closed", "above 1048576 bytes"}) == 1; }))
        << log.dump();
    EXPECT_TRUE(awaitCondition([&] { return server->hub().sessionCount(1) == 0; }));
}

TEST_F(MessageEndpointTest, AConnectionThatDoesNotSignInIsClosed)
{
    settings.signInTimeoutMs = 300;
    start();
    RawClient client(port());
    const auto before = std::chrono::steady_clock::now();
    Bytes rest;
    EXPECT_TRUE(client.readUntilClosed(rest, 3000));
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(250));
    EXPECT_TRUE(awaitCondition([&] { return log.count({"closed: no sign-in within 300 ms"}) == 1; })) << log.dump();
}

TEST_F(MessageEndpointTest, ConnectionsBeyondTheBoundAreClosedAtOnce)
{
    settings.maxMessageConnections = 2;
    start();
    RawClient first(port()), second(port());
    signIn(first, aliceSignIn);
    signIn(second, bobSignIn);
    RawClient third(port());
    Bytes rest;
    EXPECT_TRUE(third.readUntilClosed(rest, 3000));
    EXPECT_EQ(log.count({"refused a connection: 2 connections are open"}), 1) << log.dump();
    // The first two are still served.
    EXPECT_EQ(server->hub().sessionCount(1), 1);
    EXPECT_EQ(server->hub().sessionCount(2), 1);
}

TEST_F(MessageEndpointTest, AClientThatDoesNotReadIsDroppedAndTheSenderGoesOn)
{
    settings.maxQueuedBytes = 2 * 1024 * 1024;
    start();
    RawClient alice(port()), bob(port());
    signIn(alice, aliceSignIn);
    signIn(bob, bobSignIn);
    // Bob reads nothing. Alice sends him 12 MiB, far more than the socket buffers and the
    // queue hold, in bodies that do not compress.
    const size_t bodyLength = 1 << 20;
    Bytes body(bodyLength);
    uint32_t x = 12345;
    for (uint8_t& b : body) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 24);
    }
    Bytes frame = hex("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 10 00 00") + body;
    std::thread sender([&] {
        for (int i = 0; i < 12; ++i)
            if (!alice.send(frame))
                return;
    });
    EXPECT_TRUE(awaitCondition([&] { return server->hub().sessionCount(2) == 0; }, 20000));
    sender.join();
    EXPECT_EQ(log.count({"dropped the client", "wait for it unread"}), 1) << log.dump();
    // Alice is still signed in and served: her own information comes back.
    EXPECT_EQ(server->hub().sessionCount(1), 1);
    ASSERT_TRUE(alice.send(frameFixture("23 0a 00  00 00 00 00 01  00 00  00 00 00 00 01  00 00  00 00 00 1e",
                                        R"(<xml command="GET_USER_INFO"/>)")));
    Bytes header;
    ASSERT_TRUE(alice.readExactly(header, 21));
    EXPECT_EQ(header[1], 10);
}

TEST_F(MessageEndpointTest, FramesSentWithTheSignInFrameAreServedAfterIt)
{
    start();
    RawClient client(port());
    // The sign-in and a request in one write: the request waits for the password check.
    ASSERT_TRUE(client.send(aliceSignIn + frameFixture("23 0a 00  00 00 00 00 01  00 00  00 00 00 00 01  00 00  00 00 00 1e",
                                                       R"(<xml command="GET_USER_INFO"/>)")));
    std::vector<int> types;
    for (int i = 0; i < 3; ++i) {
        Bytes header, body;
        ASSERT_TRUE(client.readExactly(header, 21));
        ASSERT_TRUE(client.readExactly(body, (size_t(header[19]) << 8) | header[20]));
        types.push_back(header[1]);
    }
    EXPECT_EQ(types, (std::vector<int>{101, 6, 10}));
}

// Sends half a sign-in header and stalls.
void stall(RawClient& client)
{
    ASSERT_TRUE(client.send(hex("23 64 00  00 00 00 00 00  00 00")));
}

bool closedByServer(RawClient& client)
{
    Bytes rest;
    return client.readUntilClosed(rest, 2000);
}

TEST_F(MessageEndpointTest, ConnectionsThatWaitForTheirSignInMakeRoomForNewOnes)
{
    // The oldest waiting connection of the crowded address goes.
    settings.maxWaitingPerAddress = 2;
    start();
    RawClient first(port()), second(port());
    stall(first);
    stall(second);
    RawClient alice(port());
    signIn(alice, aliceSignIn);
    EXPECT_TRUE(closedByServer(first));
    EXPECT_EQ(log.count({"closed to make room: the oldest of 2 connections from its address that have not sent their sign-in frame"}), 1)
        << log.dump();
    EXPECT_EQ(server->hub().sessionCount(1), 1);
}

TEST_F(MessageEndpointTest, AFullServerClosesAWaitingConnectionBeforeItRefusesANewOne)
{
    settings.maxMessageConnections = 2;
    start();
    RawClient alice(port()), stalled(port());
    signIn(alice, aliceSignIn);
    stall(stalled);
    RawClient bob(port());
    signIn(bob, bobSignIn);
    EXPECT_TRUE(closedByServer(stalled));
    EXPECT_EQ(log.count({"closed to make room"}), 1) << log.dump();
    EXPECT_EQ(server->hub().sessionCount(1), 1);
    EXPECT_EQ(server->hub().sessionCount(2), 1);
}

TEST_F(MessageEndpointTest, TheSignInChecksOfClientsThatLeftAreDropped)
{
    // One worker and slow hashes: while it checks alice's, ten clients send a sign-in frame
    // and leave at once.
    settings.passwordWorkers = 1;
    settings.passwordHashCost = 6;
    start();
    RawClient alice(port());
    const long before = passwordHashLoad().total;
    ASSERT_TRUE(alice.send(aliceSignIn));
    for (int i = 0; i < 10; ++i) {
        RawClient leaver(port());
        ASSERT_TRUE(leaver.send(bobSignIn));
    }
    Bytes header;
    ASSERT_TRUE(alice.readExactly(header, 21));
    RawClient bob(port());
    signIn(bob, bobSignIn);
    // Alice's and bob's own; a leaver's check may have been taken before its close was read.
    EXPECT_LE(passwordHashLoad().total - before, 4);
}

TEST_F(MessageEndpointTest, StoppingEndsSignedInConnections)
{
    start();
    RawClient alice(port());
    signIn(alice, aliceSignIn);
    const auto before = std::chrono::steady_clock::now();
    server->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(3000));
    Bytes rest;
    EXPECT_TRUE(alice.readUntilClosed(rest, 3000));
}

} // namespace
