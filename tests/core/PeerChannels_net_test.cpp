// The channel set-up's own rules against a test that plays the peer with raw sockets and
// hand-written records: which connections the program's server for peer connections takes,
// what it answers, and which set-up messages start work; and the records and messages as
// they go on the wire.

#include "core/channels/Packet.h"
#include "core/app/ThreadMessages.h"
#include "core/channels/SystemModule.h"
#include "tests/core/ClientTestSupport.h"
#include "tests/core/FakeServers.h"
#include "tests/foundation/ThreadTestSupport.h"
#include "tests/support/OwnProcess.h"
#include "tests/support/RawLoopback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <poll.h>
#include <string>
#include <vector>
#include <zlib.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

// bob (12), carl (34) and five more contacts.
const char* const kReply = "LOGIN SUCCESS\nhost:1\nalice\n1\n12\tbob\t\t\t\t\n34\tcarl\t\t\t\t\n"
                           "41\td1\t\t\t\t\n42\td2\t\t\t\t\n43\td3\t\t\t\t\n44\td4\t\t\t\t\n45\td5\t\t\t\t\n\n\n7";

// A connection to the port from a loopback source address (host order), blocking; -1 when
// it cannot be made.
int connectFrom(uint32_t source, uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
    sockaddr_in from = loopbackAddress(0);
    from.sin_addr.s_addr = htonl(source);
    const sockaddr_in to = loopbackAddress(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A set-up frame whose compressed body inflates to `inflated` zero bytes.
std::string bombFrame(size_t inflated)
{
    const std::string zeros(inflated, '\0');
    uLongf size = compressBound(static_cast<uLong>(inflated));
    std::string body(size, '\0');
    compress2(reinterpret_cast<Bytef*>(body.data()), &size, reinterpret_cast<const Bytef*>(zeros.data()),
              static_cast<uLong>(inflated), Z_DEFAULT_COMPRESSION);
    body.resize(size);
    const uint32_t n = static_cast<uint32_t>(size);
    return std::string{'&', char(n >> 24), char(n >> 16), char(n >> 8), char(n), 1} + body;
}

std::string connectBack(const char* sender, const char* module, uint16_t port)
{
    return std::string("<xml command=\"CONNECT_BACK\" connection_id=\"20000\" user_id=\"") + sender +
           "\" module_id=\"" + module + "\" ip_address=\"127.0.0.1\" port=\"" + std::to_string(port) + "\"/>";
}

std::string joinRelay(const char* sender, const char* module, uint16_t port)
{
    return std::string("<xml command=\"JOIN_SERVER_CHANNEL\" protocol=\"tcp\" user_id=\"") + sender +
           "\" module_id=\"" + module + "\" connection_id=\"777\" ip_address=\"127.0.0.1\" port=\"" +
           std::to_string(port) + "\"/>";
}

// A client signed in as user 7 with the contact bob (12), without a server: its system
// module listens for peer connections on loopback.
class PeerChannels : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No stored user: nothing signs in (or out) behind the test's back.
        folders.writeAccount("", "", "<bind_address>127.0.0.1</bind_address>");
        ASSERT_TRUE(client.start());
        client.onUi([this] {
            client.app->applySignInReply(SignInReply::parse(kReply));
            client.app->onThreadMessage(ThreadMessage::ConnectionState, 1, 0);
        });
        ASSERT_EQ(system().ownUserId(), 7u);
        port = system().tcpConnector().boundPort();
        ASSERT_NE(port, 0);
    }

    SystemModule& system() { return client.app->systemModule(); }

    // The peer port again, with the bounds the test sets.
    void restartPort(const std::function<void(TcpChannelConnector&)>& adjust)
    {
        TcpChannelConnector& connector = system().tcpConnector();
        connector.stop();
        adjust(connector);
        connector.start();
        port = connector.boundPort();
    }

    // A module message of the system module from a contact, as the server would deliver it.
    void fromPeer(const char* sender, const std::string& message)
    {
        client.onUi([&] {
            ContactRecord* contact = client.app->getContact(sender);
            system().onMessage(contact, message.c_str());
        });
    }

    // Connects, sends the record and reads the answer: the text, "<closed>" when the
    // connection closed without one.
    std::string setUp(const std::string& record, int* keep = nullptr)
    {
        SocketAddress address;
        address.setHost("127.0.0.1", port);
        const SocketHandle s = createSocket(true);
        connectSocket(s, address);
        Packet packet(s, 5000);
        packet.write(record.c_str());
        std::string answer;
        try {
            String text;
            packet.read(text);
            answer = text.c_str();
        } catch (const NoConnectionException&) {
            answer = "<closed>";
        }
        if (keep)
            *keep = s;
        else
            closeSocket(s);
        return answer;
    }

    DiagnosticRecorder diagnostics;
    ClientFolders folders;
    TestClient client{folders};
    uint16_t port = 0;
};

std::string connectDirect(const char* module, const char* sender, const char* recipient)
{
    return std::string("<packet command=\"CONNECT_DIRECT\" module_id=\"") + module + "\" sender_id=\"" + sender +
           "\" recipient_id=\"" + recipient + "\"/>";
}

} // namespace

TEST_F(PeerChannels, ADirectConnectionIsTakenOnlyAfterTheContactAskedForTheAddresses)
{
    // Nothing asked yet: refused.
    EXPECT_EQ(setUp(connectDirect("probe", "12", "7")), "FAILED");

    // bob asks through the server; the answer names this program's addresses.
    fromPeer("12", "<xml command=\"ASK_TCP_SERVER_IP_PORT\" connection_id=\"10044\" user_id=\"12\"/>");
    const std::vector<std::string> cases[] = {
        {connectDirect("probe", "12", "8"), "FAILED"},      // for another user
        {connectDirect("nothing", "12", "7"), "FAILED"},    // for no module here
        {connectDirect("probe", "34", "7"), "FAILED"},      // from someone who did not ask
        {"<packet command=\"HELLO\" sender_id=\"12\" recipient_id=\"7\"/>", "<closed>"},
        {"<packet command=\"CONNECT_DIRECT_BACK\" connection_id=\"10001\" module_id=\"probe\" sender_id=\"12\" "
         "recipient_id=\"7\"/>",
         "FAILED"}, // answers no request of this program
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        EXPECT_EQ(setUp(c[0]), c[1]);
    }
    EXPECT_EQ(client.log.count("module probe connection 12"), 0u);

    int socket = -1;
    EXPECT_EQ(setUp(connectDirect("probe", "12", "7"), &socket), "SUCCESS");
    EXPECT_GE(client.log.waitFor("module probe connection 12", 5000), 0) << client.log.dump();
    ::close(socket);
}

TEST_F(PeerChannels, DatagramSetUpStartsOnlyForAListedContactAndAModuleThatIsHere)
{
    const std::string open = "<xml command=\"OPEN_UDP_CHANNEL\" sndr_conn_id=\"40000\" rcpt_conn_id=\"0\" "
                             "user_id=\"SENDER\" external_address=\"127.0.0.1\" external_port=\"9\" "
                             "local_address=\"127.0.0.1\" local_port=\"9\" manual_settings=\"no\" module_id=\"MODULE\"/>";
    auto message = [&open](const char* sender, const char* module) {
        std::string m = open;
        m.replace(m.find("SENDER"), 6, sender);
        m.replace(m.find("MODULE"), 6, module);
        return m;
    };
    fromPeer("99", message("99", "probe"));   // a stranger
    fromPeer("12", message("12", "nothing")); // no such module
    EXPECT_EQ(system().udpManager().channelCount(), 0);
    fromPeer("12", message("12", "probe"));
    EXPECT_EQ(system().udpManager().channelCount(), 1);

    // A confirmation from someone else, or for no channel, changes nothing; the channel's
    // own peer confirms it once.
    UdpChannel* channel = nullptr;
    for (int id = SystemModule::FirstConnectionId; id < SystemModule::FirstConnectionId + 10 && !channel; ++id)
        channel = system().udpManager().findChannel(id);
    ASSERT_NE(channel, nullptr);
    const std::string success = "<xml command=\"UDP_CHANNEL_SUCCESS\" rcpt_conn_id=\"" +
                                std::to_string(channel->localConnectionId.load()) +
                                "\" sndr_conn_id=\"40000\" srvr_conn_id=\"0\"/>";
    fromPeer("34", success);
    EXPECT_EQ(channel->state(), UdpChannel::Answering);
    // A close from its peer ends the handshake: the responder closes the channel.
    fromPeer("12", "<xml command=\"CLOSE_UDP_CHANNEL\" rcpt_conn_id=\"" +
                       std::to_string(channel->localConnectionId.load()) + "\" sndr_conn_id=\"40000\"/>");
    EXPECT_TRUE(awaitCondition([this] { return system().udpManager().channelCount() == 0; }));
    EXPECT_EQ(client.log.count("module probe connection 12"), 0u);
}

TEST_F(PeerChannels, TheSetUpRecordsAsTheyGoOnTheWire)
{
    uint16_t listenerPort = 0;
    const int listener = listenOnLoopback(listenerPort);
    // A listening side that answers "success" in lower case is taken at its word.
    std::thread peer([listener] {
        SocketAddress from;
        const SocketHandle s = acceptConnection(listener, from, 5000);
        Packet packet(s, 5000);
        String record;
        packet.read(record);
        EXPECT_STREQ(record.c_str(),
                     "<packet command=\"CONNECT_DIRECT\" module_id=\"probe\" sender_id=\"7\" recipient_id=\"12\"/>");
        packet.write("success");
        closeSocket(s);
    });
    XmlNode record("packet");
    record.addChild("command", "CONNECT_DIRECT");
    record.addChild("module_id", "probe");
    record.addChild("sender_id", "7");
    record.addChild("recipient_id", "12");
    const SocketHandle s = system().tcpConnector().connectDirect("127.0.0.1", listenerPort, record, false);
    EXPECT_NE(s, NoSocket);
    peer.join();
    closeSocket(s);
    ::close(listener);
}

TEST_F(PeerChannels, AStrangersSetUpMessagesMakeNoConnectionAndNoThread)
{
    uint16_t listenerPort = 0;
    const int listener = listenOnLoopback(listenerPort);
    ASSERT_GE(listener, 0);
    // carl leaves the list; his record stays, as records do until the next sign-in.
    client.onUi([this] { client.app->contactRemoved("34"); });
    const struct {
        const char* sender;
        const char* module;
    } refused[] = {
        {"555", "probe"},         // a stranger: the dispatch made a record for him, not listed
        {"34", "probe"},          // a contact no longer listed
        {"12", "nothing"},        // bob, for no module here
        {"12", "system_module"},  // bob, for the module that takes no channel
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(std::string(c.sender) + " " + c.module);
        fromPeer(c.sender, connectBack(c.sender, c.module, listenerPort));
        fromPeer(c.sender, joinRelay(c.sender, c.module, listenerPort));
        EXPECT_EQ(system().runningThreads(), 0);
    }
    ASSERT_NE(client.onUi([this] { return client.app->findContact("555"); }), nullptr);

    // A stranger who asks learns nothing and is not expected: his direct connection fails.
    fromPeer("555", "<xml command=\"ASK_TCP_SERVER_IP_PORT\" connection_id=\"10044\" user_id=\"555\"/>");
    EXPECT_EQ(setUp(connectDirect("probe", "555", "7")), "FAILED");

    // bob's own connect-back is the one connection that comes.
    fromPeer("12", connectBack("12", "probe", listenerPort));
    SocketHandle back = NoSocket;
    const std::string record = acceptSetUpRecord(listener, back);
    EXPECT_NE(record.find("recipient_id=\"12\""), std::string::npos) << record;
    closeSocket(back);
    EXPECT_TRUE(system().waitForThreads(10000));
    pollfd more{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&more, 1, 0), 0) << "a second connection came";
    ::close(listener);
    EXPECT_EQ(client.log.count("module probe connection 555"), 0u);
}

TEST_F(PeerChannels, SetUpMessagesStartNoMoreHelperThreadsThanTheBoundsAllow)
{
    // A peer that takes every connection (the system's backlog accepts them) and never
    // answers: each connect-back and relay join waits out its answer time.
    uint16_t tarpitPort = 0;
    const int tarpit = listenOnLoopback(tarpitPort, 4096);
    ASSERT_GE(tarpit, 0);
    TcpChannelConnector::Timing& timing = system().tcpConnector().timing;
    timing.recordAnswerMs = 20000;
    timing.relayJoinAnswerMs = 20000;
    const char* const contacts[] = {"12", "34", "41", "42", "43", "44", "45"};

    // The last thread of the client's start-up, the ring player's, is started by a thread of
    // its own; threads are then counted by id, so that starter, ending by itself, counts
    // neither way.
    ASSERT_TRUE(awaitCondition([this] { return client.app->ringStarter().isDone(); }, 10000));
    const std::set<long> before = ownThreadIds();
    // One contact's flood gets its share.
    client.onUi([&] {
        ContactRecord* bob = client.app->findContact("12");
        for (int i = 0; i < 100; ++i) {
            system().onMessage(bob, connectBack("12", "probe", tarpitPort).c_str());
            system().onMessage(bob, joinRelay("12", "probe", tarpitPort).c_str());
        }
    });
    EXPECT_EQ(system().runningThreads(), SystemModule::MaxSetUpThreadsPerUser);
    // 1,500 messages of all the contacts together get no more than the bound in all.
    int most = 0;
    client.onUi([&] {
        for (int i = 0; i < 1500; ++i) {
            const char* sender = contacts[i % 7];
            ContactRecord* contact = client.app->findContact(sender);
            const std::string message =
                (i / 7) % 2 ? connectBack(sender, "probe", tarpitPort) : joinRelay(sender, "probe", tarpitPort);
            system().onMessage(contact, message.c_str());
            if (i % 50 == 0)
                most = std::max(most, ownThreadsSince(before));
        }
    });
    most = std::max(most, ownThreadsSince(before));
    EXPECT_EQ(system().runningThreads(), SystemModule::MaxSetUpThreads);
    EXPECT_LE(most, SystemModule::MaxSetUpThreads);

    // The peer goes: every waiting thread ends, and the count with them.
    ::close(tarpit);
    EXPECT_TRUE(system().waitForThreads(30000));
    EXPECT_TRUE(awaitCondition([&] { return ownThreadsSince(before) == 0; }, 30000));
}

TEST_F(PeerChannels, BombsOnThePeerPortAreRefusedBeforeTheyGrow)
{
    // Two kinds: a frame that announces more than a record can be (16 KB inflating to
    // 16 MiB), and one small enough on the wire that inflates far beyond a record.
    const std::string announced = bombFrame(16 << 20);
    const std::string inflating = bombFrame(3 << 20);
    ASSERT_GT(announced.size(), 8000u);
    ASSERT_LT(inflating.size(), 4000u);
    const long before = ownStatusKiB("VmRSS");
    ASSERT_TRUE(resetPeakResident());

    std::vector<int> bombs;
    for (uint32_t i = 0; i < 60; ++i) {
        // Each from an address of its own: no bound on waiting connections closes any first.
        const int fd = connectFrom(0x7F000300u + i, port);
        ASSERT_GE(fd, 0);
        const std::string& bomb = i % 2 ? inflating : announced;
        // The port may close before it has taken all of it.
        const ssize_t sent = ::send(fd, bomb.data(), bomb.size(), MSG_NOSIGNAL);
        (void)sent;
        bombs.push_back(fd);
    }
    for (int fd : bombs) {
        std::string answer;
        EXPECT_TRUE(closedBefore(fd, 10000, &answer));
        EXPECT_EQ(answer, "") << "closed with no answer";
        ::close(fd);
    }
    const long peak = ownStatusKiB("VmHWM");
    EXPECT_LT(peak - before, 50 * 1024) << "resident before " << before << " KiB, at the most " << peak << " KiB";

    // The port still serves a contact.
    fromPeer("12", "<xml command=\"ASK_TCP_SERVER_IP_PORT\" connection_id=\"10044\" user_id=\"12\"/>");
    EXPECT_EQ(setUp(connectDirect("probe", "12", "7")), "SUCCESS");
}

TEST_F(PeerChannels, AThousandIdleConnectionsKeepNoContactOut)
{
    ASSERT_GE(raiseOwnDescriptorLimit(4096), 1500) << "the test holds 1,000 connections besides the client's own";
    restartPort([](TcpChannelConnector& connector) {
        connector.peerPort().limits.maxWaiting = 100;
        connector.peerPort().limits.maxWaitingPerAddress = 4;
    });
    // 1,000 connections that send nothing, ten from each of 100 addresses.
    std::vector<int> idle;
    for (uint32_t i = 0; i < 1000; ++i) {
        const int fd = connectFrom(0x7F000400u + i % 100, port);
        ASSERT_GE(fd, 0) << i;
        idle.push_back(fd);
    }
    fromPeer("12", "<xml command=\"ASK_TCP_SERVER_IP_PORT\" connection_id=\"10044\" user_id=\"12\"/>");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(setUp(connectDirect("probe", "12", "7")), "SUCCESS");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(took.count(), 1000);
    EXPECT_GE(client.log.waitFor("module probe connection 12", 5000), 0) << client.log.dump();

    // What made room: the waiting connections stay within their bounds, the rest were closed.
    EXPECT_LE(system().tcpConnector().peerPort().waitingCount(), 100);
    auto closed = [&idle] {
        std::vector<pollfd> fds;
        for (int fd : idle)
            fds.push_back(pollfd{fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 0);
        return std::count_if(fds.begin(), fds.end(), [](const pollfd& p) { return p.revents != 0; });
    };
    EXPECT_TRUE(awaitCondition([&] { return closed() >= 900; }, 10000)) << closed();
    for (int fd : idle)
        ::close(fd);
}

TEST_F(PeerChannels, AConnectionWithoutAWholeRecordIsClosedUnansweredAtItsDeadline)
{
    restartPort([](TcpChannelConnector& connector) { connector.timing.recordWaitMs = 300; });
    const std::string parts[] = {
        "",                                              // nothing
        std::string("&\0\0", 3),                          // half a header
        std::string("&\0\0\0\x64\0", 6) + "<packet command", // a header and part of its body
    };
    for (const std::string& part : parts) {
        SCOPED_TRACE(part.size());
        const int fd = connectFrom(0x7F000001u, port);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, part.data(), part.size(), MSG_NOSIGNAL), static_cast<ssize_t>(part.size()));
        std::string answer;
        EXPECT_TRUE(closedBefore(fd, 10000, &answer));
        EXPECT_EQ(answer, "");
        ::close(fd);
    }
}

TEST_F(PeerChannels, AContactReportedOfflineTakesItsDatagramChannelsWithIt)
{
    // A peer that vanished (killed, or its link lost) sends no close; without the report its
    // channel would stay open for ever and its reader would wait for nothing.
    fromPeer("12", "<xml command=\"OPEN_UDP_CHANNEL\" sndr_conn_id=\"40000\" rcpt_conn_id=\"0\" user_id=\"12\" "
                   "external_address=\"127.0.0.1\" external_port=\"9\" local_address=\"127.0.0.1\" local_port=\"9\" "
                   "manual_settings=\"no\" module_id=\"probe\"/>");
    ASSERT_EQ(system().udpManager().channelCount(), 1);
    auto reported = [this](uint8_t status) {
        client.onUi([this, status] {
            client.app->onPresence(
                receivedFrame(4, 12, presenceBody(16, presenceRecord(12, status, std::string("\x7f\0\0\x01", 4), 9))));
        });
    };
    // Online, or any status but 0, leaves it.
    reported(1);
    ASSERT_GE(client.log.waitFor("module probe contact-status 12 online", 5000), 0) << client.log.dump();
    EXPECT_EQ(system().udpManager().channelCount(), 1);
    reported(0);
    EXPECT_TRUE(awaitCondition([this] { return system().udpManager().channelCount() == 0; }, 10000));
}
