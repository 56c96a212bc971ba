// The message server's side of the link against frames written out by hand from the frame
// layout, the sign-in record, the presence record and the commands: what a client sends is
// a hex header with the body as text, and what it must receive is spelled out the same way.
// Nothing here is produced by the frame builder, so builder and fixtures cannot share a
// misreading.

#include "ServerTestSupport.h"

#include <zlib.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

// Clients sign in from 10.0.0.7:40000 (alice, #1), 10.0.0.8:40001 (bob, #2) and
// 10.0.0.9:40002 (carol, #3).
const Bytes aliceSignIn = aliceSignInFrame();
const Bytes bobSignIn = bobSignInFrame();
const Bytes carolSignIn = frameFixture(
    "23 64 00  00 00 00 00 00  00 00  00 00 00 00 00  00 00  00 00 00 71",
    R"(<message network_id="" user_id="3" user_name="carol" password="secret3" status="1" peer_contacts="" contacts=""/>)");

const Bytes aliceSignedIn = frameFixture("23 65 00  00 00 00 00 01  00 00  00 00 00 00 00  00 00  00 00 00 26",
                                         R"(<message external_address="10.0.0.7"/>)");
const Bytes bobSignedIn = frameFixture("23 65 00  00 00 00 00 02  00 00  00 00 00 00 00  00 00  00 00 00 26",
                                       R"(<message external_address="10.0.0.8"/>)");
const Bytes carolSignedIn = frameFixture("23 65 00  00 00 00 00 03  00 00  00 00 00 00 00  00 00  00 00 00 26",
                                         R"(<message external_address="10.0.0.9"/>)");

// A presence list that names nobody: the count 0 and no records.
const Bytes emptyListFor1 = hex("23 06 00  00 00 00 00 01  00 00  00 00 00 00 00  00 00  00 00 00 02  00 00");
const Bytes emptyListFor2 = hex("23 06 00  00 00 00 00 02  00 00  00 00 00 00 00  00 00  00 00 00 02  00 00");

// Bob's presence as alice gets it: sent by #2, one 16-byte record.
const Bytes bobOnlineForAlice = hex(
    "23 04 00  00 00 00 00 01  00 00  00 00 00 00 02  00 00  00 00 00 12"
    "00 10  00 00 00 00 00 00 00 02  01  0a 00 00 08  9c 41  00");
const Bytes bobOfflineForAlice = hex(
    "23 04 00  00 00 00 00 01  00 00  00 00 00 00 02  00 00  00 00 00 12"
    "00 10  00 00 00 00 00 00 00 02  00  00 00 00 00  00 00  00");

class SessionFixture : public ::testing::Test {
protected:
    SessionFixture()
    {
        EXPECT_EQ(rig.account("alice", "secret1", "Alice", "Liddell"), 1u);
        EXPECT_EQ(rig.account("bob", "secret2", "Bob", "Builder", "bob@example.org"), 2u);
        EXPECT_EQ(rig.account("carol", "secret3"), 3u);
    }

    HubRig rig;
    LogCapture log;
    RigClient alice{rig, "10.0.0.7", 40000};
    RigClient bob{rig, "10.0.0.8", 40001};
    RigClient carol{rig, "10.0.0.9", 40002};
};

void expectFrames(RecordingOutput& output, const std::vector<Bytes>& expected)
{
    const std::vector<Bytes> got = output.take();
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(printable(got[i]), printable(expected[i])) << "frame " << i;
}

void expectFrames(RigClient& client, const std::vector<Bytes>& expected)
{
    expectFrames(client.output, expected);
}

TEST_F(SessionFixture, SignInIsAnsweredWithTheExternalAddressAndThePresenceList)
{
    ASSERT_TRUE(alice.feed(aliceSignIn));
    EXPECT_TRUE(alice.session->isSignedIn());
    expectFrames(alice, {aliceSignedIn, emptyListFor1});
}

TEST_F(SessionFixture, TheConfiguredExternalAddressReplacesTheSeenOne)
{
    ServerSettings settings;
    settings.externalAddress = "192.0.2.33";
    HubRig other(settings);
    other.account("alice", "secret1");
    RigClient client(other, "10.0.0.7", 40000);
    ASSERT_TRUE(client.feed(aliceSignIn));
    expectFrames(client, {frameFixture("23 65 00  00 00 00 00 01  00 00  00 00 00 00 00  00 00  00 00 00 28",
                                       R"(<message external_address="192.0.2.33"/>)"),
                          emptyListFor1});
}

TEST_F(SessionFixture, WatchersSeeAContactComeAndGo)
{
    rig.store.addContact(1, 2, 10); // alice lists bob
    ASSERT_TRUE(alice.feed(aliceSignIn));
    expectFrames(alice, {aliceSignedIn, emptyListFor1}); // bob is offline: not listed

    ASSERT_TRUE(bob.feed(bobSignIn));
    expectFrames(bob, {bobSignedIn, emptyListFor2}); // bob lists nobody
    expectFrames(alice, {bobOnlineForAlice});

    // Carol lists nobody and nobody lists her: her coming tells alice nothing.
    ASSERT_TRUE(carol.feed(carolSignIn));
    expectFrames(alice, {});

    bob.leave();
    expectFrames(alice, {bobOfflineForAlice});
}

TEST_F(SessionFixture, SigningInAfterContactsListsThoseOnline)
{
    rig.store.addContact(1, 2, 10);
    rig.store.addContact(1, 3, 10);
    ASSERT_TRUE(bob.feed(bobSignIn));
    ASSERT_TRUE(alice.feed(aliceSignIn));
    // 32 bytes of records would be two; carol is offline, so only bob's.
    expectFrames(alice, {aliceSignedIn,
                         hex("23 06 00  00 00 00 00 01  00 00  00 00 00 00 00  00 00  00 00 00 12"
                             "00 10  00 00 00 00 00 00 00 02  01  0a 00 00 08  9c 41  00")});
    ASSERT_TRUE(carol.feed(carolSignIn));
    expectFrames(alice, {hex("23 04 00  00 00 00 00 01  00 00  00 00 00 00 03  00 00  00 00 00 12"
                             "00 10  00 00 00 00 00 00 00 03  01  0a 00 00 09  9c 42  00")});
}

TEST_F(SessionFixture, ModuleMessagesCarryTheSenderOfTheConnection)
{
    ASSERT_TRUE(alice.feed(aliceSignIn));
    ASSERT_TRUE(bob.feed(bobSignIn));
    ASSERT_TRUE(carol.feed(carolSignIn));
    alice.output.take();
    bob.output.take();
    carol.output.take();

    // Alice's frame for bob claims to come from carol (#3); bob must see alice (#1).
    ASSERT_TRUE(alice.feed(frameFixture("23 02 00  00 00 00 00 02  00 00  00 00 00 00 03  00 00  00 00 00 25",
                                        R"(<message module_id="chat" data="hi"/>)")));
    expectFrames(bob, {frameFixture("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 00 00 25",
                                    R"(<message module_id="chat" data="hi"/>)")});
    expectFrames(alice, {});
    expectFrames(carol, {});
}

TEST_F(SessionFixture, SessionMessagesWaitForAnOfflineRecipientWhenAllowed)
{
    ASSERT_TRUE(alice.feed(aliceSignIn));
    alice.output.take();
    ASSERT_TRUE(alice.feed(
        frameFixture("23 03 00  00 00 00 00 03  00 00  00 00 00 00 01  00 00  00 00 00 64",
                     R"(<message module_id="chat" session_id="s1" data="later" can_be_offline="yes" timestamp="1700000000"/>)") +
        frameFixture("23 03 00  00 00 00 00 03  00 00  00 00 00 00 01  00 00  00 00 00 6a",
                     R"(<message module_id="chat" session_id="s1" data="now or never" can_be_offline="no" timestamp="1700000001"/>)")));
    EXPECT_EQ(rig.store.countHeldFrames(3), 1);
    EXPECT_EQ(log.count({"dropped a type-3 frame for #3", "offline"}), 1) << log.dump();

    ASSERT_TRUE(carol.feed(carolSignIn));
    expectFrames(carol, {carolSignedIn,
                         hex("23 06 00  00 00 00 00 03  00 00  00 00 00 00 00  00 00  00 00 00 02  00 00"),
                         frameFixture("23 03 00  00 00 00 00 03  00 00  00 00 00 00 01  00 00  00 00 00 64",
                                      R"(<message module_id="chat" session_id="s1" data="later" can_be_offline="yes" timestamp="1700000000"/>)")});
    EXPECT_EQ(rig.store.countHeldFrames(3), 0);

    // Online, the same frame goes straight through.
    ASSERT_TRUE(alice.feed(
        frameFixture("23 03 00  00 00 00 00 03  00 00  00 00 00 00 01  00 00  00 00 00 6a",
                     R"(<message module_id="chat" session_id="s1" data="now or never" can_be_offline="no" timestamp="1700000001"/>)")));
    expectFrames(carol, {frameFixture("23 03 00  00 00 00 00 03  00 00  00 00 00 00 01  00 00  00 00 00 6a",
                                      R"(<message module_id="chat" session_id="s1" data="now or never" can_be_offline="no" timestamp="1700000001"/>)")});
}

TEST_F(SessionFixture, AddAndRemoveContact)
{
    ASSERT_TRUE(bob.feed(bobSignIn));
    ASSERT_TRUE(alice.feed(aliceSignIn));
    alice.output.take();

    const Bytes add = frameFixture("23 0a 00  00 00 00 00 00  00 00  00 00 00 00 01  00 00  00 00 00 3d",
                                   R"(<xml command="ADD_CONTACT" contact_name="bob" network_id=""/>)");
    ASSERT_TRUE(alice.feed(add));
    // The reply, then bob's presence, since he is online.
    expectFrames(alice, {frameFixture("23 0a 00  00 00 00 00 01  00 00  00 00 00 00 00  00 00  00 00 00 90",
                                      R"(<xml command="CONTACT_ADDED"><NewContact UserName="bob" UserID="2" FirstName="Bob" LastName="Builder" Email="bob@example.org" WebSite=""/></xml>)"),
                         bobOnlineForAlice});
    EXPECT_TRUE(rig.store.isListed(1, 2));

    const Bytes remove = frameFixture("23 0a 00  00 00 00 00 00  00 00  00 00 00 00 01  00 00  00 00 00 2e",
                                      R"(<xml command="REMOVE_CONTACT" contact_id="2"/>)");
    ASSERT_TRUE(alice.feed(remove));
    expectFrames(alice, {frameFixture("23 0a 00  00 00 00 00 01  00 00  00 00 00 00 00  00 00  00 00 00 2f",
                                      R"(<xml command="CONTACT_REMOVED" contact_id="2"/>)")});
    ASSERT_TRUE(alice.feed(remove));
    expectFrames(alice, {frameFixture("23 0a 00  00 00 00 00 01  00 00  00 00 00 00 00  00 00  00 00 00 61",
                                      R"(<xml command="CONTACT_NOT_REMOVED" contact_id="2" reason="The user is not in your contact list"/>)")});

    // Off the list, bob's going no longer reaches alice.
    bob.leave();
    expectFrames(alice, {});
}

TEST_F(SessionFixture, ContactsThatCannotBeAdded)
{
    ASSERT_TRUE(alice.feed(aliceSignIn));
    rig.store.addContact(1, 3, 10);
    alice.output.take();
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"nobody", "There is no user with this name."},
        {"alice", "You cannot add yourself to your contact list."},
        {"carol", "The user is already in your contact list."},
        {"Bob", "There is no user with this name."}, // names are exact
    };
    for (const auto& c : cases) {
        XmlNode command;
        command.addChild("command", "add_contact"); // upper-cased before comparison
        command.addChild("contact_name", c.name);
        Message frame;
        frame.build(10, 0, 0, 1, 0, command);
        ASSERT_TRUE(alice.feed(Bytes(frame.outgoingData(), frame.outgoingData() + frame.outgoingLength())));
        const std::vector<Bytes> got = alice.output.take();
        ASSERT_EQ(got.size(), 1u) << c.name;
        const std::string body(got[0].begin() + 21, got[0].end());
        EXPECT_EQ(body, std::string(R"(<xml command="CONTACT_NOT_ADDED" reason=")") + c.reason + "\"/>") << c.name;
    }
    EXPECT_FALSE(rig.store.isListed(1, 2));
}

TEST_F(SessionFixture, ListFullRefusesTheContact)
{
    ServerSettings settings;
    settings.maxContacts = 1;
    HubRig small(settings);
    small.account("alice", "secret1");
    small.account("bob", "secret2");
    small.account("carol", "secret3");
    small.store.addContact(1, 3, 10);
    RigClient client(small, "10.0.0.7", 40000);
    ASSERT_TRUE(client.feed(aliceSignIn));
    client.output.take();
    ASSERT_TRUE(client.feed(frameFixture("23 0a 00  00 00 00 00 00  00 00  00 00 00 00 01  00 00  00 00 00 3d",
                                         R"(<xml command="ADD_CONTACT" contact_name="bob" network_id=""/>)")));
    const std::vector<Bytes> got = client.output.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::string(got[0].begin() + 21, got[0].end()),
              R"(<xml command="CONTACT_NOT_ADDED" reason="Your contact list is full."/>)");
}

TEST_F(SessionFixture, UserInformationOnlyForTheAccountAndItsContacts)
{
    ASSERT_TRUE(alice.feed(aliceSignIn));
    alice.output.take();
    // GET_USER_INFO goes to the user asked about: alice herself, then carol (not listed).
    ASSERT_TRUE(alice.feed(frameFixture("23 0a 00  00 00 00 00 01  00 00  00 00 00 00 01  00 00  00 00 00 1e",
                                        R"(<xml command="GET_USER_INFO"/>)")));
    std::vector<Bytes> got = alice.output.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::string(got[0].begin() + 21, got[0].end()),
              R"(<xml command="USER_INFO" user_id="1" user_name="alice" first_name="Alice" last_name="Liddell" email="" web_site=""/>)");
    ASSERT_TRUE(alice.feed(frameFixture("23 0a 00  00 00 00 00 03  00 00  00 00 00 00 01  00 00  00 00 00 1e",
                                        R"(<xml command="GET_USER_INFO"/>)")));
    EXPECT_TRUE(alice.output.take().empty());
}

// A checker that keeps the requests for the test to answer.
struct LaterChecker : SignInChecker {
    void checkLater(const SignInRequest& request) override { requests.push_back(request); }
    std::vector<SignInRequest> requests;
};

// Reads the bytes' first frame into the reader.
void readOne(Message& reader, const Bytes& bytes)
{
    ByteBufferSource source(bytes.data(), static_cast<int>(bytes.size()));
    reader.setSource(&source);
    reader.read();
    reader.setSource(nullptr);
}

TEST_F(SessionFixture, WithACheckerTheSignInWaitsForTheAnswer)
{
    SignInCheck storeFailed;
    storeFailed.storeFailed = true;
    const struct {
        const char* name;
        Bytes frame;
        bool answered; // false: the check is made from the request
        SignInCheck answer;
        const char* refusal; // NULL: signed in
    } cases[] = {
        {"the right password", aliceSignIn, false, {}, nullptr},
        {"a wrong password",
         frameFixture("23 64 00  00 00 00 00 00  00 00  00 00 00 00 00  00 00  00 00 00 6f",
                      R"(<message network_id="" user_id="1" user_name="alice" password="wrong" status="1" peer_contacts="" contacts=""/>)"),
         false, {}, "wrong user name or password for \"alice\""},
        {"a store that failed", aliceSignIn, true, storeFailed, "the database failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HubRig fresh;
        fresh.account("alice", "secret1");
        LogCapture captured;
        RecordingOutput output;
        LaterChecker checker;
        ClientSession session(fresh.hub, output, endpoint("10.0.0.7", 40000), &checker);
        Message reader(5);
        readOne(reader, c.frame);
        ASSERT_TRUE(session.onFrame(reader));
        EXPECT_TRUE(session.isCheckingSignIn());
        EXPECT_FALSE(session.isSignedIn());
        EXPECT_TRUE(output.take().empty());
        ASSERT_EQ(checker.requests.size(), 1u);
        const SignInRequest& request = checker.requests[0];
        EXPECT_EQ(request.userName, String("alice"));
        EXPECT_EQ(request.userId, String("1"));

        const SignInCheck check = c.answered ? c.answer : ClientSession::checkSignIn(fresh.store, request);
        EXPECT_EQ(session.finishSignIn(request, check), c.refusal == nullptr);
        EXPECT_FALSE(session.isCheckingSignIn());
        EXPECT_EQ(session.isSignedIn(), c.refusal == nullptr);
        if (c.refusal) {
            EXPECT_TRUE(output.take().empty());
            EXPECT_EQ(captured.count({"refused, connection closed", c.refusal}), 1) << captured.dump();
        } else {
            expectFrames(output, {aliceSignedIn, emptyListFor1});
        }
    }
}

TEST_F(SessionFixture, AFrameWhileTheSignInIsCheckedIsRefused)
{
    LaterChecker checker;
    RecordingOutput output;
    ClientSession session(rig.hub, output, endpoint("10.0.0.7", 40000), &checker);
    Message reader(5);
    readOne(reader, aliceSignIn);
    ASSERT_TRUE(session.onFrame(reader));
    readOne(reader, frameFixture("23 0a 00  00 00 00 00 01  00 00  00 00 00 00 01  00 00  00 00 00 1e",
                                 R"(<xml command="GET_USER_INFO"/>)"));
    EXPECT_FALSE(session.onFrame(reader));
    EXPECT_EQ(log.count({"refused, connection closed", "while the sign-in is being checked"}), 1) << log.dump();
}

// ---- refusals ------------------------------------------------------------------------------

TEST_F(SessionFixture, FramesThatCloseTheConnection)
{
    const Bytes signedInFirst = aliceSignIn;
    const struct {
        const char* name;
        Bytes before; // accepted frames first
        Bytes frame;
        const char* logged;
    } cases[] = {
        {"module message before the sign-in", {},
         frameFixture("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 00 00 25",
                      R"(<message module_id="chat" data="hi"/>)"),
         "frame of type 2 before the sign-in frame"},
        {"wrong password", {},
         frameFixture("23 64 00  00 00 00 00 00  00 00  00 00 00 00 00  00 00  00 00 00 6f",
                      R"(<message network_id="" user_id="1" user_name="alice" password="wrong" status="1" peer_contacts="" contacts=""/>)"),
         "wrong user name or password for \"alice\""},
        {"someone else's id", {},
         frameFixture("23 64 00  00 00 00 00 00  00 00  00 00 00 00 00  00 00  00 00 00 71",
                      R"(<message network_id="" user_id="2" user_name="alice" password="secret1" status="1" peer_contacts="" contacts=""/>)"),
         "user id is not the account's"},
        {"second sign-in", signedInFirst, aliceSignIn, "a second sign-in frame"},
        {"presence from a client", signedInFirst,
         hex("23 04 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 00 00 02  00 00"),
         "frame of type 4, which clients do not send"},
        {"empty module message", signedInFirst,
         hex("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 00 00 00"), "empty body"},
        {"compressed flag over bytes that are not zlib", signedInFirst,
         frameFixture("23 02 01  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 00 00 05", "hello"),
         "does not inflate"},
    };
    for (const auto& c : cases) {
        HubRig fresh;
        fresh.account("alice", "secret1");
        fresh.account("bob", "secret2");
        LogCapture captured;
        RigClient client(fresh, "10.0.0.7", 40000);
        ASSERT_TRUE(client.feed(c.before)) << c.name;
        EXPECT_FALSE(client.feed(c.frame)) << c.name;
        EXPECT_EQ(captured.count({"refused, connection closed", c.logged}), 1) << c.name << "\n" << captured.dump();
    }
}

TEST_F(SessionFixture, AFrameLongerThanTheCapIsRefusedBeforeItsBodyIsSized)
{
    const struct {
        const char* name;
        Bytes header;
    } cases[] = {
        {"one byte above 1 MiB", hex("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 10 00 01")},
        {"2^31 - 1", hex("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  7f ff ff ff")},
        {"2^32 - 1", hex("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  ff ff ff ff")},
        {"bad first byte", hex("24 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 00 00 00")},
    };
    for (const auto& c : cases) {
        LogCapture captured;
        RecordingOutput output;
        ClientSession session(rig.hub, output, endpoint("10.0.0.7", 40000));
        Message reader(5);
        const Bytes bytes = c.header + Bytes(64, 'x');
        ByteBufferSource source(bytes.data(), static_cast<int>(bytes.size()));
        reader.setSource(&source);
        const int roomBefore = reader.getIncoming().capacity();
        EXPECT_EQ(session.readFrame(reader), ClientSession::SessionEnded) << c.name;
        EXPECT_EQ(reader.getIncoming().capacity(), roomBefore) << c.name;
        EXPECT_EQ(source.remaining(), 64) << c.name << ": exactly the header was taken";
        EXPECT_EQ(captured.count({"refused, connection closed", "above 1048576 bytes"}), 1) << captured.dump();
    }
}

TEST_F(SessionFixture, ABodyThatInflatesBeyondTheCapIsRefused)
{
    ASSERT_TRUE(alice.feed(aliceSignIn));
    ASSERT_TRUE(bob.feed(bobSignIn));
    bob.output.take();
    // 4 MiB of blanks inside a module message, deflated by zlib itself: a few kilobytes.
    std::string inner = R"(<message module_id="chat" data=")" + std::string(4 << 20, ' ') + "\"/>";
    uLongf room = compressBound(inner.size());
    Bytes packed(room);
    ASSERT_EQ(compress2(packed.data(), &room, reinterpret_cast<const Bytef*>(inner.data()), inner.size(), 6), Z_OK);
    packed.resize(room);
    ASSERT_LT(packed.size(), 64u * 1024);
    Bytes header = hex("23 02 01  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 00 00 00");
    header[17] = static_cast<uint8_t>(packed.size() >> 24);
    header[18] = static_cast<uint8_t>(packed.size() >> 16);
    header[19] = static_cast<uint8_t>(packed.size() >> 8);
    header[20] = static_cast<uint8_t>(packed.size());
    EXPECT_FALSE(alice.feed(header + packed));
    EXPECT_EQ(log.count({"refused", "does not inflate within the cap"}), 1) << log.dump();
    EXPECT_TRUE(bob.output.take().empty());
}

TEST_F(SessionFixture, AnAccountHasABoundedNumberOfConnections)
{
    ServerSettings settings;
    settings.maxSessionsPerUser = 2;
    HubRig small(settings);
    small.account("alice", "secret1");
    RigClient first(small, "10.0.0.7", 40000), second(small, "10.0.0.7", 40001), third(small, "10.0.0.7", 40002);
    EXPECT_TRUE(first.feed(aliceSignIn));
    EXPECT_TRUE(second.feed(aliceSignIn));
    EXPECT_FALSE(third.feed(aliceSignIn));
    EXPECT_EQ(log.count({"refused", "already has 2 connections"}), 1) << log.dump();
    EXPECT_TRUE(third.output.take().empty());
    EXPECT_EQ(small.hub.sessionCount(1), 2);
    first.leave();
    EXPECT_TRUE(third.feed(aliceSignIn));
}

TEST_F(SessionFixture, MessagesToNobodyAreDroppedAndTheConnectionStays)
{
    ASSERT_TRUE(alice.feed(aliceSignIn));
    alice.output.take();
    // #9 has no account; #2 (bob) is offline and a module message cannot wait.
    ASSERT_TRUE(alice.feed(frameFixture("23 02 00  00 00 00 00 09  00 00  00 00 00 00 01  00 00  00 00 00 25",
                                        R"(<message module_id="chat" data="hi"/>)") +
                           frameFixture("23 02 00  00 00 00 00 02  00 00  00 00 00 00 01  00 00  00 00 00 25",
                                        R"(<message module_id="chat" data="hi"/>)")));
    EXPECT_TRUE(alice.session->isSignedIn());
    EXPECT_EQ(log.count({"dropped a type-2 frame for #9", "no such recipient"}), 1) << log.dump();
    EXPECT_EQ(log.count({"dropped a type-2 frame for #2", "offline"}), 1) << log.dump();
    EXPECT_EQ(rig.store.countHeldFrames(2), 0);
}

} // namespace
