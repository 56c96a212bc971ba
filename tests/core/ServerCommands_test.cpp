// The frames the program sends on the server link, against fixtures written out by hand
// from the frame layout and the commands' fields: the 21-byte header, then the compact XML
// body (leaf children as attributes in the order they were added, empty elements closed
// with "/>").

#include "core/link/ServerCommands.h"
#include "tests/core/FrameFixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

std::string frameBytes(const std::unique_ptr<Message>& frame)
{
    return std::string(reinterpret_cast<const char*>(frame->outgoingData()),
                       static_cast<size_t>(frame->outgoingLength()));
}

void expectFrame(const std::unique_ptr<Message>& frame, uint8_t type, uint64_t recipient, uint64_t sender,
                 const std::string& body)
{
    ASSERT_TRUE(frame);
    EXPECT_EQ(frameBytes(frame), frameHeader(type, recipient, sender, body.size()) + body);
}

} // namespace

TEST(ServerCommands, TheSignInFrameCarriesTheAccountAndBothListsWithZeroIds)
{
    ServerCommands::SignIn fields;
    fields.networkId = "net";
    fields.userId = "7";
    fields.userName = "alice";
    fields.password = "p<w\"";
    fields.peerContacts = "12;";
    fields.contacts = "12;34;";
    expectFrame(ServerCommands::signIn(fields), 100, 0, 0,
                "<message network_id=\"net\" user_id=\"7\" user_name=\"alice\" password=\"p&lt;w&quot;\" "
                "status=\"1\" peer_contacts=\"12;\" contacts=\"12;34;\"/>");
}

TEST(ServerCommands, ModuleMessagesCarryTheModuleAndItsTextEscaped)
{
    expectFrame(ServerCommands::moduleMessage("12", "voice", "34", "<call id=\"1\"/>"), 2, 34, 12,
                "<message module_id=\"voice\" data=\"&lt;call id=&quot;1&quot;/&gt;\"/>");
    // NULL data is an empty attribute.
    expectFrame(ServerCommands::moduleMessage("12", "voice", "34", nullptr), 2, 34, 12,
                "<message module_id=\"voice\" data=\"\"/>");
}

TEST(ServerCommands, SessionMessagesCarrySessionOfflineFlagAndTimestamp)
{
    expectFrame(ServerCommands::sessionMessage("12", "chat", "s-9", "34", "hi & bye", true, 1165104000), 3, 34, 12,
                "<message module_id=\"chat\" session_id=\"s-9\" data=\"hi &amp; bye\" can_be_offline=\"yes\" "
                "timestamp=\"1165104000\"/>");
    expectFrame(ServerCommands::sessionMessage("12", "chat", "s-9", "34", "x", false, 5), 3, 34, 12,
                "<message module_id=\"chat\" session_id=\"s-9\" data=\"x\" can_be_offline=\"no\" timestamp=\"5\"/>");
}

TEST(ServerCommands, ServerCommandsGoToTheServerExceptUserInfo)
{
    expectFrame(ServerCommands::getUserInfo("12", "12"), 10, 12, 12, "<xml command=\"GET_USER_INFO\"/>");
    expectFrame(ServerCommands::addContact("12", "bob", "net"), 10, 0, 12,
                "<xml command=\"ADD_CONTACT\" contact_name=\"bob\" network_id=\"net\"/>");
    expectFrame(ServerCommands::removeContact("12", "34"), 10, 0, 12,
                "<xml command=\"REMOVE_CONTACT\" contact_id=\"34\"/>");
}

TEST(ServerCommands, OpenServerChannelNestsTheParticipants)
{
    expectFrame(ServerCommands::openServerChannel("12", "tcp", 5, {12, 34}), 10, 0, 12,
                "<message command=\"OPEN_SERVER_CHANNEL\" protocol=\"tcp\" user_id=\"12\" user_conn_id=\"5\">"
                "<participants user_id=\"12\" user_id=\"34\"/></message>");
}

TEST(ServerCommands, IdsTravelAsTheirLow40BitsAndTextThatIsNoNumberAddressesTheServer)
{
    // 2^40 + 3 keeps only 3; "abc" reads as 0.
    const auto frame = ServerCommands::moduleMessage("1099511627779", "m", "abc", "d");
    EXPECT_EQ(frameBytes(frame).substr(0, 21), frameHeader(2, 0, 3, 0).substr(0, 17) + frameBytes(frame).substr(17, 4));
    EXPECT_EQ(frame->recipientId, 0u);
}

TEST(ServerCommands, LongBodiesAreCompressed)
{
    const std::string data(2000, 'a');
    const auto frame = ServerCommands::moduleMessage("1", "m", "2", data.c_str());
    EXPECT_NE(frame->outgoingData()[2], 0) << "the compressed flag";
    EXPECT_LT(frame->outgoingLength(), 300);
}
