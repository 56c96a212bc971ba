// The command line of orvane-server.

#include "server/OrvaneServer.h"
#include "server/ServerOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvane;

namespace {

bool parse(std::vector<const char*> args, ServerSettings& settings, String& error)
{
    args.insert(args.begin(), "orvane-server");
    bool help = false;
    return parseServerOptions(static_cast<int>(args.size()), args.data(), settings, help, error);
}

TEST(ServerOptions, DefaultsListenOnLoopback)
{
    ServerSettings s;
    String error;
    ASSERT_TRUE(parse({}, s, error));
    EXPECT_EQ(s.httpAddress.getHostAddress(), String("127.0.0.1"));
    EXPECT_EQ(s.httpAddress.getPort(), ServerSettings::DefaultHttpPort);
    EXPECT_EQ(s.messageAddress.getHostAddress(), String("127.0.0.1"));
    EXPECT_EQ(s.messageAddress.getPort(), ServerSettings::DefaultMessagePort);
    EXPECT_TRUE(s.databasePath.isEmpty());
}

TEST(ServerOptions, ValuesAreTaken)
{
    ServerSettings s;
    String error;
    ASSERT_TRUE(parse({"--http", "127.0.0.2:0", "--message", ":9000", "--database", "/tmp/x.db", "--external-address",
                       "192.0.2.1", "--advertise-host", "chat.example", "--hash-cost", "1", "--max-connections", "7",
                       "--max-sessions-per-user", "3", "--sign-in-timeout", "500", "--password-workers", "2",
                       "--max-http-connections", "9", "--max-waiting-per-address", "5", "--hashes-per-address", "6"},
                      s, error))
        << error.c_str();
    EXPECT_EQ(s.httpAddress.getHostAddress(), String("127.0.0.2"));
    EXPECT_EQ(s.httpAddress.getPort(), 0);
    EXPECT_EQ(s.messageAddress.getHostAddress(), String("127.0.0.1"));
    EXPECT_EQ(s.messageAddress.getPort(), 9000);
    EXPECT_EQ(s.databasePath, String("/tmp/x.db"));
    EXPECT_EQ(s.externalAddress, String("192.0.2.1"));
    EXPECT_EQ(s.advertisedHost, String("chat.example"));
    EXPECT_EQ(s.passwordHashCost, 1);
    EXPECT_EQ(s.maxMessageConnections, 7);
    EXPECT_EQ(s.maxSessionsPerUser, 3);
    EXPECT_EQ(s.signInTimeoutMs, 500);
    EXPECT_EQ(s.passwordWorkers, 2);
    EXPECT_EQ(s.maxHttpConnections, 9);
    EXPECT_EQ(s.maxWaitingPerAddress, 5);
    EXPECT_EQ(s.maxHashesWaitingPerAddress, 6);
    ASSERT_TRUE(parse({"--in-memory"}, s, error));
    EXPECT_TRUE(s.databasePath.isEmpty());
}

TEST(ServerOptions, BadValuesAreRefused)
{
    const std::vector<std::vector<const char*>> cases = {
        {"--http"},
        {"--http", "127.0.0.1:70000"},
        {"--http", "127.0.0.1:12x"},
        {"--external-address", "example.org"},
        {"--advertise-host", "a b"},
        {"--advertise-host", "host:1"},
        {"--hash-cost", "12"},
        {"--hash-cost", "0"},
        {"--max-connections", "-1"},
        {"--password-workers", "0"},
        {"--max-waiting-per-address", "0"},
        {"--hashes-per-address", "0"},
        {"--database", ""},
        {"--verbose"},
        {"--relay", "127.0.0.1:70000"},
        {"--relay"},
        {"--relay-join-timeout", "0"},
        {"--relay-udp-idle", "5s"},
        {"--max-relay-sessions", "0"},
        {"--max-relay-sessions-per-user", "-2"},
        {"--account", "alice"},
        {"--account", ":secret"},
        {"--account", "alice:"},
    };
    for (const auto& c : cases) {
        ServerSettings s;
        String error;
        EXPECT_FALSE(parse(c, s, error)) << c[0];
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(ServerOptions, TheRelayIsOffUnlessAskedForAndTakesItsBounds)
{
    ServerSettings s;
    String error;
    ASSERT_TRUE(parse({}, s, error));
    EXPECT_FALSE(s.relayEnabled);
    EXPECT_EQ(s.relayJoinTimeoutMs, 60000);
    EXPECT_EQ(s.relayUdpIdleTimeoutMs, 120000);
    ASSERT_TRUE(parse({"--relay", "127.0.0.3:0", "--relay-join-timeout", "250", "--relay-udp-idle", "500",
                       "--max-relay-sessions", "9", "--max-relay-sessions-per-user", "2"},
                      s, error))
        << error.c_str();
    EXPECT_TRUE(s.relayEnabled);
    EXPECT_EQ(s.relayAddress.getHostAddress(), String("127.0.0.3"));
    EXPECT_EQ(s.relayAddress.getPort(), 0);
    EXPECT_EQ(s.relayJoinTimeoutMs, 250);
    EXPECT_EQ(s.relayUdpIdleTimeoutMs, 500);
    EXPECT_EQ(s.maxRelaySessions, 9);
    EXPECT_EQ(s.maxRelaySessionsPerUser, 2);
    // A port alone keeps the loopback address.
    ServerSettings other;
    ASSERT_TRUE(parse({"--relay", ":9100"}, other, error));
    EXPECT_EQ(other.relayAddress.getHostAddress(), String("127.0.0.1"));
    EXPECT_EQ(other.relayAddress.getPort(), 9100);
}

TEST(ServerOptions, TheListeningLineNamesTheRelayAtItsEnd)
{
    SocketAddress http, message, relay;
    http.setHost("127.0.0.1", 8470);
    message.setHost("127.0.0.1", 41234);
    relay.setHost("0.0.0.0", 8472);
    EXPECT_EQ(listeningLine(http, message, &relay),
              String("LISTENING http=127.0.0.1:8470 message=127.0.0.1:41234 relay=0.0.0.0:8472"));
}

TEST(ServerOptions, TheListeningLine)
{
    SocketAddress http, message;
    http.setHost("127.0.0.1", 8470);
    message.setHost("127.0.0.1", 41234);
    EXPECT_EQ(listeningLine(http, message), String("LISTENING http=127.0.0.1:8470 message=127.0.0.1:41234"));
}

} // namespace

TEST(ServerOptions, DemoAccountsAreMadeOnceAndListEachOther)
{
    ServerSettings s;
    String error;
    ASSERT_TRUE(parse({"--account", "alice:wonder:land", "--account", "bob:builder"}, s, error));
    ASSERT_EQ(s.demoAccounts.size(), 2u);
    EXPECT_STREQ(s.demoAccounts[0].second.c_str(), "wonder:land") << "the password is all after the first colon";

    AccountStore store("", 1);
    makeDemoAccounts(store, s.demoAccounts);
    // Again, as at every start on the same database: nothing new, the passwords kept.
    makeDemoAccounts(store, {{"alice", "other"}, {"bob", "builder"}});
    AccountRecord alice, bob;
    ASSERT_TRUE(store.checkPassword("alice", "wonder:land", &alice));
    ASSERT_TRUE(store.checkPassword("bob", "builder", &bob));
    for (const auto& [owner, contact] : {std::pair{alice.id, bob.id}, std::pair{bob.id, alice.id}}) {
        Array<AccountRecord> list;
        store.listContacts(owner, list);
        ASSERT_EQ(list.count(), 1);
        EXPECT_EQ(list[0].id, contact);
    }
}
