// The server link against servers of the test's own on loopback: an account endpoint that
// answers the sign-in form with a reply written by hand, and a message server whose every
// byte the test writes and reads itself, so that it can stall, send garbage, cut a frame
// or stop reading.

#include "tests/core/ClientTestSupport.h"
#include "foundation/XmlNode.h"
#include "tests/foundation/ThreadTestSupport.h"
#include "tests/core/FakeServers.h"
#include "tests/support/RawLoopback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : endpoint(signInReply(server.port())), folders(endpoint.url())
    {
        folders.writeAccount("alice", "pw");
    }

    // Starts the client, which signs in at once, and accepts its connection.
    int startAndAccept()
    {
        EXPECT_TRUE(client.start()) << client.log.dump();
        const int fd = server.accept();
        EXPECT_GE(fd, 0) << "the client did not connect; its lines:\n" << client.log.dump();
        return fd;
    }

    int expectLine(const std::string& line, size_t from = 0, int timeoutMs = 10000)
    {
        const int index = client.log.waitFor(line, timeoutMs, from);
        EXPECT_GE(index, 0) << "no line \"" << line << "\"; the lines:\n" << client.log.dump();
        return index;
    }

    DiagnosticRecorder diagnostics;
    FakeMessageServer server;
    FakeAccountEndpoint endpoint;
    ClientFolders folders;
    TestClient client{folders};
};

} // namespace

TEST_F(LinkTest, TheSignInFrameComesFirstAndWhatWasQueuedBeforeIsNotSent)
{
    // Frames queued while no link exists go unsent.
    for (int i = 0; i < 3; ++i)
        client.app->connection().sendModuleMessage("probe", "12", "too early");
    const int fd = startAndAccept();
    ASSERT_GE(fd, 0);
    const RawFrame first = readFrame(fd);
    EXPECT_EQ(first.type, 100);
    EXPECT_EQ(first.body, "<message network_id=\"\" user_id=\"7\" user_name=\"alice\" password=\"pw\" status=\"1\" "
                          "peer_contacts=\"56;\" contacts=\"12;34;\"/>");
    EXPECT_EQ(readExactly(fd, 1, 300), "");

    sendAllBytes(fd, signedInFrame());
    expectLine("module probe signed-in");
    // The link then carries what is sent, at once and in order; the signed-in handling
    // asks for the own user's details first.
    client.app->connection().sendModuleMessage("probe", "12", "now");
    const RawFrame info = readFrame(fd);
    EXPECT_EQ(info.type, 10);
    EXPECT_EQ(info.body, "<xml command=\"GET_USER_INFO\"/>");
    const RawFrame message = readFrame(fd);
    EXPECT_EQ(message.type, 2);
    EXPECT_EQ(message.recipient, 12u);
    EXPECT_EQ(message.sender, 7u);
    EXPECT_EQ(message.body, "<message module_id=\"probe\" data=\"now\"/>");
    ::close(fd);
}

TEST_F(LinkTest, TheSystemModulesMessagesTravelInTheIndentedForm)
{
    const int fd = startAndAccept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFrame(fd).type, 100);
    sendAllBytes(fd, signedInFrame());
    expectLine("module probe signed-in");
    EXPECT_EQ(readFrame(fd).type, 10) << "the user details asked for";

    XmlNode ask;
    ask.addChild("command", "ASK_TCP_SERVER_IP_PORT");
    ask.addChild("connection_id", "10000");
    ask.addChild("user_id", "7");
    client.app->systemModule().sendToUser(12, ask);
    const RawFrame frame = readFrame(fd);
    EXPECT_EQ(frame.type, 2);
    EXPECT_EQ(frame.recipient, 12u);
    EXPECT_EQ(frame.body, "<message module_id=\"system_module\" data=\"&lt;xml&gt;\r\n"
                          "\t&lt;command&gt;ASK_TCP_SERVER_IP_PORT&lt;/command&gt;\r\n"
                          "\t&lt;connection_id&gt;10000&lt;/connection_id&gt;\r\n"
                          "\t&lt;user_id&gt;7&lt;/user_id&gt;\r\n"
                          "&lt;/xml&gt;\r\n\"/>");
    ::close(fd);
}

// Once the failure has been told and everything posted has been handled: the status line
// says why, and nothing replaced it after it first said so.
void expectSignInErrorStaysOnTheStatusLine(TestClient& client)
{
    EXPECT_GE(client.log.waitFor("notice Unable to connect the server.", 10000), 0) << client.log.dump();
    client.onUi([] {});
    client.onUi([] {});
    std::vector<std::string> status;
    for (const std::string& line : client.log.lines())
        if (line.rfind("status ", 0) == 0)
            status.push_back(line);
    const auto error = std::find(status.begin(), status.end(), "status Error Signing in the server.");
    ASSERT_NE(error, status.end()) << client.log.dump();
    EXPECT_EQ(std::count(error, status.end(), "status Offline."), 0) << client.log.dump();
    EXPECT_EQ(status.back(), "status Error Signing in the server.");
}

TEST_F(LinkTest, AServerThatNeverConfirmsTheSignInIsGivenUp)
{
    client.app->connection().timing.signInReplyTimeoutMs = 300;
    const int fd = startAndAccept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFrame(fd).type, 100);
    expectLine("notice Unable to connect the server.");
    EXPECT_TRUE(closedBefore(fd, 5000));
    EXPECT_FALSE(client.app->connection().isConnected());
    expectSignInErrorStaysOnTheStatusLine(client);
    ::close(fd);
}

TEST(Link, ASignInThatFailsLeavesItsErrorOnTheStatusLine)
{
    // Port 1 on loopback refuses at once: nothing listens there.
    const struct {
        const char* name;
        std::string reply;
    } cases[] = {
        {"the account endpoint refuses",
         "<?xml version=\"1.0\"?><xml><status>FAILED</status><reason>Wrong password</reason></xml>"},
        {"the message server cannot be reached", "LOGIN SUCCESS\n127.0.0.1:1\nalice\n2\n\n\n7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeAccountEndpoint endpoint(c.reply);
        ClientFolders folders(endpoint.url());
        folders.writeAccount("alice", "pw");
        TestClient client(folders);
        ASSERT_TRUE(client.start());
        expectSignInErrorStaysOnTheStatusLine(client);
    }
}

TEST_F(LinkTest, GarbageCostsTheLinkAndANewSignInStartsAFreshFrame)
{
    int fd = startAndAccept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFrame(fd).type, 100);
    sendAllBytes(fd, "HTTP/1.1 200 OK\r\nServer: not a message server\r\n\r\n");
    expectLine("notice Connection to server has been lost.");
    EXPECT_TRUE(closedBefore(fd, 5000));
    ::close(fd);

    // A server that dies in the middle of a frame: the next link must not read on from it.
    size_t from = client.log.size();
    client.onUi([this] { client.app->signIn(); });
    fd = server.accept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFrame(fd).type, 100);
    sendAllBytes(fd, signedInFrame().substr(0, 10));
    ::close(fd);
    expectLine("notice Connection to server has been lost.", from);

    from = client.log.size();
    client.onUi([this] { client.app->signIn(); });
    fd = server.accept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFrame(fd).type, 100);
    sendAllBytes(fd, signedInFrame());
    expectLine("module probe signed-in", from);
    ::close(fd);
}

TEST_F(LinkTest, AServerThatTakesNoBytesEndsTheLinkInsteadOfTheClient)
{
    client.app->connection().timing.writeTimeoutMs = 300;
    const int fd = startAndAccept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFrame(fd).type, 100);
    sendAllBytes(fd, signedInFrame());
    expectLine("module probe signed-in");
    // The server reads no more; frames of text that does not compress fill both buffers.
    std::string data;
    uint32_t seed = 12345;
    for (int i = 0; i < 600000; ++i) {
        seed = seed * 1103515245 + 12345;
        data += static_cast<char>('A' + (seed >> 16) % 26);
    }
    const size_t from = client.log.size();
    for (int i = 0; i < 40 && client.log.waitFor("notice Connection to server has been lost.", 0, from) < 0; ++i)
        client.app->connection().sendModuleMessage("probe", "12", data.c_str());
    expectLine("notice Connection to server has been lost.", from, 15000);
    // The client is still itself: it answers and signs out.
    client.onUi([this] { client.app->signOut(); });
    expectLine("status Offline.", from);
    ::close(fd);
}

TEST_F(LinkTest, SignOutClosesTheLinkOnTheConnectionThreadAndReportsOnce)
{
    const int fd = startAndAccept();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFrame(fd).type, 100);
    sendAllBytes(fd, signedInFrame());
    expectLine("module probe signed-in");
    const size_t from = client.log.size();
    client.onUi([this] { client.app->signOut(); });
    // The status line says so at once, before the link has gone.
    EXPECT_FALSE(client.app->connection().isConnected());
    EXPECT_TRUE(closedBefore(fd, 5000));
    expectLine("module probe signed-out", from);
    client.onUi([] {});
    const std::vector<std::string> lines = client.log.lines();
    EXPECT_EQ(std::count(lines.begin() + static_cast<long>(from), lines.end(), "module probe signed-out"), 1);
    for (size_t i = from; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind("notice", 0), std::string::npos) << lines[i];
    ::close(fd);
}

TEST(Link, ASignOutWhileConnectingEndsSignedOut)
{
    FakeMessageServer server;
    // The account endpoint answers slowly, so the sign-out comes while the connect runs.
    FakeAccountEndpoint endpoint(signInReply(server.port()), 300);
    ClientFolders folders(endpoint.url());
    folders.writeAccount("alice", "pw");
    TestClient client(folders);
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(awaitCondition([&endpoint] { return endpoint.requests() > 0; }));
    client.onUi([&client] { client.app->signOut(); });
    // The link made meanwhile is closed again and the sign-out reported.
    const int fd = server.accept(5000);
    if (fd >= 0) {
        EXPECT_TRUE(closedBefore(fd, 5000));
        ::close(fd);
    }
    EXPECT_GE(client.log.waitFor("module probe signed-out", 5000), 0) << client.log.dump();
    EXPECT_FALSE(client.app->connection().isConnected());
    EXPECT_EQ(client.log.count("module probe signed-in"), 0u);
}

TEST(Link, FramesWaitingForTheLinkAreBounded)
{
    DiagnosticRecorder diagnostics;
    DiagnosticRecorder::clear();
    ClientFolders folders;
    TestClient client(folders);
    ConnectionThread& link = client.app->connection();
    link.timing.maxPendingFrames = 10;
    for (int i = 0; i < 25; ++i)
        link.sendModuleMessage("probe", "12", "x");
    EXPECT_EQ(link.droppedFrames(), 15u);
    link.timing.maxPendingBytes = 200;
    link.sendModuleMessage("probe", "12", std::string(150, 'y').c_str());
    EXPECT_GT(link.droppedFrames(), 15u);
    EXPECT_FALSE(DiagnosticRecorder::lines().empty());
}

TEST(Link, PeerChannelConnectsHaveTheirOwnConnector)
{
    ClientFolders folders;
    TestClient client(folders);
    uint16_t port = 0;
    const int listener = listenOnLoopback(port);
    SocketAddress open;
    open.setHost("127.0.0.1", port);
    SocketAddress closed;
    closed.setHost("127.0.0.1", unusedLoopbackPort());

    // Several threads at once, half of them to a closed port.
    std::vector<std::thread> threads;
    std::atomic<int> connected{0};
    std::atomic<int> refused{0};
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            const SocketHandle s = client.app->connection().connectThroughProxy(i % 2 ? closed : open, 2000);
            if (s == NoSocket) {
                ++refused;
            } else {
                ++connected;
                closeSocket(s);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(connected.load(), 4);
    EXPECT_EQ(refused.load(), 4);
    ::close(listener);
}

TEST(Link, AReplyWithoutAUsableOwnIdFailsTheSignIn)
{
    DiagnosticRecorder diagnostics;
    FakeMessageServer server;
    // The own id would be 0: such a client would send every frame as if from the server.
    FakeAccountEndpoint endpoint("LOGIN SUCCESS\n127.0.0.1:" + std::to_string(server.port()) + "\nalice\n0\n\n\n0");
    ClientFolders folders(endpoint.url());
    folders.writeAccount("alice", "pw");
    TestClient client(folders);
    ASSERT_TRUE(client.start());
    EXPECT_GE(client.log.waitFor("notice Unable to connect the server.", 10000), 0) << client.log.dump();
    EXPECT_EQ(server.accept(300), -1) << "the message server was connected";
    EXPECT_EQ(client.log.count("module probe signed-out"), 1u);
}
