// OPEN_SERVER_CHANNEL between a signed-in session and the relay's sessions: the reply's
// fields for what is granted, and a FAILED reply, with the connection kept, for each request
// the relay refuses. Requests are written out as text in frames laid out by hand.

#include "RelayTestSupport.h"

#include "server/ServerFrames.h"

#include <memory>
#include <set>

using namespace orvane;
using namespace orvane::testing;

namespace {

std::string request(const std::string& protocol, const std::string& participants, const char* connection = "5")
{
    std::string body = "<message command=\"OPEN_SERVER_CHANNEL\"";
    if (!protocol.empty())
        body += " protocol=\"" + protocol + "\"";
    body += " user_id=\"1\"";
    if (connection)
        body += std::string(" user_conn_id=\"") + connection + "\"";
    return body + ">" + participants + "</message>";
}

const std::string aliceAndBob = R"(<participants user_id="1" user_id="2"/>)";

class RelayCommandTest : public ::testing::Test {
protected:
    RelayCommandTest()
    {
        limits.maxSessionsPerUser = 3;
        rig.account("alice", "secret1");
        rig.account("bob", "secret2");
    }

    // Signs alice in with the relay at `relayAddress` (none when empty).
    void signIn(const char* relayAddress = "127.0.0.5")
    {
        if (relayAddress) {
            sessions.reset(new RelaySessions(limits));
            sessions->setAddress(endpoint(relayAddress, 4321));
            rig.hub.setRelay(sessions.get());
        }
        alice.session->setLocalAddress(endpoint("127.0.0.9", 8471));
        ASSERT_TRUE(alice.feed(aliceSignInFrame()));
        alice.output.take();
    }

    // Sends the request and answers the fields of the one reply.
    std::map<std::string, std::string> ask(const std::string& body, bool compressed = false)
    {
        EXPECT_TRUE(alice.feed(commandFrame(1, body, compressed))) << "the connection must stay";
        const std::vector<Bytes> frames = alice.output.take();
        EXPECT_EQ(frames.size(), 1u);
        if (frames.size() != 1)
            return {};
        const LinkFrame reply = linkFrame(frames[0]);
        EXPECT_EQ(reply.type, 10);
        EXPECT_EQ(reply.recipient, 1u);
        return fieldsOf(reply.body);
    }

    RelaySessions::Limits limits;
    HubRig rig;
    LogCapture log;
    RigClient alice{rig, "10.0.0.7", 40000};
    std::unique_ptr<RelaySessions> sessions;
};

TEST_F(RelayCommandTest, AGrantedRequestNamesTheSessionAndWhereTheRelayIs)
{
    signIn();
    struct Case {
        const char* what;
        std::string body;
        bool compressed;
        std::string protocol;
        bool tcp;
    };
    const Case cases[] = {
        {"tcp", request("tcp", aliceAndBob), false, "tcp", true},
        {"udp", request("udp", aliceAndBob), false, "udp", false},
        {"upper-case protocol, echoed as written", request("TCP", aliceAndBob), false, "TCP", true},
        {"the requester second", request("udp", R"(<participants user_id="2" user_id="1"/>)"), false, "udp", false},
        {"participants as elements", request("tcp", "<participants><user_id>1</user_id><user_id>2</user_id></participants>"),
         false, "tcp", true},
        {"a compressed body", request("tcp", aliceAndBob), true, "tcp", true},
    };
    std::set<std::string> ids;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // One at a time, so the per-account bound stays out of the way.
        std::map<std::string, std::string> fields = ask(c.body, c.compressed);
        const std::string id = fields["srvr_conn_id"];
        ids.insert(id);
        uint64_t value = 0;
        ASSERT_TRUE(readDecimal(id.c_str(), INT32_MAX, value) && value > 0) << id;
        fields.erase("srvr_conn_id");
        EXPECT_EQ(fields, (std::map<std::string, std::string>{{"command", "OPEN_SERVER_CHANNEL"},
                                                               {"protocol", c.protocol},
                                                               {"user_conn_id", "5"},
                                                               {"response", "SUCCESS"},
                                                               {"ip_address", "127.0.0.5"},
                                                               {"port", "4321"}}));
        // The id names a live session of the protocol asked for.
        if (c.tcp) {
            EXPECT_EQ(sessions->joinTcp(static_cast<int32_t>(value)), RelaySessions::JoinedFirst);
        } else {
            RelayRoute route;
            route.sessionId = static_cast<int32_t>(value);
            route.senderId = 2;
            sessions->route(&route, 1, 0);
            EXPECT_EQ(route.outcome, RelayRoute::PartnerNotHeard);
        }
        sessions->close(static_cast<int32_t>(value));
    }
    EXPECT_EQ(ids.size(), 6u);
    EXPECT_EQ(log.count({"opened relay session"}), 6) << log.dump();
}

TEST_F(RelayCommandTest, ARelayOnEveryInterfaceIsNamedByTheAddressTheClientReached)
{
    signIn("0.0.0.0");
    std::map<std::string, std::string> fields = ask(request("tcp", aliceAndBob));
    EXPECT_EQ(fields["response"], "SUCCESS");
    EXPECT_EQ(fields["ip_address"], "127.0.0.9");
    EXPECT_EQ(fields["port"], "4321");
}

TEST_F(RelayCommandTest, RefusedRequestsAreAnsweredFailedAndOpenNothing)
{
    signIn();
    struct Case {
        const char* what;
        std::string body;
        const char* connection;
    };
    const Case cases[] = {
        {"another protocol", request("sctp", aliceAndBob), "5"},
        {"no protocol", request("", aliceAndBob), "5"},
        {"no user_conn_id", request("tcp", aliceAndBob, nullptr), nullptr},
        {"no participants", request("tcp", ""), "5"},
        {"one participant", request("tcp", R"(<participants user_id="1"/>)"), "5"},
        {"three participants", request("udp", R"(<participants user_id="1" user_id="2" user_id="3"/>)"), "5"},
        {"the same participant twice", request("tcp", R"(<participants user_id="1" user_id="1"/>)"), "5"},
        {"the requester not among them", request("tcp", R"(<participants user_id="2" user_id="3"/>)"), "5"},
        {"a participant that is not a number", request("tcp", R"(<participants user_id="1" user_id="2x"/>)"), "5"},
        {"a participant id of 0", request("tcp", R"(<participants user_id="1" user_id="0"/>)"), "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::map<std::string, std::string> fields = ask(c.body);
        EXPECT_EQ(fields["command"], "OPEN_SERVER_CHANNEL");
        EXPECT_EQ(fields["response"], "FAILED");
        EXPECT_FALSE(fields["reason"].empty());
        EXPECT_EQ(fields.count("user_conn_id"), c.connection ? 1u : 0u);
        if (c.connection) {
            EXPECT_EQ(fields["user_conn_id"], c.connection);
        }
        EXPECT_EQ(fields.count("srvr_conn_id"), 0u);
        EXPECT_EQ(sessions->count(), 0);
    }
    EXPECT_EQ(log.count({"refused to open a relay session"}), 10) << log.dump();
}

TEST_F(RelayCommandTest, WithoutARelayEveryRequestFails)
{
    signIn(nullptr);
    std::map<std::string, std::string> fields = ask(request("tcp", aliceAndBob));
    EXPECT_EQ(fields["response"], "FAILED");
    EXPECT_EQ(fields["user_conn_id"], "5");
    EXPECT_EQ(log.count({"refused to open a relay session: this server has no relay"}), 1) << log.dump();
}

TEST_F(RelayCommandTest, AnAccountMayHoldOnlySoManySessions)
{
    signIn();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(ask(request("udp", aliceAndBob))["response"], "SUCCESS");
    std::map<std::string, std::string> fields = ask(request("udp", aliceAndBob));
    EXPECT_EQ(fields["response"], "FAILED");
    EXPECT_EQ(sessions->count(), 3);
}

} // namespace
