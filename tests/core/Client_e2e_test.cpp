// Whole clients against the real stand-in server: orvane-server and several headless
// clients as processes, each client with folders of its own. They sign in, see each other
// come and go, manage their contacts and exchange module and session messages; and they
// take a wrong password, a killed server and the proxies on the way as a user would.

#include "tests/core/EndToEndSupport.h"
#include "tests/core/HeadlessProcess.h"
#include "tests/network/ProxyPeers.h"
#include "tests/server/ServerProcess.h"

#include "foundation/Conversions.h"
#include "foundation/Paths.h"
#include "foundation/XmlNode.h"
#include "network/FormFields.h"
#include "network/HttpClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

class ClientEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0"})); }

    std::string serverUrl() const { return "http://127.0.0.1:" + std::to_string(server.httpPort()) + "/orvane"; }

    // A new account; its user id.
    std::string signUp(const std::string& name, const std::string& password = "pw-secret")
    {
        return signUpAt(serverUrl(), name, password);
    }

    // A client whose account.ini holds the user (and any further settings).
    std::unique_ptr<HeadlessProcess> client(const std::string& name, const std::string& password = "pw-secret",
                                            const std::string& settings = "")
    {
        auto process = std::make_unique<HeadlessProcess>(serverUrl());
        process->folders.writeAccount(name, password, settings);
        return process;
    }

    // Starts the client and waits until the server has confirmed its sign-in.
    void signedIn(HeadlessProcess& client)
    {
        ASSERT_TRUE(client.start()) << client.log.dump() << client.errors();
        ASSERT_GE(client.expectLine("module probe signed-in"), 0) << server.log();
    }

    std::string ownId(HeadlessProcess& client) { return ownIdOf(client); }

    ServerProcess server;
};

} // namespace

TEST_F(ClientEndToEnd, ClientsSeeEachOtherComeAndGoAndExchangeMessages)
{
    const std::string bobId = signUp("bob");
    const std::string carlId = signUp("carl");
    signUp("alice");

    auto alice = client("alice");
    signedIn(*alice);
    EXPECT_GE(alice->expectLine("status Online."), 0);
    const std::string aliceId = ownId(*alice);
    ASSERT_TRUE(alice->command("add bob"));
    alice->expectLine("notice bob has been added to contact list.");
    alice->expectLine("module probe contact-added " + bobId);
    ASSERT_TRUE(alice->command("add carl"));
    alice->expectLine("module probe contact-added " + carlId);
    ASSERT_TRUE(alice->command("add nobody"));
    alice->expectLine("notice Can't add the user. There is no user with this name.");

    // bob comes online: alice is told, with the sound and her modules.
    size_t from = alice->log.size();
    auto bob = client("bob");
    signedIn(*bob);
    alice->expectLine("notice bob\\nSigned In.", from);
    alice->expectLine("sound online.wav", from);
    alice->expectLine("module probe contact-status " + bobId + " online", from);
    alice->expectLine("status bob is online.", from);

    // A module message, with text that needs escaping on the way, reaches the module with
    // that id on the other side only.
    from = bob->log.size();
    ASSERT_TRUE(alice->command("send probe " + bobId + " <call id=\"1\"> & \"more\""));
    bob->expectLine("module probe message " + aliceId + " <call id=\"1\"> & \"more\"", from);

    // A session message to carl, who is offline, is held and delivered when he signs in.
    ASSERT_TRUE(alice->command("session probe " + carlId + " s-1 yes kept for later"));
    from = alice->log.size();
    auto carl = client("carl");
    signedIn(*carl);
    carl->expectLine("module probe session " + aliceId + " s-1 kept for later");
    alice->expectLine("notice carl\\nSigned In.", from);

    // bob signs out: alice sees him go.
    from = alice->log.size();
    ASSERT_TRUE(bob->command("sign-out"));
    bob->expectLine("status Offline.");
    alice->expectLine("notice bob\\nSigned Out.", from);
    alice->expectLine("sound offline.wav", from);
    alice->expectLine("module probe contact-status " + bobId + " offline", from);

    // Removing carl tells alice's modules; the list keeps the record, unlisted.
    ASSERT_TRUE(alice->command("remove " + carlId));
    alice->expectLine("module probe contact-removed " + carlId);
    alice->expectLine("notice The user was removed from contact list");
    ASSERT_TRUE(alice->command("contacts"));
    alice->expectLine("contact " + carlId + " carl listed=0 status=1");
    alice->expectLine("contact " + bobId + " bob listed=1 status=0");

    for (auto* c : {alice.get(), bob.get(), carl.get()}) {
        c->stop();
        for (const std::string& line : c->log.lines())
            EXPECT_EQ(line.rfind("diagnostic", 0), std::string::npos) << line;
    }
}

TEST_F(ClientEndToEnd, AWrongPasswordShowsTheServersReasonOnceAndLeavesNoSocket)
{
    signUp("alice");
    auto alice = client("alice", "not-the-password");
    ASSERT_TRUE(alice->start());
    alice->expectLine("box warning Unable to sign in! Wrong user name or password.");
    alice->expectLine("notice Unable to connect the server.");
    ASSERT_TRUE(alice->command("sockets"));
    alice->expectLine("sockets 0");
    EXPECT_EQ(alice->log.count("module probe signed-out"), 1u) << alice->log.dump();
    EXPECT_EQ(alice->log.count("progress-hide"), 1u);
}

TEST_F(ClientEndToEnd, AKilledServerCostsTheLinkAndSignOutIsQuiet)
{
    signUp("alice");
    auto alice = client("alice");
    signedIn(*alice);
    size_t from = alice->log.size();
    ::kill(server.pid(), SIGKILL);
    alice->expectLine("notice Connection to server has been lost.", from);
    alice->expectLine("sound warning.wav", from);
    alice->expectLine("status Offline.", from);

    from = alice->log.size();
    ASSERT_TRUE(alice->command("sign-out"));
    alice->expectLine("module probe signed-out", from);
    ASSERT_TRUE(alice->command("sockets"));
    alice->expectLine("sockets 0", from);
    for (size_t i = from; i < alice->log.size(); ++i)
        EXPECT_EQ(alice->log.lines()[i].rfind("notice", 0), std::string::npos) << alice->log.lines()[i];
}

TEST_F(ClientEndToEnd, SignOutClosesTheLinkAndSignInOpensANewOne)
{
    signUp("alice");
    signUp("bob");
    auto alice = client("alice");
    signedIn(*alice);
    auto bob = client("bob");
    signedIn(*bob);
    ASSERT_TRUE(bob->command("add alice"));
    bob->expectLine("notice alice\\nSigned In.");

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        size_t from = bob->log.size();
        ASSERT_TRUE(alice->command("sign-out"));
        bob->expectLine("notice alice\\nSigned Out.", from);
        from = bob->log.size();
        const size_t aliceFrom = alice->log.size();
        ASSERT_TRUE(alice->command("sign-in"));
        alice->expectLine("module probe signed-in", aliceFrom);
        bob->expectLine("notice alice\\nSigned In.", from);
    }
}

namespace {

// The proxies the link can go through, each with what the client should see.
enum class Way { Squid, Dante, SquidWithBasic };

class ClientThroughProxy : public ClientEndToEnd, public ::testing::WithParamInterface<Way> {};

} // namespace

TEST_P(ClientThroughProxy, TheSignInFormGoesDirectAndTheLinkThroughTheProxy)
{
    signUp("alice");
    std::unique_ptr<SquidPeer> squid;
    std::unique_ptr<DantePeer> dante;
    uint16_t port;
    int type;
    if (GetParam() == Way::Dante) {
        // dante refuses the account endpoint: the sign-in form must not go through it.
        dante = std::make_unique<DantePeer>(server.httpPort());
        ASSERT_NO_FATAL_FAILURE(dante->start());
        port = dante->port();
        type = ProxySocks5;
    } else {
        squid = std::make_unique<SquidPeer>(GetParam() == Way::Squid ? SquidPeer::Auth::None
                                                                     : SquidPeer::Auth::Basic);
        ASSERT_NO_FATAL_FAILURE(squid->start());
        port = squid->port();
        type = ProxyHttps;
    }
    auto alice = client("alice", "pw-secret",
                        "<proxy_host>127.0.0.1</proxy_host><proxy_port>" + std::to_string(port) +
                            "</proxy_port><proxy_type>" + std::to_string(type) + "</proxy_type>");
    if (GetParam() == Way::SquidWithBasic) {
        // The program has no proxy credentials to give: the link cannot be made, and the
        // user is told so without a sign-in refusal.
        ASSERT_TRUE(alice->start());
        alice->expectLine("notice Unable to connect the server.");
        EXPECT_EQ(alice->log.count("box warning Unable to sign in! "), 0u);
        return;
    }
    signedIn(*alice);
    // The proxy ends: the link that ran through it is lost.
    const size_t from = alice->log.size();
    squid.reset();
    dante.reset();
    alice->expectLine("notice Connection to server has been lost.", from);
}

INSTANTIATE_TEST_SUITE_P(Proxies, ClientThroughProxy,
                         ::testing::Values(Way::Squid, Way::Dante, Way::SquidWithBasic),
                         [](const ::testing::TestParamInfo<Way>& way) {
                             switch (way.param) {
                             case Way::Squid: return "Squid";
                             case Way::Dante: return "Dante";
                             default: return "SquidWithBasic";
                             }
                         });

namespace {

// A module library of the tests, placed in the client's modules folder.
void installModule(HeadlessProcess& client, const std::string& id)
{
    const std::string modules = client.folders.programFolder + "/modules";
    ::mkdir(modules.c_str(), 0700);
    ::mkdir((modules + "/" + id).c_str(), 0700);
    const std::string library = std::string(ORVANE_FIXTURE_MODULES) + "/" + id + "/" + id + ".so";
    ASSERT_EQ(::symlink(library.c_str(), (modules + "/" + id + "/" + id + ".so").c_str()), 0);
}

} // namespace

TEST_F(ClientEndToEnd, LibraryModulesTalkToTheirCounterpartsThroughTheServer)
{
    const std::string bobId = signUp("bob");
    signUp("alice");
    auto alice = client("alice");
    auto bob = client("bob");
    for (HeadlessProcess* c : {alice.get(), bob.get()}) {
        installModule(*c, "alpha");
        installModule(*c, "beta");
    }
    signedIn(*alice);
    const std::string aliceId = ownId(*alice);
    ASSERT_TRUE(alice->command("add bob"));
    alice->expectLine("module probe contact-added " + bobId);

    // Sign-in and presence reach every module in list order: the built-in ones, then the
    // libraries.
    // The libraries come in the order their folder lists them.
    std::vector<std::string> libraries;
    StringArray listed;
    listDirectoryPaths((bob->folders.programFolder + "/modules").c_str(), listed);
    for (const String& path : listed)
        libraries.push_back(fileNameOf(path.c_str()).c_str());
    ASSERT_EQ(libraries.size(), 2u);
    size_t from = alice->log.size();
    signedIn(*bob);
    const int probe = alice->expectLine("module probe contact-status " + bobId + " online", from);
    const int first =
        alice->expectLine("clickable-notice fixture " + libraries[0] + " contact-status " + bobId + " online", from);
    const int second =
        alice->expectLine("clickable-notice fixture " + libraries[1] + " contact-status " + bobId + " online", from);
    EXPECT_LT(probe, first);
    EXPECT_LT(first, second);
    const int bobProbe = bob->expectLine("module probe signed-in");
    const int bobFirst = bob->expectLine("clickable-notice fixture " + libraries[0] + " signed-in");
    const int bobSecond = bob->expectLine("clickable-notice fixture " + libraries[1] + " signed-in");
    EXPECT_LT(bobProbe, bobFirst);
    EXPECT_LT(bobFirst, bobSecond);

    // alice's alpha module acts on bob: its module and session messages reach bob's alpha
    // module, from alice, and no other module.
    from = bob->log.size();
    ASSERT_TRUE(alice->command("act alpha " + bobId));
    bob->expectLine("clickable-notice fixture alpha message " + aliceId + " hello from alpha", from);
    bob->expectLine("clickable-notice fixture alpha session " + aliceId + " fixture-session kept for you", from);
    // bob's module answers through its own host.
    ASSERT_TRUE(bob->command("send probe " + aliceId + " not for alpha"));
    alice->expectLine("module probe message " + bobId + " not for alpha");
    for (const std::string& line : bob->log.lines())
        EXPECT_EQ(line.find("fixture beta message"), std::string::npos) << line;

    // The system module's messages cross in their indented form and reach the handler of
    // their command; one that claims another sender is dropped.
    from = bob->log.size();
    ASSERT_TRUE(alice->command("system " + bobId + " ask_tcp_server_ip_port connection_id=10000 user_id=" + aliceId));
    bob->expectLine("system-command ASK_TCP_SERVER_IP_PORT " + aliceId + " command=ask_tcp_server_ip_port "
                    "connection_id=10000 user_id=" + aliceId, from);
    ASSERT_TRUE(alice->command("system " + bobId + " CONNECT_BACK connection_id=10001 user_id=999"));
    bob->expectLine("diagnostic system module: dropped a message whose user_id is not its sender's", from);

    // Signing out reaches the modules in list order too.
    from = bob->log.size();
    ASSERT_TRUE(bob->command("sign-out"));
    const int outProbe = bob->expectLine("module probe signed-out", from);
    const int outAlpha = bob->expectLine("clickable-notice fixture alpha signed-out", from);
    EXPECT_LT(outProbe, outAlpha);
}


TEST_F(ClientEndToEnd, ModulesOpenChannelsToEachOtherAndMoveAMebibyteEachWay)
{
    const std::string bobId = signUp("bob");
    const std::string aliceId = signUp("alice");
    auto alice = client("alice");
    auto bob = client("bob");
    signedIn(*alice);
    signedIn(*bob);
    ASSERT_TRUE(alice->command("add bob"));
    ASSERT_TRUE(bob->command("add alice"));
    alice->expectLine("notice bob\\nSigned In.");

    for (const char* kind : {"tcp", "udp"}) {
        SCOPED_TRACE(kind);
        size_t aliceFrom = alice->log.size();
        size_t bobFrom = bob->log.size();
        ASSERT_TRUE(alice->command(std::string("open ") + kind + " probe " + bobId));
        const int mine = channelNumber(*alice, "channel ", aliceFrom);
        ASSERT_GT(mine, 0) << alice->log.dump() << "bob:\n" << bob->log.dump();
        const int theirs = channelNumber(*bob, "channel ", bobFrom);
        ASSERT_GT(theirs, 0) << bob->log.dump();
        // On one machine the peer's local and external addresses are one: the first
        // direct attempt (or the direct probe) makes it.
        const std::string opened = alice->log.lines()[static_cast<size_t>(
            alice->log.waitUntil([mine](const std::string& l) { return l.rfind("channel " + std::to_string(mine) + " open", 0) == 0; },
                                 1000, aliceFrom))];
        EXPECT_NE(opened.find(std::string(" ") + kind + (std::string(kind) == "tcp" ? " direct-local-proxy" : " direct")),
                  std::string::npos)
            << opened;
        bob->expectLine("module probe connection " + aliceId, bobFrom);

        expectTransfer(*alice, mine, *bob, theirs, 1 << 20, 7);
        expectTransfer(*bob, theirs, *alice, mine, 1 << 20, 11);

        // Closing one end: the other sees a closed channel.
        aliceFrom = alice->log.size();
        bobFrom = bob->log.size();
        ASSERT_TRUE(bob->command("channel-close " + std::to_string(theirs)));
        bob->expectLine("channel " + std::to_string(theirs) + " closed-here", bobFrom);
        alice->expectLine("channel " + std::to_string(mine) + " closed", aliceFrom, 15000);
    }
}

TEST_F(ClientEndToEnd, ChangingDetailsKeepsANewPasswordOnlyWhenTheServerTookIt)
{
    signUp("alice", "old-pw");
    ClientFolders folders(serverUrl());
    folders.writeAccount("alice", "old-pw");
    TestClient client(folders);
    ASSERT_TRUE(client.start());
    ASSERT_GE(client.log.waitFor("module probe signed-in", 15000), 0) << server.log();
    client.ui.detailsConfirm = true;
    client.ui.details = {"alice", "new-pw", "Alice", "Liddell", "alice@example.org", "http://127.0.0.1/alice"};

    // Signed in: the server takes the change from the session's address.
    size_t mark = client.log.size();
    client.onUi([&] { client.app->changeDetails(); });
    EXPECT_GE(client.log.waitFor("notice Your details has been changed", 5000, mark), 0) << client.log.dump();
    EXPECT_GE(client.log.waitFor("status Details changed successfully", 5000, mark), 0);
    client.onUi([&] {
        EXPECT_STREQ(client.app->account().password.c_str(), "new-pw");
        EXPECT_STREQ(client.app->ownUser().lastName.c_str(), "Liddell");
    });
    EXPECT_NE(readBytes(folders.configHome + "/Orvane/account.ini").find(
                  AccountSettings::encodePassword("new-pw").c_str()),
              std::string::npos)
        << "saved";

    // Signed out: refused with the server's reason, and the stored password stays.
    mark = client.log.size();
    client.onUi([&] { client.app->signOut(); });
    ASSERT_GE(client.log.waitFor("module probe signed-out", 5000, mark), 0);
    client.ui.details.password = "third-pw";
    mark = client.log.size();
    client.onUi([&] { client.app->changeDetails(); });
    const int box = client.log.waitUntil([](const std::string& l) { return l.rfind("box information ", 0) == 0; },
                                         5000, mark);
    ASSERT_GE(box, 0) << client.log.dump();
    EXPECT_NE(client.log.lines()[static_cast<size_t>(box)], "box information ") << "the server's reason is shown";
    EXPECT_GE(client.log.waitFor("status Unable to change details", 5000, mark), 0) << client.log.dump();
    EXPECT_GE(client.log.waitFor("box information Sign in first to change your details.", 0, mark), 0);
    client.onUi([&] { EXPECT_STREQ(client.app->account().password.c_str(), "new-pw"); });

    // No endpoint at all.
    client.onUi([&] { client.app->config().serverUrl = "http://127.0.0.1:1/"; });
    mark = client.log.size();
    client.onUi([&] { client.app->changeDetails(); });
    EXPECT_GE(client.log.waitFor("box information Unable to change details. Try again!", 5000, mark), 0);
}
