#pragma once

// A call between two headless clients whose delay is measured on one clock, for as long
// as the caller wants: both ends share ONE PulseAudio server whose devices are all
// channels of a single four-channel null sink ("probe"). Alice's microphone is the probe's
// front-left channel (what the lab plays into "feedA"), bob's speaker its front-right;
// bob's microphone the rear-left ("feedB"), alice's speaker the rear-right. One recording
// of the probe's monitor then holds, sample for sample, what a microphone was given and
// what the other side's speaker played: the delay is the shift between two channels of one
// stream, with no recorder start times in it.
//
// Both microphones are given speech-like sound at once (chirped syllables of changing
// pitch and length with pauses, a different sequence each way, so that no window matches
// another). Every half second of a microphone's sound that is not a pause is looked for in
// the other side's speaker: the lag of the best cross-correlation, from 0 to MaxLagMs, is
// that window's mouth-to-ear delay. The figure covers the clients' capture, coding, the
// datagrams on loopback, the receiving side's queue and its output in the sound server;
// not what a sound card adds beyond the server.
//
// Used by the short delay test and by the call benchmark; needs GoogleTest (its helpers
// report through it).

#include "tests/core/EndToEndSupport.h"
#include "tests/core/HeadlessProcess.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/ProcessCpu.h"
#include "tests/support/PulseServer.h"
#include "tests/voice/SoundSignals.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testing {

class CallDelayLab {
    static std::string probeDevices();

    // Declared first, gone last: the clients end while their sound server still runs.
    // The keeper listens to the whole probe, whose channels every microphone hears.
    PulseServer sound{probeDevices(), "", "probe.monitor"};
    ServerProcess server;

public:
    static constexpr int Rate = 8000;
    static constexpr int WindowSamples = Rate / 2;
    static constexpr int MaxLagMs = 500;
    static constexpr int CallWaitMs = 20000;

    // What a client's "voice-stats" says.
    struct Stats {
        long sent = -1, played = -1, refused = -1, trimmed = -1, skipped = -1;
    };

    // One stretch of talking, both ways at once.
    struct Talk {
        double seconds = 0;
        // Per half-second window of sound: its start (seconds from the stretch's start) and
        // delay in milliseconds; windows whose sound was not found are counted apart.
        std::vector<std::pair<double, double>> aliceToBob, bobToAlice;
        int lostAliceToBob = 0, lostBobToAlice = 0;
        // Datagrams sent per second by each side, and each side's CPU (percent of one core).
        double aliceRate = 0, bobRate = 0, aliceCpu = 0, bobCpu = 0;
        Stats aliceBefore, aliceAfter, bobBefore, bobAfter;
    };

    // Alice's capture and output devices (ORVANE_AUDIO_INPUT, ORVANE_AUDIO_DEVICE) in place
    // of the probe's, when not empty; set before start.
    std::string aliceInput, aliceOutput;

    bool start()
    {
        if (!sound.start())
            return false;
        if (!server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost", "1",
                           "--account", "alice:alice-pw", "--account", "bob:bob-pw"}))
            return false;
        const std::string url = "http://127.0.0.1:" + std::to_string(server.httpPort()) + "/";
        alice = voiceClient(url, "alice", "speakerA", "micA", aliceInput, aliceOutput);
        bob = voiceClient(url, "bob", "speakerB", "micB", "", "");
        if (!alice || !bob)
            return false;
        aliceId = ownIdOf(*alice);
        bobId = ownIdOf(*bob);
        return alice->expectLine("notice bob\\nSigned In.") >= 0;
    }

    // Alice calls, bob answers; true once both say the call is connected.
    bool connectCall()
    {
        const size_t aliceFrom = alice->log.size(), bobFrom = bob->log.size();
        if (!alice->command("talk " + bobId) || bob->expectLine("call-state Ringing", bobFrom) < 0 ||
            !bob->command("talk " + aliceId))
            return false;
        return alice->expectLine("call-label Connected.", aliceFrom, CallWaitMs) >= 0 &&
               bob->expectLine("call-label Connected.", bobFrom, CallWaitMs) >= 0;
    }

    // Alice hangs up; true once both are idle again.
    bool hangUp()
    {
        const size_t aliceFrom = alice->log.size(), bobFrom = bob->log.size();
        return alice->command("hang-up") && alice->expectLine("call-state Idle", aliceFrom, CallWaitMs) >= 0 &&
               bob->expectLine("call-state Idle", bobFrom, CallWaitMs) >= 0;
    }

    Stats stats(HeadlessProcess& client)
    {
        Stats s;
        const size_t from = client.log.size();
        if (!client.command("voice-stats"))
            return s;
        const int line =
            client.log.waitUntil([](const std::string& l) { return l.rfind("voice-stats ", 0) == 0; }, 5000, from);
        if (line >= 0)
            std::sscanf(client.log.lines()[static_cast<size_t>(line)].c_str(),
                        "voice-stats sent %ld played %ld refused %ld trimmed %ld skipped %ld", &s.sent, &s.played,
                        &s.refused, &s.trimmed, &s.skipped);
        return s;
    }

    // Ends the sound server at once, as an unplugged sound device would end.
    void killSoundServer() { sound.kill(); }

    // Both sides talk for `seconds` at once while the probe is recorded; each window's
    // delay both ways. `seed` varies the sound between stretches. `meanwhile`, when given,
    // runs `meanwhileAt` seconds into the sound (and the stretch waits for it).
    Talk talk(double seconds, unsigned seed = 1, const std::function<void()>& meanwhile = {}, double meanwhileAt = 0)
    {
        Talk t;
        const size_t count = static_cast<size_t>(seconds * Rate);
        const std::vector<int16_t> toBob = speechLike(count, seed * 2 + 1);
        const std::vector<int16_t> toAlice = speechLike(count, seed * 2 + 2);
        const std::string file = sound.folder() / ("probe-" + std::to_string(seed) + ".raw");
        PeerProcess recorder;
        if (!sound.recordSource(recorder, "probe.monitor", ProbeChannels, file))
            return t;
        const auto begun = std::chrono::steady_clock::now();
        // The recorder runs before the sound starts, so the feeds' onsets are in the file.
        while (readBytes(file).size() < 2 * Channels * 400 &&
               std::chrono::steady_clock::now() < begun + std::chrono::seconds(10))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));

        t.aliceBefore = stats(*alice);
        t.bobBefore = stats(*bob);
        const double aliceCpu = cpuSeconds(alice->pid()), bobCpu = cpuSeconds(bob->pid());
        const auto start = std::chrono::steady_clock::now();
        PeerProcess feedA, feedB;
        if (!play(feedA, "feedA", toBob, file + ".a") || !play(feedB, "feedB", toAlice, file + ".b"))
            return t;
        const auto limit = start + std::chrono::milliseconds(static_cast<long>(seconds * 1000) + 30000);
        bool done = !meanwhile;
        while ((feedA.running() || feedB.running() || !done) && std::chrono::steady_clock::now() < limit) {
            if (!done && std::chrono::steady_clock::now() >= start + std::chrono::milliseconds(static_cast<long>(meanwhileAt * 1000))) {
                meanwhile();
                done = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        t.aliceAfter = stats(*alice);
        t.bobAfter = stats(*bob);
        t.aliceRate = static_cast<double>(t.aliceAfter.sent - t.aliceBefore.sent) / t.seconds;
        t.bobRate = static_cast<double>(t.bobAfter.sent - t.bobBefore.sent) / t.seconds;
        t.aliceCpu = 100 * (cpuSeconds(alice->pid()) - aliceCpu) / t.seconds;
        t.bobCpu = 100 * (cpuSeconds(bob->pid()) - bobCpu) / t.seconds;
        // The tail: the last window's sound must reach the speaker before the recording ends.
        const size_t wanted = readBytes(file).size() + 2 * Channels * static_cast<size_t>(Rate * MaxLagMs / 500);
        while (readBytes(file).size() < wanted && std::chrono::steady_clock::now() < limit + std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        recorder.stop();

        const std::string bytes = readBytes(file);
        const size_t frames = bytes.size() / (2 * Channels);
        std::vector<int16_t> channels[Channels];
        for (auto& c : channels)
            c.resize(frames);
        for (size_t i = 0; i < frames; ++i) {
            int16_t frame[Channels];
            std::memcpy(frame, bytes.data() + i * 2 * Channels, sizeof frame);
            for (int c = 0; c < Channels; ++c)
                channels[c][i] = frame[c];
        }
        windowDelays(channels[FeedA], channels[SpeakerB], t.aliceToBob, t.lostAliceToBob);
        windowDelays(channels[FeedB], channels[SpeakerA], t.bobToAlice, t.lostBobToAlice);
        return t;
    }

    // Speech-like sound: syllables of 120 to 400 ms, each a chirp between two pitches of the
    // voice band under a smooth swell, with pauses of 40 to 250 ms between them.
    static std::vector<int16_t> speechLike(size_t count, unsigned seed)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> pitch(220.0, 900.0), syllable(0.12, 0.4), pause(0.04, 0.25),
            loudness(5000.0, 11000.0);
        std::vector<int16_t> out;
        out.reserve(count);
        double phase = 0;
        while (out.size() < count) {
            const size_t length = static_cast<size_t>(syllable(random) * Rate);
            const double from = pitch(random), to = pitch(random), peak = loudness(random);
            for (size_t i = 0; i < length && out.size() < count; ++i) {
                const double at = static_cast<double>(i) / static_cast<double>(length);
                phase += 2 * M_PI * (from + (to - from) * at) / Rate;
                const double swell = std::sin(M_PI * at);
                out.push_back(static_cast<int16_t>(std::lround(peak * swell * (std::sin(phase) + 0.35 * std::sin(2.03 * phase)) / 1.35)));
            }
            out.insert(out.end(), std::min(count - out.size(), static_cast<size_t>(pause(random) * Rate)), 0);
        }
        return out;
    }

    // The p-th quantile (0..1) of the delays, by the nearest rank; -1 for none.
    static double quantile(std::vector<std::pair<double, double>> windows, double p, double from = 0,
                           double to = 1e9)
    {
        std::vector<double> d;
        for (const auto& [at, delay] : windows)
            if (at >= from && at < to)
                d.push_back(delay);
        if (d.empty())
            return -1;
        std::sort(d.begin(), d.end());
        const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(d.size())));
        return d[std::min(d.size() - 1, rank > 0 ? rank - 1 : 0)];
    }

    std::unique_ptr<HeadlessProcess> alice, bob;
    std::string aliceId, bobId;

private:
    enum Channel { FeedA, SpeakerB, FeedB, SpeakerA, Channels };

    static std::string probeSink(const std::string& name, const std::string& channel)
    {
        return "load-module module-remap-sink sink_name=" + name + " master=probe rate=8000 channels=1 "
               "channel_map=mono master_channel_map=" + channel + " remix=no\n";
    }
    static std::string probeSource(const std::string& name, const std::string& channel)
    {
        return "load-module module-remap-source source_name=" + name + " master=probe.monitor rate=8000 channels=1 "
               "channel_map=mono master_channel_map=" + channel + " remix=no\n";
    }
    static inline const std::string ProbeChannels = "front-left,front-right,rear-left,rear-right";
    static std::string devicesOfProbe()
    {
        return "load-module module-null-sink sink_name=probe rate=8000 channels=4 channel_map=" + ProbeChannels + "\n" +
               probeSink("feedA", "front-left") + probeSource("micA", "front-left") +
               probeSink("speakerB", "front-right") + probeSink("feedB", "rear-left") +
               probeSource("micB", "rear-left") + probeSink("speakerA", "rear-right");
    }

    std::unique_ptr<HeadlessProcess> voiceClient(const std::string& url, const std::string& name, const char* speaker,
                                                 const char* mic, const std::string& capture, const std::string& output)
    {
        auto client = std::make_unique<HeadlessProcess>(url);
        client->folders.writeAccount(name, name + "-pw");
        ScopedEnv device("ORVANE_AUDIO_DEVICE", output.empty() ? "alsa:pulse" : output.c_str());
        ScopedEnv input("ORVANE_AUDIO_INPUT", capture.empty() ? nullptr : capture.c_str());
        ScopedEnv sink("PULSE_SINK", speaker);
        ScopedEnv source("PULSE_SOURCE", mic);
        ScopedEnv asan("ASAN_OPTIONS", "detect_leaks=0");
        if (!client->start({"--voice", "yes"})) {
            ADD_FAILURE() << client->log.dump() << client->errors();
            return nullptr;
        }
        if (client->expectLine("voice-session running") < 0 || client->expectLine("call-state Idle") < 0)
            return nullptr;
        return client;
    }

    // Starts pacat playing the samples into the sink; it ends when they have been played.
    bool play(PeerProcess& player, const std::string& sink, const std::vector<int16_t>& samples,
              const std::string& file)
    {
        writeBytes(file, bytesOfSamples(samples));
        if (!player.start({"/usr/bin/pacat", "--playback", "--raw", "--device=" + sink, "--rate=8000",
                           "--channels=1", "--format=s16le", "--latency-msec=50", file},
                          file + ".log")) {
            ADD_FAILURE() << "cannot start pacat (package pulseaudio-utils)";
            return false;
        }
        return true;
    }

    // Each half second of `given` with sound in it, looked for in `heard` 0 to MaxLagMs
    // later: first on every fourth sample (the sound stays below 1 kHz, so that is enough to
    // find the peak), then to the sample around it.
    static void windowDelays(const std::vector<int16_t>& given, const std::vector<int16_t>& heard,
                             std::vector<std::pair<double, double>>& out, int& lost)
    {
        const size_t maxLag = static_cast<size_t>(Rate * MaxLagMs / 1000);
        const long onset = onsetOf(given);
        if (onset < 0)
            return;
        std::vector<int16_t> coarseHeard;
        for (size_t i = 0; i < heard.size(); i += 4)
            coarseHeard.push_back(heard[i]);
        for (size_t at = static_cast<size_t>(onset); at + WindowSamples <= given.size(); at += WindowSamples) {
            if (at + WindowSamples + maxLag + 8 > heard.size())
                break;
            if (rms(given.data() + at, WindowSamples) < 1000)
                continue;
            std::vector<int16_t> coarseGiven;
            for (size_t i = at; i < at + WindowSamples; i += 4)
                coarseGiven.push_back(given[i]);
            const std::vector<int16_t> coarseFrom(coarseHeard.begin() + static_cast<long>(at / 4),
                                                  coarseHeard.begin() + static_cast<long>((at + WindowSamples + maxLag) / 4));
            size_t coarse = 0;
            bestCorrelation(coarseGiven, coarseFrom, coarseGiven.size(), maxLag / 4, &coarse);
            const size_t low = at + (coarse * 4 > 6 ? coarse * 4 - 6 : 0);
            const std::vector<int16_t> window(given.begin() + static_cast<long>(at),
                                              given.begin() + static_cast<long>(at + WindowSamples));
            const std::vector<int16_t> near(heard.begin() + static_cast<long>(low),
                                            heard.begin() + static_cast<long>(low + WindowSamples + 12));
            size_t fine = 0;
            const double c = bestCorrelation(window, near, WindowSamples, 12, &fine);
            if (c < 0.5) {
                ++lost;
                continue;
            }
            const double delayMs = static_cast<double>(low + fine - at) * 1000.0 / Rate;
            out.emplace_back(static_cast<double>(at - static_cast<size_t>(onset)) / Rate, delayMs);
        }
    }
};

inline std::string CallDelayLab::probeDevices()
{
    return devicesOfProbe();
}

} // namespace orvane::testing
