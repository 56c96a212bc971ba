// The mouth-to-ear delay of a call, both ways at once, measured on one clock (CallDelayLab):
// two headless clients with the voice module on one PulseAudio server, each microphone
// given speech-like sound, each half second found again in the other side's speaker.
//
// The bounds are what the design guarantees, not what a quiet machine reaches: a sanitised
// build on a loaded two-core machine has its threads come late, and each lateness may cost
// a gap, but never a delay that stays. The output starts from a short lead and drops frames
// above its bound, the capture drops a backlog beyond a buffer: so the delay of the call's
// end is no higher than that of its start, and it stays far below what a queue that only
// grows reaches within seconds. `make bench` (bench/voice_call_bench.cpp) holds the figures
// of a five-minute call in the release build.

#include "tests/voice/CallDelayLab.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace orvane::testing;

namespace {

constexpr double TalkSeconds = 20;

void print(const char* way, const std::vector<std::pair<double, double>>& windows, int lost)
{
    std::printf("[ measure  ] %s: %zu windows, p50 %.1f ms, p95 %.1f ms, first 5 s %.1f ms, last 5 s %.1f ms, "
                "%d not found\n",
                way, windows.size(), CallDelayLab::quantile(windows, 0.5), CallDelayLab::quantile(windows, 0.95),
                CallDelayLab::quantile(windows, 0.5, 0, 5), CallDelayLab::quantile(windows, 0.5, TalkSeconds - 5),
                lost);
}

} // namespace

TEST(VoiceDelay, SoundTakesLittleTimeFromOneMicrophoneToTheOtherSpeakerAndTheDelayNeverGrows)
{
    CallDelayLab lab;
    ASSERT_TRUE(lab.start());
    ASSERT_TRUE(lab.connectCall());
    const CallDelayLab::Talk t = lab.talk(TalkSeconds);
    print("alice to bob", t.aliceToBob, t.lostAliceToBob);
    print("bob to alice", t.bobToAlice, t.lostBobToAlice);
    std::printf("[ measure  ] datagrams per second: alice %.1f, bob %.1f; CPU: alice %.1f %%, bob %.1f %%; "
                "frames trimmed at the output: alice %ld, bob %ld; capture buffers skipped: alice %ld, bob %ld\n",
                t.aliceRate, t.bobRate, t.aliceCpu, t.bobCpu, t.aliceAfter.trimmed - t.aliceBefore.trimmed,
                t.bobAfter.trimmed - t.bobBefore.trimmed, t.aliceAfter.skipped - t.aliceBefore.skipped,
                t.bobAfter.skipped - t.bobBefore.skipped);

    for (const auto* way : {&t.aliceToBob, &t.bobToAlice}) {
        SCOPED_TRACE(way == &t.aliceToBob ? "alice to bob" : "bob to alice");
        // Most of the sound arrives and is found (a gap costs a window now and then).
        ASSERT_GE(way->size(), static_cast<size_t>(TalkSeconds));
        const double p50 = CallDelayLab::quantile(*way, 0.5);
        EXPECT_GT(p50, 0);
        // Capture (30 ms frames), the output's lead and its bound of queued sound, and the
        // sound server's own buffers: well under 200 ms even when threads come late.
        EXPECT_LT(p50, 200);
        EXPECT_LT(CallDelayLab::quantile(*way, 0.95), 300);
        // Never growing: the last seconds are no later than the first ones, give or take a
        // frame and a bounded queue.
        const double first = CallDelayLab::quantile(*way, 0.5, 0, 5);
        const double last = CallDelayLab::quantile(*way, 0.5, TalkSeconds - 5);
        ASSERT_GT(first, 0);
        ASSERT_GT(last, 0);
        EXPECT_LE(last, first + 60);
    }
    // 30 ms frames: 33.3 a second each way, from the first call on.
    EXPECT_GT(t.aliceRate, 28);
    EXPECT_LT(t.aliceRate, 38);
    EXPECT_GT(t.bobRate, 28);
    EXPECT_LT(t.bobRate, 38);

    ASSERT_TRUE(lab.hangUp());
}
