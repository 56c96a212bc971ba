// A call as a new user makes it, measured: two headless clients with the voice module in a
// call through one PulseAudio server (tests/voice/CallDelayLab.h), both talking at once.
//
// Mouth-to-ear delay, each way: speech-like sound is played into each microphone; every
// half second of it is found again in the other side's speaker by the lag of the best
// cross-correlation, on one recording of both (so one clock). Reported: p50 and p95 over
// the call, and p50 of the first and of the last minute (the delay must not grow). Aims:
// p50 at most 80 ms, p95 at most 120 ms, the last minute no later than the first.
//
// Datagrams per second each way (30 ms frames: 33.3) in the program's first call and in a
// later one, and the CPU of each side (user and system time of the whole client process
// from /proc, in percent of one core) over each call.
//
// ORVANE_BENCH_CALL_SECONDS sets the first call's length (default 300, five minutes); the
// later call lasts 30 s, or the first's length when that is shorter.

#include "tests/voice/CallDelayLab.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

using namespace orvane::testing;

namespace {

double callSeconds()
{
    const char* text = std::getenv("ORVANE_BENCH_CALL_SECONDS");
    const double seconds = text ? std::atof(text) : 0;
    return seconds >= 10 ? seconds : 300;
}

void describe(const char* way, const std::vector<std::pair<double, double>>& w, int lost, double seconds)
{
    const double minute = seconds >= 120 ? 60 : seconds / 2;
    std::printf("  %s: %zu windows (%d not found); p50 %.1f ms, p95 %.1f ms, max %.1f ms; "
                "first %.0f s p50 %.1f ms, last %.0f s p50 %.1f ms\n",
                way, w.size(), lost, CallDelayLab::quantile(w, 0.5), CallDelayLab::quantile(w, 0.95),
                CallDelayLab::quantile(w, 1.0), minute, CallDelayLab::quantile(w, 0.5, 0, minute), minute,
                CallDelayLab::quantile(w, 0.5, seconds - minute));
}

void describeSides(const char* call, const CallDelayLab::Talk& t)
{
    std::printf("  %s: %.1f s; datagrams/s alice->bob %.2f, bob->alice %.2f; CPU alice %.1f %%, bob %.1f %%; "
                "output frames trimmed alice %ld bob %ld; capture buffers skipped alice %ld bob %ld\n",
                call, t.seconds, t.aliceRate, t.bobRate, t.aliceCpu, t.bobCpu,
                t.aliceAfter.trimmed - t.aliceBefore.trimmed, t.bobAfter.trimmed - t.bobBefore.trimmed,
                t.aliceAfter.skipped - t.aliceBefore.skipped, t.bobAfter.skipped - t.bobBefore.skipped);
}

void VoiceCall(benchmark::State& state)
{
    const double seconds = callSeconds();
    const double laterSeconds = seconds < 30 ? seconds : 30;
    for (auto _ : state) {
        CallDelayLab lab;
        if (!lab.start() || !lab.connectCall()) {
            state.SkipWithError("the call could not be set up");
            return;
        }
        const CallDelayLab::Talk first = lab.talk(seconds, 1);
        if (!lab.hangUp() || !lab.connectCall()) {
            state.SkipWithError("the second call could not be set up");
            return;
        }
        const CallDelayLab::Talk later = lab.talk(laterSeconds, 2);
        lab.hangUp();

        std::printf("\nvoice call, %.0f s, then a later call of %.0f s:\n", seconds, laterSeconds);
        describe("alice->bob", first.aliceToBob, first.lostAliceToBob, first.seconds);
        describe("bob->alice", first.bobToAlice, first.lostBobToAlice, first.seconds);
        describeSides("first call", first);
        describeSides("later call", later);
        const double minute = first.seconds >= 120 ? 60 : first.seconds / 2;
        auto& c = state.counters;
        c["ab_p50_ms"] = CallDelayLab::quantile(first.aliceToBob, 0.5);
        c["ab_p95_ms"] = CallDelayLab::quantile(first.aliceToBob, 0.95);
        c["ab_first_min_ms"] = CallDelayLab::quantile(first.aliceToBob, 0.5, 0, minute);
        c["ab_last_min_ms"] = CallDelayLab::quantile(first.aliceToBob, 0.5, first.seconds - minute);
        c["ba_p50_ms"] = CallDelayLab::quantile(first.bobToAlice, 0.5);
        c["ba_p95_ms"] = CallDelayLab::quantile(first.bobToAlice, 0.95);
        c["ba_first_min_ms"] = CallDelayLab::quantile(first.bobToAlice, 0.5, 0, minute);
        c["ba_last_min_ms"] = CallDelayLab::quantile(first.bobToAlice, 0.5, first.seconds - minute);
        c["dgram_s_first_ab"] = first.aliceRate;
        c["dgram_s_first_ba"] = first.bobRate;
        c["dgram_s_later_ab"] = later.aliceRate;
        c["dgram_s_later_ba"] = later.bobRate;
        c["cpu_pct_alice"] = first.aliceCpu;
        c["cpu_pct_bob"] = first.bobCpu;
    }
}

} // namespace

BENCHMARK(VoiceCall)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
