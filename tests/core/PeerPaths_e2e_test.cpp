// Peer channels across real NATs: the stand-in server in a wan namespace, two headless
// clients in homes behind NATs of a given kind (or on one LAN), each home's network built
// and removed by the NAT lab. For every arrangement the test asserts which path the
// channel took and moves a mebibyte each way through it, checksummed.

#include "tests/core/PeerLab.h"
#include "tests/network/ProxyPeers.h"
#include "tests/support/NatLab.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

class PeerPaths : public ::testing::Test, public PeerLab {
protected:
    void throughEachProxy(const std::string& bobSettings, const std::string& path);
};

} // namespace

TEST_F(PeerPaths, OnOneLanTheChannelsGoStraightToTheLocalAddress)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=cone", "bob=lan:alice"}));
    ASSERT_NO_FATAL_FAILURE(signIn());
    const std::string bobLocal = lab->home("bob").address;
    EXPECT_NE(openAndFill("tcp", "direct-local").find(" " + bobLocal + ":"), std::string::npos);
    // The datagrams go where bob's handshake came from: his local endpoint.
    EXPECT_NE(openAndFill("udp", "direct").find(" " + bobLocal + ":"), std::string::npos);

    // bob goes away in the middle of a transfer: alice sees a closed channel, not a hang.
    const size_t from = alice->log.size();
    ASSERT_TRUE(alice->command("channel-send " + std::to_string(lastMine) + " 50000000 9"));
    bob->kill();
    alice->expectLine("channel " + std::to_string(lastMine) + " closed", from, 60000);
}

TEST_F(PeerPaths, APeerReachableAtItsForwardedPortIsConnectedThere)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=cone", "bob=forward:4000"}));
    ASSERT_NO_FATAL_FAILURE(signIn("", manualSettings("bob")));
    const std::string bobExternal = lab->home("bob").natWanAddress + ":4000";
    EXPECT_NE(openAndFill("tcp", "direct-external").find(" " + bobExternal), std::string::npos);
    EXPECT_NE(openAndFill("udp", "direct").find(" " + bobExternal), std::string::npos);
}

TEST_F(PeerPaths, AnOpenerReachableFromOutsideIsConnectedBack)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=forward:4000", "bob=cone"}));
    ASSERT_NO_FATAL_FAILURE(signIn(manualSettings("alice"), ""));
    openAndFill("tcp", "connect-back");
    openAndFill("udp", "direct");
}

TEST_F(PeerPaths, APeerBehindAGatewayWithUpnpMapsItsPortsAndIsConnectedThere)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=cone", "bob=upnp"}));
    ASSERT_NO_FATAL_FAILURE(signIn());
    // bob's port mapper finds the gateway and advertises the mapped ports.
    std::string advertised;
    for (int i = 0; i < 100 && advertised.find(" manual") == std::string::npos; ++i) {
        advertised = whoami(*bob);
        if (advertised.find(" manual") == std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(advertised.find("advertised " + lab->home("bob").natWanAddress + ":"), std::string::npos) << advertised;
    ASSERT_NE(advertised.find(" manual"), std::string::npos) << advertised << "\n" << lab->miniupnpdLog("bob");
    openAndFill("tcp", "direct-external");
    openAndFill("udp", "direct");
}

// squid and dante in alice's home, on its loopback; alice signs in through each in turn
// and opens a TCP channel, which must take `path` with her end at the proxy.
void PeerPaths::throughEachProxy(const std::string& bobSettings, const std::string& path)
{
    std::unique_ptr<SquidPeer> squid;
    std::unique_ptr<DantePeer> dante;
    {
        NamespaceScope home;
        ASSERT_TRUE(home.enterNamed(lab->home("alice").ns));
        squid = std::make_unique<SquidPeer>(SquidPeer::Auth::None);
        ASSERT_NO_FATAL_FAILURE(squid->start());
        dante = std::make_unique<DantePeer>(1, lab->home("alice").address);
        ASSERT_NO_FATAL_FAILURE(dante->start());
    }
    const struct {
        const char* name;
        uint16_t port;
        int type;
    } proxies[] = {{"squid", squid->port(), 1}, {"dante", dante->port(), 3}};
    for (const auto& proxy : proxies) {
        SCOPED_TRACE(proxy.name);
        alice.reset();
        bob.reset();
        ASSERT_NO_FATAL_FAILURE(signIn("<proxy_host>127.0.0.1</proxy_host><proxy_port>" + std::to_string(proxy.port) +
                                           "</proxy_port><proxy_type>" + std::to_string(proxy.type) + "</proxy_type>",
                                       bobSettings));
        EXPECT_NE(openAndFill("tcp", path).find(" 127.0.0.1:" + std::to_string(proxy.port)), std::string::npos);
    }
}

TEST_F(PeerPaths, TheDirectAttemptsGoThroughTheConfiguredProxy)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=cone", "bob=forward:4000"}));
    throughEachProxy(manualSettings("bob"), "direct-external");
}

TEST_F(PeerPaths, TheRelayIsJoinedThroughTheConfiguredProxy)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=symmetric", "bob=symmetric"}));
    throughEachProxy("", "relay");
}

TEST_F(PeerPaths, BehindSymmetricNatsTheChannelsGoThroughTheServersRelays)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=symmetric", "bob=symmetric"}));
    ASSERT_NO_FATAL_FAILURE(signIn());
    // Each side's end of a relayed channel is its link to the relay in the wan.
    const std::string relay = " " + lab->serverAddress() + ":";
    EXPECT_NE(openAndFill("tcp", "relay").find(relay), std::string::npos);
    // bob closes the relayed stream: alice's end sees it closed.
    size_t from = alice->log.size();
    ASSERT_TRUE(bob->command("channel-close " + std::to_string(lastTheirs)));
    alice->expectLine("channel " + std::to_string(lastMine) + " closed", from, 30000);

    EXPECT_NE(openAndFill("udp", "relay").find(relay), std::string::npos);
    // bob disappears in the middle of a relayed transfer: alice sees a closed channel.
    from = alice->log.size();
    ASSERT_TRUE(alice->command("channel-send " + std::to_string(lastMine) + " 50000000 9"));
    bob->kill();
    alice->expectLine("channel " + std::to_string(lastMine) + " closed", from, 60000);
}
