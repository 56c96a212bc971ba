// The application core without a server: start-up, the event queue and its drain, the
// thread messages, and the handlers of the server's frames, fed with frames read from
// hand-written bytes. What the user would see is read from the recording user interface.

#include "core/app/ThreadMessages.h"
#include "foundation/Paths.h"
#include "tests/core/ClientTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace orvane;
using namespace orvane::testing;

namespace {

const char* const kReply = "LOGIN SUCCESS\nhost:1\nalice\n2\n"
                           "12\tbob\tBob\tBrown\t\t\n"
                           "34\tcarl\t\t\t\t\n"
                           "\n\n7";

class ClientAppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(client.start()) << client.log.dump();
        // A client that knows bob (12) and carl (34), offline.
        client.onUi([this] { client.app->applySignInReply(SignInReply::parse(kReply)); });
        mark = client.log.size();
    }

    void deliver(uint8_t type, uint64_t sender, const std::string& body)
    {
        Message frame = receivedFrame(type, sender, body);
        client.app->postEvent(AppEvent::ServerFrame, 5, &frame, nullptr, true);
    }

    // Waits for the line after the mark; fails the test when it does not come.
    void expectLine(const std::string& line)
    {
        EXPECT_GE(client.log.waitFor(line, 5000, mark), 0) << "no line \"" << line << "\"; the lines:\n"
                                                           << client.log.dump();
    }

    // Everything posted so far has been handled.
    void settle()
    {
        client.onUi([] {});
        client.onUi([] {});
    }

    std::vector<std::string> linesSinceMark()
    {
        const std::vector<std::string> all = client.log.lines();
        return std::vector<std::string>(all.begin() + static_cast<long>(mark), all.end());
    }

    DiagnosticRecorder diagnostics;
    ClientFolders folders;
    TestClient client{folders, {"probe", "second"}};
    size_t mark = 0;
};

} // namespace

TEST(ClientAppStart, StartsInOrderAndAsksForAUserNameWhenNoneIsStored)
{
    ClientFolders folders;
    TestClient client(folders);
    ASSERT_TRUE(client.start());
    const std::vector<std::string> lines = client.log.lines();
    const std::vector<std::string> firstLines(lines.begin(), lines.begin() + 6);
    EXPECT_EQ(firstLines,
              (std::vector<std::string>{"windows", "module probe init", "actions", "title ", "refresh *", "title "}))
        << client.log.dump();
    // No user name stored: the dialog, cancelled, and no progress panel and no connect.
    EXPECT_GE(client.log.waitFor("sign-in-dialog", 5000), 0);
    client.onUi([] {});
    EXPECT_EQ(client.log.count("progress-show"), 0u);
    EXPECT_FALSE(client.app->connection().isConnected());
}

TEST(ClientAppStart, AStartRemovesTheAccountCopiesThatASaveCutShortLeftBehind)
{
    ClientFolders folders;
    const std::string userFolder = folders.configHome + "/Orvane";
    ::mkdir(userFolder.c_str(), 0700);
    const std::string account = userFolder + "/account.ini";
    const std::string password = AccountSettings::encodePassword("secret").c_str();
    writeBytes(account + ".tmp-Ab12Cd", "<xml><server><password>" + password + "</password>");
    writeBytes(account + ".tmp-zZ9yY8", "<xml><ser");
    writeBytes(userFolder + "/notes.tmp-Ab12Cd", "someone else's");
    TestClient client(folders);
    ASSERT_TRUE(client.start());
    EXPECT_FALSE(fileType((account + ".tmp-Ab12Cd").c_str()));
    EXPECT_FALSE(fileType((account + ".tmp-zZ9yY8").c_str()));
    EXPECT_TRUE(fileType((userFolder + "/notes.tmp-Ab12Cd").c_str()));
}

TEST(ClientAppStart, ASecondInstanceEndsSilently)
{
    ClientFolders folders;
    TestClient first(folders);
    ASSERT_TRUE(first.start());
    TestClient second(folders);
    EXPECT_FALSE(second.start());
    EXPECT_EQ(second.log.size(), 0u) << second.log.dump();
}

TEST(ClientAppStart, WindowsThatCannotBeCreatedEndTheStartUp)
{
    ClientFolders folders;
    TestClient client(folders);
    client.ui.windowsCreated = false;
    EXPECT_FALSE(client.start());
    EXPECT_EQ(client.log.count("module probe init"), 0u);
}

TEST_F(ClientAppTest, APresenceListAppliesEveryRecordInsideTheAnnouncedLengthAndTheBody)
{
    const std::string bob = presenceRecord(12, 1, std::string("\x0a\x00\x00\x05", 4), 4000);
    const std::string carl = presenceRecord(34, 0, std::string("\x0a\x00\x00\x06", 4), 4001);
    const std::string stranger = presenceRecord(99, 1, std::string(4, '\0'), 1);

    const struct {
        const char* name;
        std::string body;
        std::vector<std::string> applied;
    } cases[] = {
        {"N 0", presenceBody(0, bob), {}},
        {"N 1", presenceBody(1, bob), {}},
        {"N 16", presenceBody(16, bob + carl), {"12"}},
        {"N 32", presenceBody(32, bob + carl), {"12", "34"}},
        {"N 31: the second record passes the announced length", presenceBody(31, bob + carl), {"12"}},
        {"N 48 with two records: nothing beyond the body", presenceBody(48, bob + carl), {"12", "34"}},
        {"a record cut short by the body", presenceBody(32, bob + carl.substr(0, 10)), {"12"}},
        {"ids not in the list are skipped", presenceBody(32, stranger + carl), {"34"}},
        {"a body of one byte", std::string(1, '\0'), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mark = client.log.size();
        deliver(6, 0, c.body);
        settle();
        std::vector<std::string> refreshed;
        for (const std::string& line : linesSinceMark())
            if (line.rfind("refresh ", 0) == 0)
                refreshed.push_back(line.substr(8));
        EXPECT_EQ(refreshed, c.applied) << client.log.dump();
    }
    ContactRecord* contact = client.onUi([this] { return client.app->findContact("12"); });
    ASSERT_NE(contact, nullptr);
    EXPECT_EQ(contact->endpoint.getHostAddress(), String("10.0.0.5"));
    EXPECT_EQ(contact->endpoint.getPort(), 4000);
}

TEST_F(ClientAppTest, APresenceNoticeTellsTheUserTheModulesAndTheStatusLine)
{
    deliver(6, 0, presenceBody(16, presenceRecord(12, 1, std::string(4, '\x01'), 1)));
    expectLine("module probe contact-status 12 online");
    expectLine("status Bob Brown is online.");
    const std::vector<std::string> lines = linesSinceMark();
    const std::vector<std::string> expected = {"sound online.wav", "notice Bob Brown\\nSigned In.", "refresh 12",
                                               "status Bob Brown is online."};
    std::vector<std::string> seen;
    for (const std::string& line : lines)
        if (std::find(expected.begin(), expected.end(), line) != expected.end())
            seen.push_back(line);
    EXPECT_EQ(seen, expected) << client.log.dump();
    EXPECT_GE(client.log.waitFor("module second contact-status 12 online", 5000, mark), 0);
}

TEST_F(ClientAppTest, OnePresenceRecordIsTakenFromTheSenderAndShortBodiesAreIgnored)
{
    // The id inside the record is not read for type 4: the sender is the contact.
    deliver(4, 34, presenceBody(16, presenceRecord(12, 2, std::string(4, '\0'), 1)));
    expectLine("notice carl\\nSigned Out.");
    expectLine("sound offline.wav");
    // Status 2 counts as online although it is announced as signed out.
    EXPECT_TRUE(client.onUi([this] { return client.app->findContact("34")->isOnline(); }));

    settle();
    mark = client.log.size();
    deliver(4, 12, presenceBody(16, presenceRecord(12, 1, std::string(4, '\0'), 1)).substr(0, 17));
    // A stranger's record creates no contact.
    deliver(4, 99, presenceBody(16, presenceRecord(99, 1, std::string(4, '\0'), 1)));
    settle();
    EXPECT_TRUE(linesSinceMark().empty()) << client.log.dump();
    EXPECT_EQ(client.onUi([this] { return client.app->findContact("99"); }), nullptr);
}

TEST_F(ClientAppTest, ModuleMessagesReachTheirModuleAndStrangersGetARecord)
{
    deliver(2, 12, "<message module_id=\"probe\" data=\"&lt;hi/&gt;\"/>");
    expectLine("module probe message 12 <hi/>");
    deliver(2, 99, "<message module_id=\"probe\" data=\"x\"/>");
    expectLine("module probe message 99 x");
    ContactRecord* stranger = client.onUi([this] { return client.app->findContact("99"); });
    ASSERT_NE(stranger, nullptr);
    EXPECT_STREQ(stranger->getUserName(), "Unknown 99");
    EXPECT_FALSE(stranger->isListed());
    EXPECT_FALSE(stranger->isOnline());

    // An empty module id goes to the system module; an unknown one is dropped.
    client.app->systemModule().setCommandHandler(
        "CLOSE_UDP_CHANNEL", [this](const XmlNode& message, uint64_t sender) {
            client.log.add("system " + std::to_string(sender) + " " + message.childOrEmpty("rcpt_conn_id")->value.c_str());
        });
    deliver(2, 12, "<message module_id=\"\" data=\"&lt;xml command=&quot;close_udp_channel&quot; rcpt_conn_id=&quot;5&quot;/&gt;\"/>");
    expectLine("system 12 5");
    settle();
    mark = client.log.size();
    deliver(2, 12, "<message module_id=\"nobody\" data=\"lost\"/>");
    settle();
    EXPECT_TRUE(linesSinceMark().empty()) << client.log.dump();
}

TEST_F(ClientAppTest, SessionMessagesNeedTheirModule)
{
    deliver(3, 34, "<message module_id=\"probe\" session_id=\"s1\" data=\"d\" can_be_offline=\"yes\" "
                   "timestamp=\"1165104000\"/>");
    expectLine("module probe session 34 s1 d");
    settle();
    mark = client.log.size();
    deliver(3, 34, "<message module_id=\"\" session_id=\"s1\" data=\"d\"/>");
    settle();
    EXPECT_TRUE(linesSinceMark().empty()) << client.log.dump();
}

TEST_F(ClientAppTest, ContactCommandRepliesChangeTheListAndTellTheUser)
{
    deliver(10, 0,
            "<xml command=\"contact_added\"><NewContact UserName=\"dora\" UserID=\"56\" FirstName=\"Dora\" "
            "LastName=\"D\" Email=\"d@x\" WebSite=\"w\"/></xml>");
    expectLine("module probe contact-added 56");
    expectLine("notice dora has been added to contact list.");
    expectLine("status The user added successfuly");
    ContactRecord* dora = client.onUi([this] { return client.app->findContact("56"); });
    ASSERT_NE(dora, nullptr);
    EXPECT_TRUE(dora->isListed());
    EXPECT_STREQ(dora->getDisplayName(), "Dora D");

    deliver(10, 0, "<xml command=\"Contact_Removed\" contact_id=\"56\"/>");
    expectLine("module probe contact-removed 56");
    expectLine("notice The user was removed from contact list");
    expectLine("status Removed successfully");
    EXPECT_FALSE(client.onUi([this] { return client.app->findContact("56")->isListed(); }));

    deliver(10, 0, "<xml command=\"CONTACT_NOT_ADDED\" reason=\"There is no user with this name.\"/>");
    expectLine("notice Can't add the user. There is no user with this name.");
    expectLine("status Can't add the user. ");
    deliver(10, 0, "<xml command=\"CONTACT_NOT_REMOVED\" contact_id=\"34\" reason=\"not listed\"/>");
    expectLine("notice Can't remove 34.\\nnot listed.");
    expectLine("status Can't remove 34.");

    // A removal of someone not in the list tells no module.
    settle();
    mark = client.log.size();
    deliver(10, 0, "<xml command=\"CONTACT_REMOVED\" contact_id=\"77\"/>");
    expectLine("status Removed successfully");
    for (const std::string& line : linesSinceMark())
        EXPECT_EQ(line.find("contact-removed"), std::string::npos) << line;
}

TEST_F(ClientAppTest, ConnectionStatesTellTheModulesAndTheUser)
{
    client.app->onThreadMessage(0, 0, 0); // not a message of the application: passed on
    client.onUi([this] { client.app->onThreadMessage(ThreadMessage::ConnectionState, 0, 0); });
    expectLine("module probe signed-out");
    expectLine("status Offline.");

    mark = client.log.size();
    client.onUi([this] { client.app->onThreadMessage(ThreadMessage::ConnectionState, 0, 1); });
    expectLine("status Error Signing in the server.");
    expectLine("notice Unable to connect the server.");
    expectLine("sound warning.wav");
    expectLine("progress-hide");

    mark = client.log.size();
    client.onUi([this] { client.app->onThreadMessage(ThreadMessage::ConnectionState, 0, 2); });
    expectLine("notice Connection to server has been lost.");
    settle();
    const std::vector<std::string> afterLost = linesSinceMark();
    EXPECT_EQ(std::count(afterLost.begin(), afterLost.end(), "progress-hide"), 0);
    // Every sign-out unlists the contacts.
    EXPECT_FALSE(client.onUi([this] { return client.app->findContact("12")->isListed(); }));

    mark = client.log.size();
    client.onUi([this] { client.app->onThreadMessage(ThreadMessage::ConnectionState, 1, 0); });
    expectLine("module probe signed-in");
    expectLine("progress-hide");
    // "Signed in." and then the hidden panel's empty text; the line shows the last one.
    settle();
    EXPECT_EQ(client.log.lines().back(), "progress-text ");
}

namespace {

// A module whose message handler fails.
class ThrowingModule : public ProbeModule {
public:
    using ProbeModule::ProbeModule;
    void onMessage(IContact*, const char* data) override
    {
        if (std::string(data) == "throw")
            throw std::runtime_error("module failure");
        if (std::string(data) == "throw-exception")
            throw SocketException();
        ProbeModule::onMessage(nullptr, data);
    }
};

} // namespace

TEST(ClientAppDrain, AHandlerThatThrowsCostsOnlyItsOwnEvent)
{
    DiagnosticRecorder diagnostics;
    DiagnosticRecorder::clear();
    ClientFolders folders;
    TestClient client(folders, {});
    client.addModule<ThrowingModule>("thrower");
    ASSERT_TRUE(client.start());

    // Queued together, drained in one walk.
    client.onUi([&client] {
        for (const char* data : {"one", "throw", "two", "throw-exception", "three"}) {
            String body("<message module_id=\"thrower\" data=\"");
            body += data;
            body += "\"/>";
            Message frame = receivedFrame(2, 12, body.c_str());
            client.app->postEvent(AppEvent::ServerFrame, 5, &frame, nullptr, false);
        }
        client.app->drainEvents();
    });
    std::vector<std::string> messages;
    for (const std::string& line : client.log.lines())
        if (line.rfind("module thrower message", 0) == 0)
            messages.push_back(line);
    EXPECT_EQ(messages, (std::vector<std::string>{"module thrower message - one", "module thrower message - two",
                                                  "module thrower message - three"}));
    EXPECT_EQ(DiagnosticRecorder::lines().size(), 2u);
}

namespace {

// A module that answers "first" by queueing another frame, as a handler on the
// user-interface thread may.
class ChainModule : public ProbeModule {
public:
    using ProbeModule::ProbeModule;
    ClientApp* app = nullptr;
    void onMessage(IContact* sender, const char* data) override
    {
        ProbeModule::onMessage(sender, data);
        if (std::string(data) == "first") {
            Message next = receivedFrame(2, 12, "<message module_id=\"chain\" data=\"second\"/>");
            app->postEvent(AppEvent::ServerFrame, 5, &next, nullptr, true);
        }
    }
};

} // namespace

TEST(ClientAppDrain, EventsQueuedWhileTheQueueRunsRunInTheSameDrain)
{
    ClientFolders folders;
    TestClient client(folders, {});
    client.addModule<ChainModule>("chain")->app = client.app.get();
    ASSERT_TRUE(client.start());
    const size_t before = client.log.size();
    client.onUi([&client] {
        Message first = receivedFrame(2, 12, "<message module_id=\"chain\" data=\"first\"/>");
        client.app->postEvent(AppEvent::ServerFrame, 5, &first, nullptr, false);
        client.app->drainEvents();
        // Both ran inside the one drain above.
        client.log.add("drained");
    });
    const std::vector<std::string> all = client.log.lines();
    const std::vector<std::string> lines(all.begin() + static_cast<long>(before), all.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"module chain message 12 first", "module chain message 12 second",
                                               "drained"}));
}

TEST_F(ClientAppTest, ContactStatusMessagesFindTheRecordAgain)
{
    // A record that is gone by the time the message is handled is not touched.
    client.onUi([this] {
        client.app->onThreadMessage(ThreadMessage::ContactStatus, 1, 12);
        client.app->clearContacts();
        client.app->onThreadMessage(ThreadMessage::ContactStatus, 1, 12);
    });
    EXPECT_EQ(client.log.count("module probe contact-status 12 offline"), 1u) << client.log.dump();
    // A callback without a module does nothing.
    client.onUi([this] { client.app->onThreadMessage(ThreadMessage::ModuleCallback, 0, 5); });
}

TEST(Contacts, DisplayNamesAndTheOrderOfTheList)
{
    ContactRecord padded("1");
    padded.firstName = "  Anna ";
    padded.userName = "a";
    EXPECT_STREQ(padded.getDisplayName(), "Anna");
    ContactRecord plain("2");
    plain.userName = "bob";
    EXPECT_STREQ(plain.getDisplayName(), "bob");

    ContactList list;
    list.add("1")->userName = "bob";
    list.at(0)->status = 1;
    list.add("2")->userName = "Carl";
    list.add("3")->userName = "anna";
    list.sort();
    EXPECT_STREQ(list.at(0)->getUserName(), "anna");
    EXPECT_STREQ(list.at(1)->getUserName(), "Carl");
    EXPECT_STREQ(list.at(2)->getUserName(), "bob");
}

TEST(Contacts, PresenceIdsUseAllSixtyFourBits)
{
    const std::string record = presenceRecord(0x0102030405060708ull, 1, std::string("\x7f\x00\x00\x01", 4), 0x1234);
    EXPECT_EQ(presence::readId(reinterpret_cast<const uint8_t*>(record.data())), 0x0102030405060708ull);
    ContactRecord contact("72623859790382856");
    presence::apply(reinterpret_cast<const uint8_t*>(record.data()), contact);
    EXPECT_EQ(contact.status, 1);
    EXPECT_EQ(contact.endpoint.getHostAddress(), String("127.0.0.1"));
    EXPECT_EQ(contact.endpoint.getPort(), 0x1234);
}

TEST(ClientAppCommands, SignInAsAlwaysAsksAndKeepsTheRecordsOrDoesNothingWhenCancelled)
{
    ClientFolders folders;
    folders.writeAccount("alice", "alice-pw");
    TestClient client(folders);
    ASSERT_TRUE(client.start());
    client.onUi([&] { client.app->addContact("12")->listed = true; });

    client.onUi([&] { client.app->signInAs(); });
    EXPECT_EQ(client.log.count("sign-in-dialog"), 1u) << "asked although a user name is stored";
    EXPECT_EQ(client.log.count("progress-show"), 1u) << "only the start-up's sign-in showed the panel";

    client.ui.dialogConfirms = true;
    client.ui.dialogUserName = "bob";
    client.ui.dialogPassword = "bob-pw";
    client.ui.dialogMakeDefault = true;
    client.onUi([&] { client.app->signInAs(); });
    EXPECT_EQ(client.log.count("progress-show"), 2u);
    EXPECT_GE(client.log.waitFor("title bob", 5000), 0);
    client.onUi([&] {
        EXPECT_STREQ(client.app->account().userName.c_str(), "bob");
        EXPECT_STREQ(client.app->account().password.c_str(), "bob-pw");
        EXPECT_STREQ(client.app->ownUser().userName.c_str(), "bob");
        EXPECT_TRUE(client.app->saveAccountOnSignIn);
        EXPECT_NE(client.app->findContact("12"), nullptr) << "the records stay until the new list comes";
    });
}

TEST(ClientAppCommands, SignInAsFirstAsksTheModuleChatAndNoOtherToCloseItsWindows)
{
    const struct {
        std::vector<std::string> modules;
        const char* closed; // NULL: nobody is asked
    } cases[] = {
        {{"chat", "Chat", "probe"}, "Chat"},
        {{"chat", "probe"}, nullptr},
        {{"CHAT"}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.closed ? c.closed : "none");
        // No account: the start-up asks for one, is cancelled, and leaves the link alone.
        ClientFolders folders;
        TestClient client(folders, c.modules);
        ASSERT_TRUE(client.start());
        const size_t mark = client.log.size();
        client.onUi([&] { client.app->signInAs(); });
        std::vector<std::string> lines;
        const std::vector<std::string> all = client.log.lines();
        for (size_t i = mark; i < all.size(); ++i)
            if (all[i].rfind("close-request", 0) == 0 || all[i] == "sign-in-dialog")
                lines.push_back(all[i]);
        std::vector<std::string> expected = {"sign-in-dialog"};
        if (c.closed)
            expected.insert(expected.begin(), std::string("close-request ") + c.closed);
        EXPECT_EQ(lines, expected) << "asked before the dialog, and whatever the dialog's answer";
    }
}

TEST(ClientAppCommands, DroppedFilesGoToTheFileTransferModuleOneTextEachAndFoldersAreSkipped)
{
    ClientFolders folders;
    TestClient client(folders, {"probe", "file_transfer"});
    ASSERT_TRUE(client.start());
    const std::string file = folders.root / "photo.png";
    writeBytes(file, "png");
    const size_t mark = client.log.size();
    bool sent = false;
    client.onUi([&] {
        ContactRecord* bob = client.app->addContact("12");
        sent = client.app->sendDroppedFiles({String(file.c_str()), String(folders.root.path().c_str())}, bob);
    });
    EXPECT_TRUE(sent);
    std::vector<std::string> messages;
    const std::vector<std::string> lines = client.log.lines();
    for (size_t i = mark; i < lines.size(); ++i)
        if (lines[i].rfind("module file_transfer message", 0) == 0)
            messages.push_back(lines[i]);
    EXPECT_EQ(messages, (std::vector<std::string>{"module file_transfer message 12 <xml command=\"SEND_FILE\" filename=\"" +
                                                  file + "\"/>"}));
    // Without the module nothing happens.
    TestClient other(folders, {"probe"});
    EXPECT_FALSE(other.app->sendDroppedFiles({String(file.c_str())}, nullptr));
}

TEST(ClientAppCommands, ThePictureUrlHidesThePasswordOneByteUpOrDownAndFillsTheNames)
{
    ClientFolders folders;
    folders.writeAccount("alice", "abc", "<network>net7</network>");
    TestClient client(folders);
    ASSERT_TRUE(client.start());
    client.onUi([&] {
        const String url = client.app->buildPictureUrl("k=[key]&n=[network]&u=[username]", nullptr);
        EXPECT_STREQ(url.c_str(), "k=\x60\x63\x62&n=net7&u=alice");
        EXPECT_STREQ(client.app->buildPictureUrl("[username][username]", "bob").c_str(), "bobbob");
    });
}
