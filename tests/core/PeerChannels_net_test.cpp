// The channel set-up's own rules against a test that plays the peer with raw sockets and
// hand-written records: which connections the program's server for peer connections takes,
// what it answers, and which set-up messages start work; and the records and messages as
// they go on the wire.

#include "core/channels/Packet.h"
#include "core/app/ThreadMessages.h"
#include "core/channels/SystemModule.h"
#include "tests/core/ClientTestSupport.h"
#include "tests/foundation/ThreadTestSupport.h"
#include "tests/support/RawLoopback.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

const char* const kReply = "LOGIN SUCCESS\nhost:1\nalice\n1\n12\tbob\t\t\t\t\n\n\n7";

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
