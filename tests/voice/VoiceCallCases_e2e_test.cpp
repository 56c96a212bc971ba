// The ways a call between whole clients goes other than as planned: declined by either
// side, refused by a busy callee, placed to a contact who is offline, placed by both
// sides at once, and cut by the peer's or the server's disappearance. Each case reads the
// call states and texts the headless clients' call bars print.

#include "tests/support/ProcessCpu.h"
#include "tests/voice/VoiceCallPeers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

using VoiceCallCases = LoopbackCallTest;
using Clock = std::chrono::steady_clock;

// No line starting with `prefix` from `from` on.
bool noLineFrom(HeadlessProcess& client, const std::string& prefix, size_t from)
{
    const std::vector<std::string> lines = client.log.lines();
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0)
            return false;
    return true;
}

// The id that `client` lists `name` under ("contact ID NAME ...").
std::string contactIdOf(HeadlessProcess& client, const std::string& name)
{
    const size_t from = client.log.size();
    EXPECT_TRUE(client.command("contacts"));
    const std::vector<std::string> lines = client.log.lines();
    for (size_t i = from; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        char id[32] = {0}, listed[64] = {0};
        if (std::sscanf(line.c_str(), "contact %31s %63s", id, listed) == 2 && listed == name)
            return id;
    }
    return std::string();
}

} // namespace

TEST_F(VoiceCallCases, EitherSideDecliningARingingCallLeavesBothIdleAndTheOtherToldWhy)
{
    ASSERT_NO_FATAL_FAILURE(startTalkers());
    const struct {
        const char* who;
        bool calleeDeclines;
    } cases[] = {{"bob declines the ringing call", true}, {"alice cancels her call", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.who);
        const size_t aliceFrom = alice->log.size(), bobFrom = bob->log.size();
        ASSERT_TRUE(alice->command("talk " + bobId));
        ASSERT_GE(alice->expectLine("call-state Calling", aliceFrom), 0);
        ASSERT_GE(bob->expectLine("call-state Ringing", bobFrom), 0);
        ASSERT_GE(bob->expectLine("call-label Call from alice", bobFrom), 0);

        HeadlessProcess& decliner = c.calleeDeclines ? *bob : *alice;
        HeadlessProcess& told = c.calleeDeclines ? *alice : *bob;
        const std::string declinerName = c.calleeDeclines ? "bob" : "alice";
        const size_t declinerFrom = decliner.log.size(), toldFrom = told.log.size();
        ASSERT_TRUE(decliner.command("hang-up"));
        EXPECT_GE(decliner.expectLine("call-state Idle", declinerFrom), 0);
        EXPECT_GE(decliner.expectLine("status Call closed.", declinerFrom), 0);
        EXPECT_GE(decliner.expectLine("sound hang.wav", declinerFrom), 0);

        EXPECT_GE(told.expectLine("call-label " + declinerName + " declined your call.", toldFrom), 0);
        EXPECT_GE(told.expectLine("notice Call declined by\\n " + declinerName + "\\n\\nDo not want to talk.", toldFrom),
                  0);
        EXPECT_GE(told.expectLine("call-name ", toldFrom), 0);
        ASSERT_GE(told.expectLine("call-state Idle", toldFrom), 0);
    }
    // Both are free again: a new call connects.
    ASSERT_NO_FATAL_FAILURE(connectCall());
}

TEST_F(VoiceCallCases, ABusyCalleeRefusesASecondCallerAndItsCallGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(startTalkers());
    auto carol = voiceClient("carol", false);
    bob->expectLine("notice carol\\nSigned In.");
    ASSERT_NO_FATAL_FAILURE(connectCall());
    const std::pair<long, long> aliceBefore = voiceStats(*alice), bobBefore = voiceStats(*bob);

    const size_t aliceFrom = alice->log.size(), bobFrom = bob->log.size(), carolFrom = carol->log.size();
    // The server is held until carol's calling text is shown: bob's quick refusal would
    // otherwise replace it before her window came round to showing it.
    ASSERT_TRUE(stopProcess(server.pid()));
    const bool carolCalls = carol->command("talk " + bobId);
    EXPECT_GE(carol->expectLine("call-state Calling", carolFrom), 0);
    EXPECT_GE(carol->expectLine("status Calling bob ...", carolFrom), 0);
    ASSERT_EQ(::kill(server.pid(), SIGCONT), 0);
    ASSERT_TRUE(carolCalls);
    EXPECT_GE(carol->expectLine("call-label bob declined your call.", carolFrom), 0);
    EXPECT_GE(carol->expectLine("notice Call declined by\\n bob\\n\\nTalking at the moment", carolFrom), 0);
    const int carolIdle = carol->expectLine("call-state Idle", carolFrom);
    ASSERT_GE(carolIdle, 0);
    EXPECT_GE(carol->expectLine("status Call closed.", carolFrom), 0);
    EXPECT_GE(carol->expectLine("sound hang.wav", carolFrom), 0);

    // The running call is not disturbed: no state changes, audio keeps flowing both ways.
    EXPECT_TRUE(framesFlow(*alice, aliceBefore, 30)) << alice->log.dump();
    EXPECT_TRUE(framesFlow(*bob, bobBefore, 30)) << bob->log.dump();
    EXPECT_TRUE(noLineFrom(*bob, "call-", bobFrom)) << bob->log.dump();
    EXPECT_TRUE(noLineFrom(*alice, "call-", aliceFrom)) << alice->log.dump();
    expectHeard(*aliceSound, *bobSound, 300, "alice to bob after carol's try");
}

TEST_F(VoiceCallCases, CallingAnOfflineContactShowsTheBoxSendsNothingAndStaysIdle)
{
    ASSERT_NO_FATAL_FAILURE(startTalkers());
    const std::string carolId = contactIdOf(*alice, "carol");
    ASSERT_FALSE(carolId.empty()) << alice->log.dump();

    const size_t from = alice->log.size();
    ASSERT_TRUE(alice->command("talk " + carolId));
    EXPECT_GE(alice->expectLine("box plain You cannot request Audio session with carol\\nbecause he/she is offline.",
                                from),
              0);
    EXPECT_GE(alice->expectLine("call-state Idle", from), 0);
    // Nothing was placed: no calling text, no ring, no hang-up sound, no name shown.
    EXPECT_TRUE(noLineFrom(*alice, "status Calling", from)) << alice->log.dump();
    EXPECT_TRUE(noLineFrom(*alice, "sound ", from)) << alice->log.dump();
    EXPECT_TRUE(noLineFrom(*alice, "call-name carol", from)) << alice->log.dump();

    // Carol, signing in afterwards, finds no call waiting; alice can call bob at once.
    auto carol = voiceClient("carol", false);
    ASSERT_NO_FATAL_FAILURE(connectCall());
    EXPECT_TRUE(noLineFrom(*carol, "call-state Ringing", 0)) << carol->log.dump();
}

TEST_F(VoiceCallCases, TwoUsersCallingEachOtherAtOnceBothEndIdleEachToldTheOtherIsBusy)
{
    ASSERT_NO_FATAL_FAILURE(startTalkers());
    bob->expectLine("notice alice\\nSigned In.");
    // The server is held while both place their calls, so that each request finds the
    // other side already calling.
    ASSERT_TRUE(stopProcess(server.pid()));
    const size_t aliceFrom = alice->log.size(), bobFrom = bob->log.size();
    const bool aliceCalls = alice->command("talk " + bobId);
    const bool bobCalls = bob->command("talk " + aliceId);
    ASSERT_EQ(::kill(server.pid(), SIGCONT), 0);
    ASSERT_TRUE(aliceCalls);
    ASSERT_TRUE(bobCalls);
    EXPECT_GE(alice->expectLine("status Calling bob ...", aliceFrom), 0);
    EXPECT_GE(bob->expectLine("status Calling alice ...", bobFrom), 0);

    const struct {
        HeadlessProcess& client;
        const char* other;
        size_t from;
    } sides[] = {{*alice, "bob", aliceFrom}, {*bob, "alice", bobFrom}};
    for (const auto& side : sides) {
        SCOPED_TRACE(side.other);
        const std::string other = side.other;
        EXPECT_GE(side.client.expectLine("call-label " + other + " declined your call.", side.from), 0);
        EXPECT_GE(side.client.expectLine("notice Call declined by\\n " + other + "\\n\\nTalking at the moment",
                                         side.from),
                  0);
        EXPECT_GE(side.client.expectLine("call-state Idle", side.from), 0);
        EXPECT_TRUE(noLineFrom(side.client, "call-state Ringing", side.from)) << side.client.log.dump();
        EXPECT_TRUE(noLineFrom(side.client, "call-state Connected", side.from)) << side.client.log.dump();
    }
    // Neither is left half in a call: a call placed now connects.
    ASSERT_NO_FATAL_FAILURE(connectCall());
}

TEST_F(VoiceCallCases, APeerThatDisappearsMidCallEndsTheCallOnTheOtherSide)
{
    ASSERT_NO_FATAL_FAILURE(startTalkers());
    ASSERT_NO_FATAL_FAILURE(connectCall());
    ASSERT_TRUE(framesFlow(*alice, voiceStats(*alice), 10));

    const size_t from = alice->log.size();
    const Clock::time_point killed = Clock::now();
    bob->kill();
    EXPECT_GE(alice->expectLine("notice bob\\nSigned Out.", from), 0);
    EXPECT_GE(alice->expectLine("call-state Idle", from), 0);
    EXPECT_GE(alice->expectLine("status Call closed.", from), 0);
    EXPECT_GE(alice->expectLine("sound hang.wav", from), 0);
    // The session thread's talk loop has ended.
    ASSERT_GE(alice->expectLine("call-label Call closed.", from), 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - killed).count();
    std::printf("[ measure  ] call ended %.2f s after the peer's process was killed\n", seconds);
    EXPECT_LT(seconds, 10);
    EXPECT_TRUE(noLineFrom(*alice, "call-label Call failed.", from)) << alice->log.dump();
    // Nothing is sent or played any more.
    EXPECT_TRUE(framesStill(*alice));
}

TEST_F(VoiceCallCases, TheServerDisappearingMidCallSignsBothOutAndEndsTheCall)
{
    ASSERT_NO_FATAL_FAILURE(startTalkers());
    ASSERT_NO_FATAL_FAILURE(connectCall());
    ASSERT_TRUE(framesFlow(*alice, voiceStats(*alice), 10));

    const size_t aliceFrom = alice->log.size(), bobFrom = bob->log.size();
    const Clock::time_point killed = Clock::now();
    ASSERT_EQ(::kill(server.pid(), SIGKILL), 0);
    for (HeadlessProcess* side : {alice.get(), bob.get()}) {
        const size_t from = side == alice.get() ? aliceFrom : bobFrom;
        EXPECT_GE(side->expectLine("notice Connection to server has been lost.", from), 0);
        EXPECT_GE(side->expectLine("call-state Unavailable", from), 0);
        EXPECT_GE(side->expectLine("sound hang.wav", from), 0);
        // The call's "Call closed." status is overtaken by the sign-out's own before it
        // shows; the label tells of the call's end once the talk loop has stopped.
        EXPECT_GE(side->expectLine("status Offline.", from), 0);
        EXPECT_GE(side->expectLine("call-label Call closed.", from), 0);
        EXPECT_TRUE(noLineFrom(*side, "call-state Idle", from)) << side->log.dump();
    }
    std::printf("[ measure  ] both calls ended %.2f s after the server was killed\n",
                std::chrono::duration<double>(Clock::now() - killed).count());
    // The audio stops with the call on both sides.
    EXPECT_TRUE(framesStill(*alice));
    EXPECT_TRUE(framesStill(*bob));
}
