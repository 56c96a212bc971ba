// A voice call across NATs: the server in the NAT lab's wan with its relays, alice behind
// a symmetric NAT and bob behind a cone, each a headless client with the voice module
// in its home's namespace. Their sound servers run outside the lab; the clients reach
// them through unix sockets, which the namespaces share with the file system. No direct
// path crosses a symmetric NAT, so the call's datagrams must go through the server's
// relay, and a tone must still be heard each way.

#include "tests/core/PeerLab.h"
#include "tests/voice/VoiceCallPeers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

using namespace orvane;
using namespace orvane::testing;
using Clock = std::chrono::steady_clock;

namespace {

class VoiceCallNat : public ::testing::Test, public PeerLab {
protected:
    // The clients quit before their sound servers go.
    void TearDown() override
    {
        bob.reset();
        alice.reset();
    }

    // A voice client in its home, on a sound server of its own, signed in.
    std::unique_ptr<HeadlessProcess> voiceClientAt(const std::string& name, std::unique_ptr<PulseServer>& sound)
    {
        sound = std::make_unique<PulseServer>();
        EXPECT_TRUE(sound->start());
        auto client = std::make_unique<HeadlessProcess>(url);
        client->folders.writeAccount(name, "pw-" + name);
        EXPECT_TRUE(startVoiceClient(*client, true, lab->launcher(lab->home(name).ns)));
        return client;
    }

    // alice and bob in their homes, each listing the other, both online.
    void startCallers()
    {
        alice = voiceClientAt("alice", aliceSound);
        bob = voiceClientAt("bob", bobSound);
        ASSERT_TRUE(alice->command("add bob"));
        ASSERT_TRUE(bob->command("add alice"));
        ASSERT_GE(alice->expectLine("notice bob\\nSigned In."), 0);
        ASSERT_GE(bob->expectLine("notice alice\\nSigned In."), 0);
    }

    std::unique_ptr<PulseServer> aliceSound, bobSound;
};

} // namespace

TEST_F(VoiceCallNat, FromBehindASymmetricNatTheCallGoesThroughTheRelayAndIsHeardBothWays)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=symmetric", "bob=cone"}));
    ASSERT_NO_FATAL_FAILURE(startCallers());

    const size_t bobFrom = bob->log.size();
    ASSERT_NO_FATAL_FAILURE(connectCallBetween({*alice, "alice", aliceId}, {*bob, "bob", bobId}));
    // bob's end of the channel is his link to the relay in the wan.
    const std::string relayed = "voice-channel udp relay " + lab->serverAddress() + ":";
    EXPECT_GE(bob->log.waitUntil([&relayed](const std::string& l) { return l.rfind(relayed, 0) == 0; }, 1000, bobFrom),
              0)
        << bob->log.dump();

    expectHeard(*aliceSound, *bobSound, 300, "alice to bob through the relay");
    expectHeard(*bobSound, *aliceSound, 450, "bob to alice through the relay");

    const size_t aliceFrom = alice->log.size();
    const size_t bobEnd = bob->log.size();
    ASSERT_TRUE(bob->command("hang-up"));
    EXPECT_GE(bob->expectLine("call-state Idle", bobEnd), 0);
    EXPECT_GE(alice->expectLine("call-state Idle", aliceFrom), 0);
    EXPECT_GE(alice->expectLine("call-label Call closed.", aliceFrom, CallWaitMs), 0);
}

TEST_F(VoiceCallNat, BetweenSymmetricNatsWithoutARelayTheAcceptedCallFailsOnBothSides)
{
    ASSERT_NO_FATAL_FAILURE(build({"alice=symmetric", "bob=symmetric"}, false));
    ASSERT_NO_FATAL_FAILURE(startCallers());

    const size_t aliceFrom = alice->log.size(), bobFrom = bob->log.size();
    ASSERT_TRUE(alice->command("talk " + bobId));
    ASSERT_GE(bob->expectLine("call-state Ringing", bobFrom), 0);
    ASSERT_TRUE(bob->command("talk " + aliceId));
    ASSERT_GE(alice->expectLine("call-state Connected", aliceFrom), 0);
    // No channel can be made: the caller's session fails, which ends the call on both sides.
    const Clock::time_point accepted = Clock::now();
    const int failed = alice->expectLine("call-label Call failed.", aliceFrom, 90000);
    ASSERT_GE(failed, 0);
    std::printf("[ measure  ] the call failed %.1f s after it was accepted\n",
                std::chrono::duration<double>(Clock::now() - accepted).count());
    EXPECT_GE(alice->expectLine("call-state Idle", aliceFrom), 0);
    EXPECT_GE(alice->expectLine("status Call closed.", aliceFrom), 0);
    EXPECT_GE(bob->expectLine("call-state Idle", bobFrom), 0);
    EXPECT_GE(bob->expectLine("status Call closed.", bobFrom), 0);
    EXPECT_EQ(bob->log.waitUntil([](const std::string& l) { return l.rfind("voice-channel ", 0) == 0; }, 0, bobFrom),
              -1);
    for (HeadlessProcess* side : {alice.get(), bob.get()})
        EXPECT_EQ(side->log.waitFor("call-label Connected.", 0, side == alice.get() ? aliceFrom : bobFrom), -1);
}
