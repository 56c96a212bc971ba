// Voice calls between whole clients: orvane-headless processes with the voice module,
// signed in to the real server on loopback, each playing and recording through a
// PulseAudio server of its own (null sinks: what the test plays into one side's
// microphone must come out of the other side's speaker). The calls are placed, rung,
// accepted, declined and ended through the call bar's commands, and the call states and
// texts are read from the clients' lines.

#include "tests/support/ProcessCpu.h"
#include "tests/voice/VoiceCallPeers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

using Clock = std::chrono::steady_clock;

using VoiceCall = LoopbackCallTest;

} // namespace

TEST_F(VoiceCall, ACallRingsIsAcceptedCarriesSoundBothWaysAndEndsFromEitherSide)
{
    ASSERT_NO_FATAL_FAILURE(startTalkers());
    for (bool aliceHangsUp : {false, true}) {
        SCOPED_TRACE(aliceHangsUp ? "alice hangs up" : "bob hangs up");
        ASSERT_NO_FATAL_FAILURE(connectCall());

        const double aliceCpu = cpuSeconds(alice->pid()), bobCpu = cpuSeconds(bob->pid());
        const std::pair<long, long> aliceBefore = voiceStats(*alice), bobBefore = voiceStats(*bob);
        const Clock::time_point from = Clock::now();
        expectHeard(*aliceSound, *bobSound, 300, "alice to bob");
        expectHeard(*bobSound, *aliceSound, 450, "bob to alice");
        const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
        const std::pair<long, long> aliceAfter = voiceStats(*alice), bobAfter = voiceStats(*bob);
        const double aliceRate = (aliceAfter.first - aliceBefore.first) / seconds;
        const double bobRate = (bobAfter.first - bobBefore.first) / seconds;
        std::printf("[ measure  ] datagrams per second: alice to bob %.1f, bob to alice %.1f; CPU per call side: "
                    "alice %.0f %%, bob %.0f %% (AddressSanitizer build)\n",
                    aliceRate, bobRate, 100 * (cpuSeconds(alice->pid()) - aliceCpu) / seconds,
                    100 * (cpuSeconds(bob->pid()) - bobCpu) / seconds);
        // 30 ms frames: at most about 33 a second each way, each one played on the other side.
        EXPECT_GT(aliceRate, 20);
        EXPECT_GT(bobRate, 20);
        EXPECT_GT(bobAfter.second - bobBefore.second, 0);
        EXPECT_GT(aliceAfter.second - aliceBefore.second, 0);

        HeadlessProcess& ender = aliceHangsUp ? *alice : *bob;
        HeadlessProcess& other = aliceHangsUp ? *bob : *alice;
        const size_t enderFrom = ender.log.size(), otherFrom = other.log.size();
        ASSERT_TRUE(ender.command("hang-up"));
        ASSERT_GE(ender.expectLine("call-state Idle", enderFrom), 0);
        ASSERT_GE(ender.expectLine("status Call closed.", enderFrom), 0);
        ASSERT_GE(other.expectLine("call-state Idle", otherFrom), 0);
        ASSERT_GE(other.expectLine("call-label Call closed.", otherFrom, CallWaitMs), 0);
    }
}
