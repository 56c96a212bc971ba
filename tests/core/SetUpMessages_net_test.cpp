// The channel set-up's messages as they go on the wire, against texts written by hand: the
// test plays the message server and the peer (and, for datagrams, the relay), reads every
// frame the client sends and answers it, so that each message of a negotiation is seen in
// its indented form with the fields in their order.

#include "core/channels/Packet.h"
#include "core/channels/SystemModule.h"
#include "foundation/XmlNode.h"
#include "tests/core/ClientTestSupport.h"
#include "tests/core/FakeServers.h"

#include <gtest/gtest.h>

#include <future>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The indented form of a message: "<xml>", a line per field, "</xml>", each line ended by
// CR LF and the fields indented by a tab.
std::string indented(const std::vector<std::pair<std::string, std::string>>& fields)
{
    std::string text = "<xml>\r\n";
    for (const auto& field : fields)
        text += "\t<" + field.first + ">" + field.second + "</" + field.first + ">\r\n";
    return text + "</xml>\r\n";
}

class SetUpMessages : public ::testing::Test {
protected:
    SetUpMessages() : endpoint(signInReply(server.port())), folders(endpoint.url())
    {
        folders.writeAccount("alice", "pw", "<bind_address>127.0.0.1</bind_address>");
    }

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(openLink());
        sendAllBytes(link, signedInFrame());
        ASSERT_GE(client.log.waitFor("module probe signed-in", 10000), 0);
    }

    // The client's link, up to its sign-in frame; the server has not confirmed it yet.
    void openLink()
    {
        ASSERT_TRUE(client.start());
        link = server.accept();
        ASSERT_GE(link, 0);
        ASSERT_EQ(readFrame(link).type, 100);
        port = std::to_string(client.app->systemModule().tcpConnector().boundPort());
    }

    void TearDown() override { ::close(link); }

    // A message of the peer's system module, as the server delivers it.
    void fromPeer(uint64_t sender, const std::string& text)
    {
        const std::string body =
            "<message module_id=\"system_module\" data=\"" + std::string(xmlEscape(text.c_str()).c_str()) + "\"/>";
        sendAllBytes(link, frameHeader(2, 7, sender, body.size()) + body);
    }

    // The next system-module message the client sends (to `recipient`), as its text; frames
    // of other kinds on the way are passed over.
    std::string nextMessage(uint64_t recipient = 12)
    {
        for (int i = 0; i < 20; ++i) {
            const RawFrame frame = readFrame(link, 10000);
            if (frame.type < 0) {
                ADD_FAILURE() << "the client sent nothing more; its lines:\n" << client.log.dump();
                return "<nothing>";
            }
            XmlNode body;
            body.parse(frame.body.c_str());
            if (frame.type == 2 && body.childOrEmpty("module_id")->value == "system_module") {
                EXPECT_EQ(frame.recipient, recipient);
                return body.childOrEmpty("data")->value.c_str();
            }
            if (frame.type == 10 && body.childOrEmpty("command")->value == "OPEN_SERVER_CHANNEL")
                return "command " + frame.body;
        }
        return "<nothing>";
    }

    // A field of a message the client sent.
    static std::string field(const std::string& text, const char* name)
    {
        XmlNode node;
        node.parse(text.c_str());
        return node.childOrEmpty(name)->value.c_str();
    }

    DiagnosticRecorder diagnostics;
    FakeMessageServer server;
    FakeAccountEndpoint endpoint;
    ClientFolders folders;
    TestClient client{folders};
    int link = -1;
    std::string port;
};

// The link is up, and the server's confirmation of the sign-in is the test's to deliver.
class SetUpMessagesAtSignIn : public SetUpMessages {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(openLink()); }
};

} // namespace

TEST_F(SetUpMessages, TheAnsweringSideAnswersAskOpenAndConnectBack)
{
    fromPeer(12, indented({{"command", "ASK_TCP_SERVER_IP_PORT"}, {"connection_id", "20000"}, {"user_id", "12"}}));
    EXPECT_EQ(nextMessage(), indented({{"command", "TCP_SERVER_IP_PORT"},
                                       {"user_id", "7"},
                                       {"connection_id", "20000"},
                                       {"external_address", "127.0.0.1"},
                                       {"local_address", "127.0.0.1"},
                                       {"local_port", port},
                                       {"external_port", port},
                                       {"manual_settings", "no"}}));

    fromPeer(12, indented({{"command", "OPEN_UDP_CHANNEL"},
                           {"sndr_conn_id", "30000"},
                           {"rcpt_conn_id", "0"},
                           {"user_id", "12"},
                           {"external_address", "127.0.0.2"},
                           {"external_port", "9"},
                           {"local_address", "127.0.0.2"},
                           {"local_port", "9"},
                           {"manual_settings", "no"},
                           {"module_id", "probe"}}));
    const std::string ack = nextMessage();
    const std::string channel = field(ack, "sndr_conn_id");
    EXPECT_EQ(ack, indented({{"command", "OPEN_UDP_CHANNEL_ACK"},
                             {"sndr_conn_id", channel},
                             {"rcpt_conn_id", "30000"},
                             {"external_address", "127.0.0.1"},
                             {"local_address", "127.0.0.1"},
                             {"external_port", port},
                             {"local_port", port},
                             {"manual_settings", "no"}}));
    // The opener gives up: the answering side's channel closes and says so three times.
    fromPeer(12, indented({{"command", "CLOSE_UDP_CHANNEL"}, {"rcpt_conn_id", channel}, {"sndr_conn_id", "30000"},
                           {"srvr_conn_id", "0"}}));
    const std::string close = indented({{"command", "CLOSE_UDP_CHANNEL"}, {"rcpt_conn_id", "30000"},
                                        {"sndr_conn_id", channel}, {"srvr_conn_id", "0"}});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(nextMessage(), close);

    // Connect back: the record comes to the address given, and "SUCCESS" hands the
    // connection to the module.
    uint16_t listenerPort = 0;
    const int listener = listenOnLoopback(listenerPort);
    fromPeer(12, indented({{"command", "CONNECT_BACK"},
                           {"connection_id", "555"},
                           {"user_id", "12"},
                           {"module_id", "probe"},
                           {"ip_address", "127.0.0.1"},
                           {"port", std::to_string(listenerPort)}}));
    SocketHandle back = NoSocket;
    EXPECT_EQ(acceptSetUpRecord(listener, back), "<packet command=\"CONNECT_DIRECT_BACK\" connection_id=\"555\" "
                                                 "module_id=\"probe\" sender_id=\"7\" recipient_id=\"12\"/>");
    ASSERT_NE(back, NoSocket);
    Packet(back, 5000).write("SUCCESS");
    EXPECT_GE(client.log.waitFor("module probe connection 12", 10000), 0) << client.log.dump();
    closeSocket(back);
    ::close(listener);
}

TEST_F(SetUpMessages, AStrangersAskIsNotAnswered)
{
    fromPeer(555, indented({{"command", "ASK_TCP_SERVER_IP_PORT"}, {"connection_id", "20000"}, {"user_id", "555"}}));
    fromPeer(12, indented({{"command", "ASK_TCP_SERVER_IP_PORT"}, {"connection_id", "20001"}, {"user_id", "12"}}));
    // The first answer that goes out is bob's (nextMessage checks that it is to 12).
    EXPECT_EQ(field(nextMessage(12), "connection_id"), "20001");
}

TEST_F(SetUpMessages, AnOpenerThatIsReachableAsksForTheAddressesThenToBeConnectedBack)
{
    auto opened = std::async(std::launch::async, [this] {
        IModuleConnection* c = client.app->systemModule().openTcpConnection("12", "probe");
        if (c)
            c->close();
        return c != nullptr;
    });
    const std::string ask = nextMessage();
    const std::string asked = field(ask, "connection_id");
    EXPECT_EQ(ask, indented({{"command", "ASK_TCP_SERVER_IP_PORT"}, {"connection_id", asked}, {"user_id", "7"}}));
    // The peer's addresses lead nowhere: every direct attempt fails at once.
    const std::string nowhere = std::to_string(unusedLoopbackPort());
    fromPeer(12, indented({{"command", "TCP_SERVER_IP_PORT"},
                           {"user_id", "12"},
                           {"connection_id", asked},
                           {"external_address", "127.0.0.2"},
                           {"local_address", "127.0.0.2"},
                           {"local_port", nowhere},
                           {"external_port", nowhere},
                           {"manual_settings", "no"}}));
    // On one machine the opener's local and advertised addresses are one, so it asks the
    // peer to connect back to it.
    const std::string connectBack = nextMessage();
    const std::string id = field(connectBack, "connection_id");
    EXPECT_NE(id, asked) << "every step has an id of its own";
    EXPECT_EQ(connectBack, indented({{"command", "CONNECT_BACK"},
                                     {"connection_id", id},
                                     {"user_id", "7"},
                                     {"module_id", "probe"},
                                     {"ip_address", "127.0.0.1"},
                                     {"port", port}}));
    SocketAddress address;
    address.setHost("127.0.0.1", std::stoi(port));
    const SocketHandle s = createSocket(true);
    connectSocket(s, address);
    Packet packet(s, 5000);
    packet.write(("<packet command=\"CONNECT_DIRECT_BACK\" connection_id=\"" + id +
                  "\" module_id=\"probe\" sender_id=\"12\" recipient_id=\"7\"/>")
                     .c_str());
    String answer;
    packet.read(answer);
    EXPECT_STREQ(answer.c_str(), "SUCCESS");
    EXPECT_TRUE(opened.get());
    EXPECT_EQ(client.app->systemModule().tcpConnector().lastPath(), TcpPath::ConnectBack);
    closeSocket(s);
}

TEST_F(SetUpMessages, ADatagramOpenerProbesThenUsesTheRelayTheServerGrants)
{
    UdpChannelManager& manager = client.app->systemModule().udpManager();
    manager.timing.longWindowMs = 300;
    manager.timing.shortWindowMs = 300;
    // The test's own UDP socket plays the relay.
    const SocketHandle relay = createSocket(false);
    SocketAddress relayAddress;
    relayAddress.setHost("127.0.0.1", 0);
    bindSocket(relay, relayAddress);
    const std::string relayPort = std::to_string(getLocalPort(relay));

    auto opened = std::async(std::launch::async, [this] {
        IModuleConnection* c = client.app->systemModule().openUdpConnection("12", "probe");
        const bool ok = c != nullptr;
        if (c)
            c->close();
        return ok;
    });
    const std::string open = nextMessage();
    const std::string channel = field(open, "sndr_conn_id");
    EXPECT_EQ(open, indented({{"command", "OPEN_UDP_CHANNEL"},
                              {"sndr_conn_id", channel},
                              {"rcpt_conn_id", "0"},
                              {"user_id", "7"},
                              {"external_address", "127.0.0.1"},
                              {"external_port", port},
                              {"local_address", "127.0.0.1"},
                              {"local_port", port},
                              {"manual_settings", "no"},
                              {"module_id", "probe"}}));
    // The peer's endpoints lead nowhere, so probing fails.
    const std::string nowhere = std::to_string(unusedLoopbackPort());
    fromPeer(12, indented({{"command", "OPEN_UDP_CHANNEL_ACK"},
                           {"sndr_conn_id", "40000"},
                           {"rcpt_conn_id", channel},
                           {"external_address", "127.0.0.2"},
                           {"local_address", "127.0.0.2"},
                           {"external_port", nowhere},
                           {"local_port", nowhere},
                           {"manual_settings", "no"}}));
    const std::string command = nextMessage();
    ASSERT_EQ(command.rfind("command ", 0), 0u) << command;
    const std::string ask = command.substr(8);
    XmlNode asked;
    asked.parse(ask.c_str());
    const std::string request = asked.childOrEmpty("user_conn_id")->value.c_str();
    EXPECT_EQ(ask, "<message command=\"OPEN_SERVER_CHANNEL\" protocol=\"udp\" user_id=\"7\" user_conn_id=\"" + request +
                       "\"><participants user_id=\"7\" user_id=\"12\"/></message>");
    const std::string reply = "<xml command=\"OPEN_SERVER_CHANNEL\" protocol=\"udp\" user_conn_id=\"" + request +
                              "\" srvr_conn_id=\"777\" response=\"SUCCESS\" ip_address=\"127.0.0.1\" port=\"" +
                              relayPort + "\"/>";
    sendAllBytes(link, frameHeader(10, 7, 0, reply.size()) + reply);
    EXPECT_EQ(nextMessage(), indented({{"command", "JOIN_SERVER_CHANNEL"},
                                       {"rcpt_conn_id", "40000"},
                                       {"sndr_conn_id", channel},
                                       {"srvr_conn_id", "777"},
                                       {"user_id", "7"},
                                       {"protocol", "udp"},
                                       {"ip_address", "127.0.0.1"},
                                       {"port", relayPort}}));

    // The probes reach the relay with the relay's id in their header; the relay answers one
    // as the peer would, with the channel's id and the peer as sender.
    uint8_t datagram[100];
    SocketAddress source;
    ASSERT_EQ(receiveFrom(relay, source, datagram, sizeof datagram, 5000), 28);
    const std::string expected = std::string("~\x03\0\0", 4) + std::string("\0\0\x9c\x40", 4) +
                                 std::string("\0\0\x03\x09", 4) + std::string("\0\0\0\0\0\0\0\x07", 8) +
                                 std::string("\0\0\0\0\0\0\0\x0c", 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(datagram), 28), expected) << "probe to 40000, relay 777, 7 to 12";
    const int id = std::stoi(channel);
    const std::string ack = std::string("~\x04\0\0", 4) +
                            std::string({char(id >> 24), char(id >> 16), char(id >> 8), char(id)}) +
                            std::string("\0\0\x03\x09", 4) + std::string("\0\0\0\0\0\0\0\x0c", 8) +
                            std::string("\0\0\0\0\0\0\0\x07", 8);
    sendTo(relay, source, ack.data(), static_cast<int>(ack.size()));
    EXPECT_EQ(nextMessage(), indented({{"command", "UDP_CHANNEL_SUCCESS"},
                                       {"rcpt_conn_id", "40000"},
                                       {"sndr_conn_id", channel},
                                       {"srvr_conn_id", "777"}}));
    EXPECT_TRUE(opened.get());
    closeSocket(relay);
}

TEST_F(SetUpMessages, ARefusedRelayEndsTheDatagramOpenWithAClose)
{
    UdpChannelManager& manager = client.app->systemModule().udpManager();
    manager.timing.longWindowMs = 200;
    auto opened = std::async(std::launch::async,
                             [this] { return client.app->systemModule().openUdpConnection("12", "probe") != nullptr; });
    const std::string channel = field(nextMessage(), "sndr_conn_id");
    const std::string nowhere = std::to_string(unusedLoopbackPort());
    fromPeer(12, indented({{"command", "OPEN_UDP_CHANNEL_ACK"}, {"sndr_conn_id", "40000"}, {"rcpt_conn_id", channel},
                           {"external_address", "127.0.0.2"}, {"local_address", "127.0.0.2"},
                           {"external_port", nowhere}, {"local_port", nowhere}, {"manual_settings", "no"}}));
    XmlNode asked;
    asked.parse(nextMessage().substr(8).c_str());
    const std::string reply = "<xml command=\"OPEN_SERVER_CHANNEL\" protocol=\"udp\" user_conn_id=\"" +
                              std::string(asked.childOrEmpty("user_conn_id")->value.c_str()) +
                              "\" response=\"refused\"/>";
    sendAllBytes(link, frameHeader(10, 7, 0, reply.size()) + reply);
    const std::string close = indented({{"command", "CLOSE_UDP_CHANNEL"}, {"rcpt_conn_id", "40000"},
                                        {"sndr_conn_id", channel}, {"srvr_conn_id", "0"}});
    EXPECT_EQ(nextMessage(), close);
    EXPECT_FALSE(opened.get());
}

TEST_F(SetUpMessagesAtSignIn, AnAskThatArrivesWithTheConfirmationIsAnsweredWithTheOwnId)
{
    // The confirmation and a contact's first question, read back to back, run in one turn of
    // the event queue: the question is answered before the sign-in's broadcast has reached
    // any module.
    const std::string ask = indented({{"command", "ASK_TCP_SERVER_IP_PORT"}, {"connection_id", "20000"}, {"user_id", "12"}});
    const std::string body =
        "<message module_id=\"system_module\" data=\"" + std::string(xmlEscape(ask.c_str()).c_str()) + "\"/>";
    client.onUi([&] {
        const Message confirmation = receivedFrame(101, 0, "<xml external_address=\"127.0.0.1\"/>");
        const Message question = receivedFrame(2, 12, body);
        client.app->postEvent(AppEvent::ServerFrame, link, &confirmation, nullptr, false);
        client.app->postEvent(AppEvent::ServerFrame, link, &question, nullptr, false);
        client.app->drainEvents();
    });
    const std::string answer = nextMessage();
    EXPECT_EQ(field(answer, "command"), "TCP_SERVER_IP_PORT");
    EXPECT_EQ(field(answer, "user_id"), "7") << "the peer takes an answer only from the user the server names";
    EXPECT_EQ(field(answer, "local_port"), port);
}

TEST_F(SetUpMessagesAtSignIn, AModuleHearsOfTheSignInBeforeAMessageThatArrivesWithTheConfirmation)
{
    // A module still signed out when a peer's first record reaches it turns the peer away
    // (the voice module answers a call request as busy), so the notice must come first,
    // and only once.
    client.onUi([&] {
        const Message confirmation = receivedFrame(101, 0, "<xml external_address=\"127.0.0.1\"/>");
        const std::string body = "<message module_id=\"probe\" data=\"ring\"/>";
        const Message request = receivedFrame(2, 12, body);
        client.app->postEvent(AppEvent::ServerFrame, link, &confirmation, nullptr, false);
        client.app->postEvent(AppEvent::ServerFrame, link, &request, nullptr, false);
        client.app->drainEvents();
    });
    const int message = client.log.waitFor("module probe message 12 ring", 10000);
    ASSERT_GE(message, 0) << client.log.dump();
    const int signedIn = client.log.waitFor("module probe signed-in", 0);
    ASSERT_GE(signedIn, 0) << client.log.dump();
    EXPECT_LT(signedIn, message) << client.log.dump();
    // The posted change of state that follows (queued before these turns) tells the modules
    // nothing new.
    client.onUi([] {});
    client.onUi([] {});
    EXPECT_EQ(client.log.waitFor("module probe signed-in", 0, signedIn + 1), -1) << client.log.dump();
}
