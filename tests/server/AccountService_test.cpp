// The account endpoint's forms and their exact replies: the sign-in lines, the failure
// document and the status documents. The forms are written as they travel, encoded by hand.

#include "ServerTestSupport.h"

#include "server/AccountService.h"
#include "server/FormParser.h"

#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

class AccountServiceTest : public ::testing::Test {
protected:
    AccountServiceTest() : service(rig.store, rig.hub, rig.settings) {}

    AccountReply post(const std::string& body, const char* from = "10.0.0.7")
    {
        NameValueList form;
        EXPECT_TRUE(parseForm(body.c_str(), static_cast<int>(body.size()), form, 32));
        return service.handle(form, endpoint(from, 50000), endpoint("127.0.0.1", 8470));
    }
    static std::string body(const AccountReply& reply) { return std::string(reply.body.c_str(), reply.body.length()); }

    HubRig rig;
    AccountService service;
    LogCapture log;
};

const char* const failureHead = "<?xml version=\"1.0\"?>\r\n<response>\r\n\t<status>FAILED</status>\r\n\t<reason>";
const char* const failureTail = "</reason>\r\n</response>\r\n";

std::string failureDocument(const std::string& reason)
{
    return failureHead + reason + failureTail;
}

TEST_F(AccountServiceTest, CreateUserAnswersTheNewId)
{
    AccountReply reply = post("CMD=CREATE_USER&User_Name=alice&Email=alice%40example.org&First_Name=Alice"
                              "&Last_Name=Liddell&Password=secret1&Web_Site=http%3A%2F%2Fexample.org&Network_ID=");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(std::string(reply.contentType.c_str()), "text/xml");
    EXPECT_EQ(body(reply), "<?xml version=\"1.0\"?>\r\n<response>\r\n\t<status>SUCCESS</status>\r\n"
                           "\t<userID>1</userID>\r\n</response>\r\n");
    AccountRecord stored;
    ASSERT_TRUE(rig.store.checkPassword("alice", "secret1", &stored));
    EXPECT_EQ(stored.email, String("alice@example.org"));
    EXPECT_EQ(stored.webSite, String("http://example.org"));

    reply = post("CMD=CREATE_USER&User_Name=bob&Email=&First_Name=&Last_Name=&Password=x&Web_Site=&Network_ID=");
    EXPECT_EQ(body(reply), "<?xml version=\"1.0\"?>\r\n<response>\r\n\t<status>SUCCESS</status>\r\n"
                           "\t<userID>2</userID>\r\n</response>\r\n");
}

TEST_F(AccountServiceTest, CreateUserRefusals)
{
    post("CMD=CREATE_USER&User_Name=taken&Password=x");
    const std::string name250(250, 'n'), name251(251, 'n');
    const struct {
        std::string form;
        const char* reason;
    } cases[] = {
        {"CMD=CREATE_USER&User_Name=&Password=x", "Enter user name!"},
        {"CMD=CREATE_USER&User_Name=" + name251 + "&Password=x",
         "Your user name is too long! ( maximum characters: 250 )"},
        {"CMD=CREATE_USER&User_Name=a%3Ab&Password=x", "Your user name holds invalid characters."},
        {"CMD=CREATE_USER&User_Name=a%09b&Password=x", "Your user name holds invalid characters."},
        {"CMD=CREATE_USER&User_Name=a%0Ab&Password=x", "Your user name holds invalid characters."},
        {"CMD=CREATE_USER&User_Name=ok&Password=", "Enter password!"},
        {"CMD=CREATE_USER&User_Name=ok&Password=a%3Ab", "Your password holds invalid characters."},
        {"CMD=CREATE_USER&User_Name=ok&Password=" + name251, "Your password is too long! ( maximum characters: 250 )"},
        {"CMD=CREATE_USER&User_Name=ok&Password=x&Email=a%0Db", "Your e-mail address holds invalid characters."},
        {"CMD=CREATE_USER&User_Name=ok&Password=x&Web_Site=" + name251,
         "Your web site is too long! ( maximum characters: 250 )"},
        {"CMD=CREATE_USER&User_Name=taken&Password=y", "This user name is already taken."},
    };
    for (const auto& c : cases) {
        const AccountReply reply = post(c.form);
        EXPECT_EQ(reply.status, 200) << c.form;
        EXPECT_EQ(body(reply), failureDocument(c.reason)) << c.form;
    }
    AccountRecord r;
    EXPECT_FALSE(rig.store.findByName("ok", r));
    EXPECT_EQ(log.count({"sign-up refused"}), 11) << log.dump();
    // The longest name the sign-up form allows is accepted.
    EXPECT_EQ(body(post("CMD=CREATE_USER&User_Name=" + name250 + "&Password=x")).find("SUCCESS") != std::string::npos,
              true);
}

TEST_F(AccountServiceTest, LoginAnswersTheSuccessLines)
{
    const uint64_t alice = rig.account("alice", "secret1", "Alice", "Liddell", "alice@example.org");
    const uint64_t bob = rig.account("bob", "secret2", "Bob", "Builder", "bob@example.org");
    const uint64_t carol = rig.account("carol", "secret3");
    const uint64_t dave = rig.account("dave", "secret4");
    rig.store.addContact(alice, bob, 10);
    rig.store.addContact(alice, carol, 10);
    rig.store.addContact(bob, alice, 10);
    rig.store.addContact(dave, alice, 10);

    AccountReply reply = post("CMD=LOGIN&user=alice&password=secret1&network_id=");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(std::string(reply.contentType.c_str()), "text/plain");
    EXPECT_EQ(body(reply), "LOGIN SUCCESS\n"
                           "127.0.0.1:8471\n"
                           "alice\n"
                           "2\n"
                           "2\tbob\tBob\tBuilder\tbob@example.org\t\n"
                           "3\tcarol\t\t\t\t\n"
                           "\n"
                           "2\n"
                           "4\n"
                           "\n"
                           "1");
    // Carol lists nobody: line 4 is the empty line; alice lists her.
    reply = post("CMD=LOGIN&user=carol&password=secret3&network_id=");
    EXPECT_EQ(body(reply), "LOGIN SUCCESS\n127.0.0.1:8471\ncarol\n0\n\n1\n\n3");
    reply = post("CMD=LOGIN&user=dave&password=secret4&network_id=");
    EXPECT_EQ(body(reply), "LOGIN SUCCESS\n127.0.0.1:8471\ndave\n1\n1\talice\tAlice\tLiddell\talice@example.org\t\n\n\n4");
}

TEST_F(AccountServiceTest, LoginNamesTheMessageServerAsTheClientCanReachIt)
{
    rig.account("alice", "secret1");
    NameValueList form;
    const std::string text = "CMD=LOGIN&user=alice&password=secret1";
    parseForm(text.c_str(), static_cast<int>(text.size()), form, 32);
    service.setMessageAddress(endpoint("0.0.0.0", 9000));
    AccountReply reply = service.handle(form, endpoint("10.0.0.7", 5000), endpoint("192.0.2.10", 8470));
    EXPECT_EQ(body(reply).substr(0, 35), "LOGIN SUCCESS\n192.0.2.10:9000\nalice");
    service.setMessageAddress(endpoint("127.0.0.2", 9001));
    reply = service.handle(form, endpoint("10.0.0.7", 5000), endpoint("192.0.2.10", 8470));
    EXPECT_EQ(body(reply).substr(0, 34), "LOGIN SUCCESS\n127.0.0.2:9001\nalice");
}

TEST_F(AccountServiceTest, LoginFailureDocument)
{
    rig.account("alice", "secret1");
    for (const char* form : {"CMD=LOGIN&user=alice&password=wrong&network_id=", "CMD=LOGIN&user=nobody&password=secret1",
                             "CMD=LOGIN&user=alice", "CMD=login&user=ALICE&password=secret1"}) {
        const AccountReply reply = post(form);
        EXPECT_EQ(reply.status, 200) << form;
        EXPECT_EQ(body(reply), failureDocument("Wrong user name or password.")) << form;
    }
    EXPECT_EQ(log.count({"sign-in refused"}), 4);
}

TEST_F(AccountServiceTest, ChangeUserNeedsTheAccountSignedInFromTheSameAddress)
{
    const uint64_t alice = rig.account("alice", "secret1");
    const std::string change = "CMD=CHANGE_USER&User_Name=alice&User_ID=1&Password=&Email=alice%40example.org"
                               "&First_Name=Alice&Last_Name=Liddell&Web_Site=";
    EXPECT_EQ(body(post(change)), failureDocument("Sign in first to change your details."));

    RigClient client(rig, "10.0.0.7", 40000);
    ASSERT_TRUE(client.feed(frameFixture(
        "23 64 00  00 00 00 00 00  00 00  00 00 00 00 00  00 00  00 00 00 71",
        R"(<message network_id="" user_id="1" user_name="alice" password="secret1" status="1" peer_contacts="" contacts=""/>)")));
    EXPECT_EQ(body(post(change, "10.0.0.99")), failureDocument("Sign in first to change your details."));
    const AccountReply done = post(change);
    EXPECT_EQ(body(done), "<?xml version=\"1.0\"?>\r\n<response>\r\n\t<status>SUCCESS</status>\r\n</response>\r\n");
    AccountRecord r;
    ASSERT_TRUE(rig.store.checkPassword("alice", "secret1", &r)) << "an empty password changes nothing";
    EXPECT_EQ(r.lastName, String("Liddell"));
    EXPECT_EQ(r.email, String("alice@example.org"));

    EXPECT_EQ(body(post("CMD=CHANGE_USER&User_Name=alice&User_ID=1&Password=new%20one&Email=&First_Name=&Last_Name=&Web_Site=")),
              "<?xml version=\"1.0\"?>\r\n<response>\r\n\t<status>SUCCESS</status>\r\n</response>\r\n");
    EXPECT_TRUE(rig.store.checkPassword("alice", "new one", nullptr));

    // The name and the id must name the same account.
    EXPECT_EQ(body(post("CMD=CHANGE_USER&User_Name=bob&User_ID=1&Password=x")), failureDocument("There is no such user."));
    EXPECT_EQ(body(post("CMD=CHANGE_USER&User_Name=alice&User_ID=7&Password=x")), failureDocument("There is no such user."));
    EXPECT_EQ(body(post("CMD=CHANGE_USER&User_Name=alice&User_ID=1&Password=a%3Ab")),
              failureDocument("Your password holds invalid characters."));
    EXPECT_TRUE(rig.store.checkPassword("alice", "new one", nullptr));
    (void)alice;
}

TEST_F(AccountServiceTest, AnUnknownCommandIsABadRequest)
{
    for (const char* form : {"CMD=DELETE_USER&User_Name=alice", "user=alice", ""}) {
        const AccountReply reply = post(form);
        EXPECT_EQ(reply.status, 400) << form;
        EXPECT_EQ(body(reply), failureDocument("Unknown command.")) << form;
    }
    EXPECT_EQ(log.count({"refused a form"}), 3);
}

} // namespace
