// The one-way delay of a call, microphone to the peer's speaker, measured on one clock:
// two headless clients with the voice module share ONE PulseAudio server whose devices
// are all channels of a single four-channel null sink ("probe"). Alice's microphone is the
// probe's front-left channel (what the test plays into "feedA"), bob's speaker its
// front-right; bob's microphone the rear-left ("feedB"), alice's speaker the rear-right.
// One recording of the probe's monitor then holds, sample for sample, what a microphone
// was given and what the other side's speaker played: the delay is the shift between two
// channels of one stream, with no recorder start times in it.
//
// What the figure covers: from the moment the sound server hands a block to the client's
// recorder (the monitor is posted as the probe renders) to the moment the peer's played
// samples are mixed into the probe: the clients' capture periods, coding, the datagrams on
// loopback, the receiving side's queue and its output buffer in the sound server. It leaves
// out what real hardware adds beyond the server (a card's own buffers).

#include "tests/core/EndToEndSupport.h"
#include "tests/core/HeadlessProcess.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/ProcessCpu.h"
#include "tests/support/PulseServer.h"
#include "tests/voice/SoundSignals.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr int CallWaitMs = 20000;
constexpr int Rate = 8000;

// One channel mapped onto the probe, as a sink (what plays into it lands there) or as a
// source (what the probe renders there, as a microphone hears it).
std::string probeSink(const std::string& name, const std::string& channel)
{
    return "load-module module-remap-sink sink_name=" + name + " master=probe rate=8000 channels=1 channel_map=mono "
           "master_channel_map=" + channel + " remix=no\n";
}
std::string probeSource(const std::string& name, const std::string& channel)
{
    return "load-module module-remap-source source_name=" + name + " master=probe.monitor rate=8000 channels=1 "
           "channel_map=mono master_channel_map=" + channel + " remix=no\n";
}

const std::string ProbeChannels = "front-left,front-right,rear-left,rear-right";
const std::string ProbeDevices =
    "load-module module-null-sink sink_name=probe rate=8000 channels=4 channel_map=" + ProbeChannels + "\n" +
    probeSink("feedA", "front-left") + probeSource("micA", "front-left") + probeSink("speakerB", "front-right") +
    probeSink("feedB", "rear-left") + probeSource("micB", "rear-left") + probeSink("speakerA", "rear-right");

enum Channel { FeedA, SpeakerB, FeedB, SpeakerA, Channels };

// A sweep from 250 to 900 Hz: voice-band, and with no period of its own, so the
// correlation has one peak only.
std::vector<int16_t> sweep(size_t count)
{
    std::vector<int16_t> out(count);
    double phase = 0;
    for (size_t i = 0; i < count; ++i) {
        const double hz = 250.0 + 650.0 * static_cast<double>(i) / static_cast<double>(count);
        phase += 2 * M_PI * hz / Rate;
        out[i] = static_cast<int16_t>(std::lround(8000 * std::sin(phase)));
    }
    return out;
}

// The first sample from which 10 ms hold more than a quiet level; -1 when none.
long onsetOf(const std::vector<int16_t>& s)
{
    const size_t window = 80;
    for (size_t i = 0; i + window <= s.size(); i += 8)
        if (rms(s.data() + i, window) > 1000)
            return static_cast<long>(i);
    return -1;
}

class VoiceDelay : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sound.start());
        ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost",
                                  "1", "--account", "alice:alice-pw", "--account", "bob:bob-pw"}));
        const std::string url = "http://127.0.0.1:" + std::to_string(server.httpPort()) + "/";
        alice = voiceClient(url, "alice", "speakerA", "micA");
        bob = voiceClient(url, "bob", "speakerB", "micB");
        ASSERT_TRUE(alice && bob);
        aliceId = ownIdOf(*alice);
        bobId = ownIdOf(*bob);
        alice->expectLine("notice bob\\nSigned In.");
    }

    std::unique_ptr<HeadlessProcess> voiceClient(const std::string& url, const std::string& name,
                                                 const char* speaker, const char* mic)
    {
        auto client = std::make_unique<HeadlessProcess>(url);
        client->folders.writeAccount(name, name + "-pw");
        ScopedEnv device("ORVANE_AUDIO_DEVICE", "alsa:pulse");
        ScopedEnv input("ORVANE_AUDIO_INPUT", nullptr);
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

    void connectCall()
    {
        const size_t aliceFrom = alice->log.size(), bobFrom = bob->log.size();
        ASSERT_TRUE(alice->command("talk " + bobId));
        ASSERT_GE(bob->expectLine("call-state Ringing", bobFrom), 0);
        ASSERT_TRUE(bob->command("talk " + aliceId));
        ASSERT_GE(alice->expectLine("call-label Connected.", aliceFrom, CallWaitMs), 0);
        ASSERT_GE(bob->expectLine("call-label Connected.", bobFrom, CallWaitMs), 0);
    }

    long sentSoFar(HeadlessProcess& client)
    {
        const size_t from = client.log.size();
        EXPECT_TRUE(client.command("voice-stats"));
        const int line =
            client.log.waitUntil([](const std::string& l) { return l.rfind("voice-stats ", 0) == 0; }, 5000, from);
        long sent = -1, played = -1;
        if (line >= 0)
            std::sscanf(client.log.lines()[static_cast<size_t>(line)].c_str(), "voice-stats sent %ld played %ld",
                        &sent, &played);
        return sent;
    }

    // Plays the sweep into `feed` while the probe is recorded, and answers the delay in
    // milliseconds from the feed's channel to `speaker`'s (-1 when the sound never came).
    double measure(const char* feed, Channel given, Channel heard)
    {
        SCOPED_TRACE(feed);
        const std::vector<int16_t> tone = sweep(12000);
        std::vector<int16_t> played(2000, 0);
        played.insert(played.end(), tone.begin(), tone.end());
        played.insert(played.end(), 2000, 0);
        const std::string file = sound.folder() / (std::string(feed) + ".probe.raw");
        PeerProcess recorder;
        if (!sound.recordSource(recorder, "probe.monitor", ProbeChannels, file))
            return -1;
        // The recorder runs before the sweep starts, so the feed's onset is in the file.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (readBytes(file).size() < 2 * Channels * 400 && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!sound.playInto(feed, bytesOfSamples(played)))
            return -1;
        // Up to a second of delay is allowed to show in the recording.
        while (readBytes(file).size() < 2 * Channels * (played.size() + Rate) &&
               std::chrono::steady_clock::now() < limit + std::chrono::seconds(5))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        recorder.stop();
        const std::string bytes = readBytes(file);
        const size_t frames = bytes.size() / (2 * Channels);
        std::vector<int16_t> in(frames), out(frames);
        for (size_t i = 0; i < frames; ++i) {
            int16_t frame[Channels];
            std::memcpy(frame, bytes.data() + i * 2 * Channels, sizeof frame);
            in[i] = frame[given];
            out[i] = frame[heard];
        }
        const long sent = onsetOf(in), arrived = onsetOf(out);
        EXPECT_GE(sent, 0) << "the microphone's channel never had the sweep";
        EXPECT_GE(arrived, sent) << "the sweep never came out of the peer's speaker";
        if (sent < 0 || arrived < sent)
            return -1;
        // The onset says roughly where; the correlation of the whole sweep, over 40 ms
        // either side of it, fixes the shift to a sample.
        const size_t window = 8000;
        const long from = std::max(sent, arrived - 320);
        if (static_cast<size_t>(from) + 640 + window > out.size() || static_cast<size_t>(sent) + window > in.size()) {
            ADD_FAILURE() << "the recording ends too early (" << frames << " frames)";
            return -1;
        }
        size_t shift = 0;
        const double c = bestCorrelation(std::vector<int16_t>(in.begin() + sent, in.begin() + sent + window),
                                         std::vector<int16_t>(out.begin() + from, out.end()), window, 640, &shift);
        EXPECT_GT(c, 0.5) << "what arrived is not the sweep that was played";
        const double onsetMs = static_cast<double>(arrived - sent) * 1000.0 / Rate;
        const double delayMs = static_cast<double>(from + static_cast<long>(shift) - sent) * 1000.0 / Rate;
        std::printf("[ measure  ] %s: one-way delay %.1f ms by correlation (%.2f), %.1f ms by onset\n", feed,
                    delayMs, c, onsetMs);
        return delayMs;
    }

    // The keeper listens to the whole probe, whose channels every microphone hears.
    PulseServer sound{ProbeDevices, "", "probe.monitor"};
    ServerProcess server;
    std::unique_ptr<HeadlessProcess> alice, bob;
    std::string aliceId, bobId;
};

} // namespace

TEST_F(VoiceDelay, SoundTakesLittleTimeFromOneMicrophoneToTheOtherSpeakerBothWays)
{
    ASSERT_NO_FATAL_FAILURE(connectCall());
    const double aliceCpu = cpuSeconds(alice->pid()), bobCpu = cpuSeconds(bob->pid());
    const long aliceSent = sentSoFar(*alice), bobSent = sentSoFar(*bob);
    const auto start = std::chrono::steady_clock::now();

    const double aliceToBob = measure("feedA", FeedA, SpeakerB);
    const double bobToAlice = measure("feedB", FeedB, SpeakerA);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double aliceRate = static_cast<double>(sentSoFar(*alice) - aliceSent) / seconds;
    const double bobRate = static_cast<double>(sentSoFar(*bob) - bobSent) / seconds;
    std::printf("[ measure  ] datagrams per second: alice to bob %.1f, bob to alice %.1f; CPU per call side: "
                "alice %.1f %%, bob %.1f %%\n",
                aliceRate, bobRate, 100 * (cpuSeconds(alice->pid()) - aliceCpu) / seconds,
                100 * (cpuSeconds(bob->pid()) - bobCpu) / seconds);
    // Generous bounds: a loaded machine and a sanitised build stay well inside them, a
    // queue that grows or an output that starts late do not.
    EXPECT_GT(aliceToBob, 0);
    EXPECT_LT(aliceToBob, 300);
    EXPECT_GT(bobToAlice, 0);
    EXPECT_LT(bobToAlice, 300);
    // 30 ms frames: about 33 a second each way.
    EXPECT_GT(aliceRate, 25);
    EXPECT_LT(aliceRate, 40);
    EXPECT_GT(bobRate, 25);
    EXPECT_LT(bobRate, 40);

    const size_t bobFrom = bob->log.size();
    ASSERT_TRUE(alice->command("hang-up"));
    EXPECT_GE(bob->expectLine("call-state Idle", bobFrom, CallWaitMs), 0);
}
