#pragma once

// What the end-to-end call tests do with their headless clients: start one with the voice
// module, place and accept a call between two, read the session thread's counters, and
// play a tone into one side's microphone to find it at the other side's speaker.

#include "tests/core/EndToEndSupport.h"
#include "tests/core/HeadlessProcess.h"
#include "tests/server/ServerProcess.h"
#include "tests/support/PulseServer.h"
#include "tests/voice/SoundSignals.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvane::testing {

// How long a call may take to connect: the channel's set-up, on a loaded machine.
constexpr int CallWaitMs = 20000;

// A client in a call, with the name and id the other side knows it by.
struct CallParty {
    HeadlessProcess& client;
    std::string name;
    std::string id;
};

// Starts a client with the voice module and waits until its bar is Idle. With sound, it
// plays and records through the sound server whose environment is in force; without, it
// has no sound device. The launcher runs it elsewhere (a namespace of the NAT lab).
inline bool startVoiceClient(HeadlessProcess& client, bool withSound, const std::vector<std::string>& launcher = {})
{
    // The call's sounds, so that the client reports each one it plays.
    for (const char* sound : {"ring.wav", "answer.wav", "hang.wav"})
        writeBytes(client.folders.programFolder + "/sounds/" + sound, "RIFF");
    ScopedEnv device("ORVANE_AUDIO_DEVICE", withSound ? "alsa:pulse" : "none");
    ScopedEnv input("ORVANE_AUDIO_INPUT", nullptr);
    ScopedEnv asan("ASAN_OPTIONS", "detect_leaks=0");
    const bool started = client.start({"--voice", "yes"}, launcher);
    EXPECT_TRUE(started) << client.log.dump() << client.errors();
    return started && client.expectLine("voice-session running") >= 0 && client.expectLine("call-state Idle") >= 0;
}

// The caller calls, the callee accepts, and both show the call connected.
inline void connectCallBetween(const CallParty& caller, const CallParty& callee)
{
    HeadlessProcess& x = caller.client;
    HeadlessProcess& y = callee.client;
    const size_t xFrom = x.log.size(), yFrom = y.log.size();
    ASSERT_TRUE(x.command("talk " + callee.id));
    ASSERT_GE(x.expectLine("call-state Calling", xFrom), 0);
    ASSERT_GE(x.expectLine("status Calling " + callee.name + " ...", xFrom), 0);
    ASSERT_GE(y.expectLine("call-state Ringing", yFrom), 0);
    ASSERT_GE(y.expectLine("call-label Call from " + caller.name, yFrom), 0);
    ASSERT_TRUE(y.command("talk " + caller.id));
    ASSERT_GE(y.expectLine("call-label Connecting " + caller.name + "...", yFrom), 0);
    ASSERT_GE(y.expectLine("status Connecting " + caller.name + " ...", yFrom), 0);
    ASSERT_GE(x.expectLine("call-state Connected", xFrom), 0);
    ASSERT_GE(x.expectLine("call-label Connected.", xFrom, CallWaitMs), 0);
    ASSERT_GE(y.expectLine("call-label Connected.", yFrom, CallWaitMs), 0);
}

// The counters a client's session thread prints: {sent, played}; {-1, -1} when none came.
inline std::pair<long, long> voiceStats(HeadlessProcess& client)
{
    const size_t from = client.log.size();
    EXPECT_TRUE(client.command("voice-stats"));
    const int line =
        client.log.waitUntil([](const std::string& l) { return l.rfind("voice-stats ", 0) == 0; }, 5000, from);
    if (line < 0)
        return {-1, -1};
    long sent = -1, played = -1;
    std::sscanf(client.log.lines()[static_cast<size_t>(line)].c_str(), "voice-stats sent %ld played %ld", &sent,
                &played);
    return {sent, played};
}

// Waits until the client has sent and played `frames` more frames than `before`; false
// when that does not happen within the time (a second is about 33 frames each way).
inline bool framesFlow(HeadlessProcess& client, std::pair<long, long> before, long frames, int timeoutMs = 10000)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::pair<long, long> now = voiceStats(client);
        if (now.first >= before.first + frames && now.second >= before.second + frames)
            return true;
        if (std::chrono::steady_clock::now() >= limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// True when the client sends and plays nothing for `ms` (some 15 frames each way in a
// call's half second).
inline bool framesStill(HeadlessProcess& client, int ms = 500)
{
    const std::pair<long, long> before = voiceStats(client);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (voiceStats(client) != before)
            return false;
    }
    return true;
}

inline std::vector<int16_t> samplesOf(const std::string& bytes)
{
    std::vector<int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

// Plays a tone burst into the speaker's microphone and looks for it at the listener's
// speaker: the correlation with the tone must show the tone arrived. The delay between
// the burst's start as the speaker's microphone had it and as the listener's speaker
// played it (both recorded the same way, started together, so the recorders' own delays
// cancel) is printed.
inline void expectHeard(PulseServer& speaker, PulseServer& listener, double hz, const char* direction)
{
    using Clock = std::chrono::steady_clock;
    SCOPED_TRACE(direction);
    const std::vector<int16_t> tone = voiceLikeTone(12000, hz);
    std::vector<int16_t> played(4000, 0);
    played.insert(played.end(), tone.begin(), tone.end());
    played.insert(played.end(), 4000, 0);
    ASSERT_TRUE(speaker.recordMic());
    const Clock::time_point micStart = Clock::now();
    ASSERT_TRUE(listener.recordSpeaker());
    const Clock::time_point speakerStart = Clock::now();
    ASSERT_TRUE(speaker.playIntoMic(bytesOfSamples(played)));
    // The listener's recording must reach past the burst, delay and all (a null sink's
    // monitor keeps delivering, silence included).
    const std::string heardFile = listener.folder() / "speaker.raw";
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(10);
    while (readBytes(heardFile).size() < played.size() * 2 + 16000 && Clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::vector<int16_t> given = samplesOf(speaker.stopMicRecording());
    const std::vector<int16_t> heard = samplesOf(listener.stopSpeakerRecording());
    const long sent = onsetOf(given);
    const long onset = onsetOf(heard);
    ASSERT_GE(sent, 0) << "the microphone never had the tone";
    ASSERT_GE(onset, 0) << "nothing came out of the listener's speaker (" << heard.size() << " samples)";
    ASSERT_GE(heard.size(), static_cast<size_t>(onset) + 8000) << "the recording ends inside the tone";
    const double c = toneCarried(tone, heard, static_cast<size_t>(onset));
    EXPECT_GT(c, 0.6) << "what arrived is not the tone that was played";
    const double delayMs =
        std::chrono::duration<double, std::milli>(speakerStart - micStart).count() + onset / 8.0 - sent / 8.0;
    // Printed, not asserted: a recorder's first sample is not tied to its start time
    // closely enough yet (the figure has been seen off by more than a second).
    std::printf("[ measure  ] %s: correlation %.2f, delay mic to peer's speaker %.0f ms (rough)\n", direction, c,
                delayMs);
}

// The server on loopback with alice, bob and carol, who list one another; alice and bob as
// voice clients, each with a sound server of its own, once the test starts them.
class LoopbackCallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost",
                                  "1", "--account", "alice:alice-pw", "--account", "bob:bob-pw", "--account",
                                  "carol:carol-pw"}));
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(server.httpPort()) + "/"; }

    // A client with the voice module, signed in. With a sound server, it plays and
    // records through it (the server's environment is the one in force when it starts);
    // without, it has no sound device.
    std::unique_ptr<HeadlessProcess> voiceClient(const std::string& name, bool withSound)
    {
        auto client = std::make_unique<HeadlessProcess>(url());
        client->folders.writeAccount(name, name + "-pw");
        EXPECT_TRUE(startVoiceClient(*client, withSound)) << server.log();
        return client;
    }

    // Alice and bob, each with a sound server of its own, and their ids.
    void startTalkers()
    {
        aliceSound = std::make_unique<PulseServer>();
        ASSERT_TRUE(aliceSound->start());
        alice = voiceClient("alice", true);
        bobSound = std::make_unique<PulseServer>();
        ASSERT_TRUE(bobSound->start());
        bob = voiceClient("bob", true);
        aliceId = ownIdOf(*alice);
        bobId = ownIdOf(*bob);
        ASSERT_FALSE(aliceId.empty());
        ASSERT_FALSE(bobId.empty());
        // Each must know the other online before a call can be placed.
        alice->expectLine("notice bob\\nSigned In.");
    }

    // Alice calls bob, bob accepts, and both show the call connected.
    void connectCall() { connectCallBetween({*alice, "alice", aliceId}, {*bob, "bob", bobId}); }

    ServerProcess server;
    std::unique_ptr<PulseServer> aliceSound, bobSound;
    std::unique_ptr<HeadlessProcess> alice, bob;
    std::string aliceId, bobId;
};

} // namespace orvane::testing
