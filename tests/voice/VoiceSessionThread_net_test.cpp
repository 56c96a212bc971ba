// The voice session thread with real engines on the file sound back-end (a WAV file for
// the microphone, one for the speaker) talking over real datagram channels on loopback.

#include "core/app/ThreadMessages.h"
#include "core/app/UiThreadPort.h"
#include "voice/IlbcCodec.h"
#include "voice/VoiceSessionNotifier.h"
#include "voice/VoiceSessionThread.h"

#include "tests/audio/WavBytes.h"
#include "tests/foundation/TempDirectory.h"
#include "tests/foundation/ThreadTestSupport.h"
#include "tests/modules/RecordingHost.h"
#include "tests/support/LoopbackUdpSide.h"
#include "tests/voice/EngineHarness.h"
#include "tests/voice/SoundSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The user-interface thread as the session sees it: every posted message, with the time
// it was posted.
class PostedMessages : public UiThreadPort {
public:
    struct Posted {
        int id;
        intptr_t wParam, lParam;
        int64_t at;
    };

    void post(int id, intptr_t wParam, intptr_t lParam) override
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            posted_.push_back({id, wParam, lParam, monotonicMillis()});
        }
        changed_.notify_all();
    }
    void callAfter(std::function<void()> action) override { action(); }

    std::vector<Posted> of(int id) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<Posted> out;
        for (const Posted& p : posted_)
            if (p.id == id)
                out.push_back(p);
        return out;
    }
    size_t count(int id) const { return of(id).size(); }
    bool waitFor(int id, size_t count, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            return static_cast<size_t>(std::count_if(posted_.begin(), posted_.end(),
                                                     [&](const Posted& p) { return p.id == id; })) >= count;
        });
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Posted> posted_;
};

std::string wav16(const std::vector<int16_t>& samples)
{
    return wavFile(1, 8000, 16, bytesOfSamples(samples));
}

// `silentMs` of silence, then `toneMs` of a tone of `hz`.
std::vector<int16_t> silenceThenTone(int silentMs, int toneMs, double hz)
{
    std::vector<int16_t> samples(static_cast<size_t>(silentMs) * 8, 0);
    const std::vector<int16_t> tone = voiceLikeTone(static_cast<size_t>(toneMs) * 8, hz);
    samples.insert(samples.end(), tone.begin(), tone.end());
    return samples;
}

// The power of one frequency in the samples (Goertzel).
double powerAt(const std::vector<int16_t>& samples, double hz)
{
    const double k = 2 * std::cos(2 * M_PI * hz / 8000);
    double s1 = 0, s2 = 0;
    for (int16_t x : samples) {
        const double s = x + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / static_cast<double>(samples.size());
}

std::vector<int16_t> playedSamples(const std::string& path)
{
    WavSound out;
    EXPECT_EQ(loadWavFile(path.c_str(), out), WavError::None) << path;
    std::vector<int16_t> samples(out.samples.size() / 2);
    std::memcpy(samples.data(), out.samples.data(), samples.size() * 2);
    return samples;
}

// One user's end of a call: the session thread with its engine on WAV files, the port it
// posts to, the notifier of its bar and the host that opens the caller's channel.
struct CallEnd {
    std::string speaker;
    PostedMessages port;
    VoiceSessionNotifier notifier{port};
    RecordingHost host;
    Reports reports;
    std::atomic<int> onlineShown{0};
    // A listener the test puts between the engine and the thread; it outlives the thread.
    std::unique_ptr<VoiceEngineListener> recording;
    std::unique_ptr<VoiceSessionThread> thread;

    CallEnd(TempDirectory& dir, const std::string& name, const std::vector<int16_t>& microphone,
            VoiceSessionThread::Settings settings = VoiceSessionThread::Settings())
        : speaker(dir / (name + "-speaker.wav"))
    {
        writeBytes(dir / (name + "-mic.wav"), wav16(microphone));
        settings.engine.input = fileDevice(dir / (name + "-mic.wav"), true);
        settings.engine.output = fileDevice(speaker, true);
        settings.engine.report = reports.sink();
        settings.report = reports.sink();
        settings.showOnlineStatus = [this] { ++onlineShown; };
        thread = std::make_unique<VoiceSessionThread>(port, &host, std::move(settings));
        thread->setNotifier(&notifier);
    }
    void start()
    {
        thread->init();
        thread->start();
    }
    // Stops the thread and closes the engine, so the speaker's file is complete.
    void finish() { thread.reset(); }
    bool waitForState(VoiceSessionThread::SessionState state)
    {
        return awaitCondition([&] { return thread->sessionState() == state; }, 10000);
    }
};

const std::vector<int16_t> quiet(8000 * 10, 0);

// Alice's end of calls with Bob, whose end is the test's own: his datagram side and, where
// a test needs them, his channels.
class VoiceSessionWithBob : public ::testing::Test {
protected:
    // Starts Alice's thread and hands it a channel to Bob; the talk loop has begun.
    void startTalking(CallEnd& alice)
    {
        alice.start();
        alice.thread->startTalk(&bobContact, aliceNet.channel(10001, 20001, bobNet));
        ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceStarted, 1));
    }

    TempDirectory dir;
    UdpSide aliceNet{101};
    UdpSide bobNet{202};
    FakeContact bobContact{"202", "Bob"};
};

// The moment the first loud frame passes a point on its way, once.
struct FirstLoud {
    std::atomic<int64_t> at{-1};
    void mark()
    {
        int64_t none = -1;
        at.compare_exchange_strong(none, monotonicMillis());
    }
};

// Between a session's engine and its thread: marks the first frame recorded loud.
class TimedRecording : public VoiceEngineListener {
public:
    TimedRecording(VoiceSessionThread& thread, FirstLoud& first) : thread_(thread), first_(first) {}
    void onEncodedFrame(int channel, const uint8_t* data, int length) override
    {
        if (thread_.engine().inputLevel() >= 10)
            first_.mark();
        thread_.onEncodedFrame(channel, data, length);
    }

private:
    VoiceSessionThread& thread_;
    FirstLoud& first_;
};

// Between a channel and the session that receives: decodes what arrives with a decoder of
// the test's own and marks the first loud frame.
class TimedChannel final : public IModuleConnection {
public:
    TimedChannel(IModuleConnection& inner, FirstLoud& first) : inner_(inner), first_(first)
    {
        decoder_.setFrameMode(30);
    }
    void send(const void* data, int length) override { inner_.send(data, length); }
    int receive(int timeoutMs) override
    {
        const int length = inner_.receive(timeoutMs);
        if (length > 0 && decoder_.decode16(inner_.data(), length, decoded_, false) > 0 &&
            rms(decoded_.data(), static_cast<size_t>(decoded_.count())) > 1000)
            first_.mark();
        return length;
    }
    const uint8_t* data() override { return inner_.data(); }
    int size() override { return inner_.size(); }
    void close() override
    {
        inner_.close();
        delete this;
    }

private:
    IModuleConnection& inner_;
    FirstLoud& first_;
    IlbcCodec decoder_;
    SampleArray decoded_;
};

} // namespace

TEST(VoiceSessionThread, ToneInOneMicrophoneIsHeardAtTheOtherSpeakerBothWays)
{
    TempDirectory dir;
    UdpSide aliceNet(101), bobNet(202);
    FakeContact aliceContact("101", "Alice"), bobContact("202", "Bob");
    // The one-way delay: Alice's engine has coded the first loud frame; Bob's session takes
    // it off the channel.
    FirstLoud spoke, heard;
    // Different tones each way, after different silences, so each speaker can tell whose
    // sound it plays and when it began.
    CallEnd alice(dir, "alice", silenceThenTone(1000, 4000, 300));
    CallEnd bob(dir, "bob", silenceThenTone(1500, 3500, 700));
    alice.recording = std::make_unique<TimedRecording>(*alice.thread, spoke);
    alice.thread->engine().setListener(alice.recording.get());
    std::atomic<int> opened{0};
    alice.host.udpOpener = [&](const char* userId) -> IModuleConnection* {
        ++opened;
        EXPECT_STREQ(userId, "202");
        UdpChannel* bobs = bobNet.channel(20001, 10001, aliceNet);
        bob.thread->startTalk(&aliceContact, new TimedChannel(*bobs, heard));
        return aliceNet.channel(10001, 20001, bobNet);
    };
    alice.start();
    bob.start();

    alice.thread->startCall(&bobContact);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceStarted, 2));
    ASSERT_TRUE(bob.port.waitFor(ThreadMessage::VoiceStarted, 1));
    EXPECT_EQ(opened.load(), 1);
    EXPECT_EQ(alice.onlineShown.load(), 1);
    EXPECT_TRUE(alice.thread->isCallWith("202"));
    EXPECT_TRUE(bob.thread->isCallWith("101"));
    EXPECT_FALSE(bob.thread->isCallWith("202"));

    // The pace: datagrams per second into Bob's engine, counted over two seconds of the call.
    ASSERT_TRUE(awaitCondition([&] { return bob.thread->framesPlayed() >= 20; }, 10000));
    const int64_t from = monotonicMillis();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    ASSERT_TRUE(awaitCondition([&] { return bob.thread->framesPlayed() >= 86; }, 10000));
    const int64_t spanMs = monotonicMillis() - from;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const double perSecond = 66.0 * 1000.0 / static_cast<double>(spanMs);
    const auto cpuMicros = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000.0 + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
    };
    const double cpuPercent = (cpuMicros(after) - cpuMicros(before)) / 10.0 / static_cast<double>(spanMs);
    // One 30 ms frame a datagram.
    EXPECT_GT(perSecond, 30.0);
    EXPECT_LT(perSecond, 37.0);

    // Both tones have started once both levels went up on the other side.
    ASSERT_TRUE(awaitCondition([&] {
        for (const auto& p : bob.port.of(ThreadMessage::VoiceLevelOut))
            if (p.wParam >= 10)
                for (const auto& q : alice.port.of(ThreadMessage::VoiceLevelOut))
                    if (q.wParam >= 10)
                        return true;
        return false;
    }, 10000));
    // Another second of both tones.
    const uint64_t played = alice.thread->framesPlayed();
    ASSERT_TRUE(awaitCondition([&] { return alice.thread->framesPlayed() >= played + 33; }, 10000));

    ASSERT_GE(spoke.at.load(), 0);
    ASSERT_GE(heard.at.load(), 0);
    const int64_t delay = heard.at.load() - spoke.at.load();
    // The sending side drains its queue at least every receive wait; loopback adds little.
    EXPECT_GE(delay, 0);
    EXPECT_LT(delay, 60);

    alice.thread->stopSession();
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceEnded, 1));
    bob.thread->stopSession();
    ASSERT_TRUE(bob.port.waitFor(ThreadMessage::VoiceEnded, 1));
    EXPECT_TRUE(alice.waitForState(VoiceSessionThread::Idle));
    EXPECT_TRUE(bob.waitForState(VoiceSessionThread::Idle));
    EXPECT_FALSE(alice.thread->isCallWith("202"));
    EXPECT_EQ(alice.thread->peerId(), "202");
    EXPECT_EQ(aliceNet.manager.channelCount(), 0);
    EXPECT_EQ(bobNet.manager.channelCount(), 0);
    EXPECT_EQ(alice.thread->datagramsRefused() + bob.thread->datagramsRefused(), 0u);
    const uint64_t aliceSent = alice.thread->framesSent(), bobSent = bob.thread->framesSent();
    alice.finish();
    bob.finish();
    std::printf("[ figures ] %.1f datagrams/s per direction; %.1f%% of one core for both ends of a call "
                "(this build); one-way delay %lld ms from coder to receiver; sent %llu and %llu frames\n",
                perSecond, cpuPercent, static_cast<long long>(delay),
                static_cast<unsigned long long>(aliceSent), static_cast<unsigned long long>(bobSent));

    // Each speaker plays the other's tone, coded and decoded: that tone dominates, and the
    // sound follows its shape.
    struct Direction {
        const char* name;
        std::string speaker;
        double heardHz, ownHz;
    };
    for (const Direction& d : {Direction{"alice to bob", bob.speaker, 300, 700},
                               Direction{"bob to alice", alice.speaker, 700, 300}}) {
        SCOPED_TRACE(d.name);
        const std::vector<int16_t> out = playedSamples(d.speaker);
        ASSERT_GT(out.size(), 8000u);
        std::vector<int16_t> loud;
        for (size_t i = 0; i + 240 <= out.size(); i += 240)
            if (rms(out.data() + i, 240) > 1000)
                loud.insert(loud.end(), out.begin() + static_cast<long>(i), out.begin() + static_cast<long>(i + 240));
        ASSERT_GT(loud.size(), 4000u) << "a second of the tone at least";
        EXPECT_GT(powerAt(loud, d.heardHz), 20 * powerAt(loud, d.ownHz));
        const std::vector<int16_t> tone = voiceLikeTone(2000, d.heardHz);
        const std::vector<int16_t> middle(loud.begin() + 1000, loud.begin() + 3500);
        EXPECT_GT(bestCorrelation(tone, middle, 1600, 800), 0.8);
    }
}

TEST_F(VoiceSessionWithBob, AClosedChannelEndsTheTalkLoopInsteadOfTurningOnIt)
{
    CallEnd alice(dir, "alice", quiet);
    startTalking(alice);
    ASSERT_TRUE(awaitCondition([&] { return alice.thread->talkTurns() >= 3; }));

    // Bob went offline: his channels are closed for good, and receive answers -1 at once.
    aliceNet.manager.closeChannelsOf(202);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceEnded, 1, 2000));
    EXPECT_TRUE(alice.waitForState(VoiceSessionThread::Idle));
    EXPECT_EQ(aliceNet.manager.channelCount(), 0) << "the closed channel was given back";
    const uint64_t turns = alice.thread->talkTurns();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // a span in which a spinning loop would turn
    EXPECT_EQ(alice.thread->talkTurns(), turns);
    EXPECT_FALSE(alice.thread->isCallWith("202"));
    EXPECT_EQ(alice.port.count(ThreadMessage::VoiceFailed), 0u);
}

TEST_F(VoiceSessionWithBob, DatagramsThatAreNotOneCodecFrameAreDroppedBeforeDecoding)
{
    CallEnd alice(dir, "alice", quiet);
    UdpChannel* bob = bobNet.channel(20001, 10001, aliceNet);
    startTalking(alice);

    // One good frame: a tone coded by a coder of the test's own.
    IlbcCodec coder;
    coder.setFrameMode(30);
    ByteArray frame;
    const std::vector<int16_t> tone = voiceLikeTone(240);
    ASSERT_EQ(coder.encode16(tone.data(), 240, frame, false), 50);
    const std::string junk(1400, '\x5a');
    for (int length : {1, 38, 49, 51, 100, 1400})
        bob->send(junk.data(), length);
    bob->send(frame.data(), frame.count());
    ASSERT_TRUE(awaitCondition([&] { return alice.thread->framesPlayed() == 1 && alice.thread->datagramsRefused() == 6; }));
    SoundPlayer* player = alice.thread->engine().player(alice.thread->channel());
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(awaitCondition([&] { return player->writtenFrames() > 0; }));
    alice.thread->stopSession();
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceEnded, 1));
    bob->close();
}

TEST_F(VoiceSessionWithBob, TheQueueKeepsTheNewestFramesOfItsChannelAndSendsThemOldestFirst)
{
    VoiceSessionThread::Settings settings;
    settings.maxQueuedFrames = 100;
    CallEnd alice(dir, "alice", quiet, settings);
    UdpChannel* bob = bobNet.channel(20001, 10001, aliceNet);
    const int channel = alice.thread->channel();
    ASSERT_EQ(channel, 0);

    const auto numbered = [](int n) {
        std::vector<uint8_t> f(50, 0xEE);
        f[0] = static_cast<uint8_t>(n >> 8);
        f[1] = static_cast<uint8_t>(n);
        return f;
    };
    // Outside a call the recorder's frames are not kept.
    alice.thread->onEncodedFrame(channel, numbered(9999).data(), 50);
    EXPECT_EQ(alice.thread->queuedFrames(), 0u);

    // The call is on before the thread turns, so the frames wait as when sending stalls.
    alice.thread->startTalk(&bobContact, aliceNet.channel(10001, 20001, bobNet));
    for (int n = 0; n < 110; ++n) {
        alice.thread->onEncodedFrame(channel, numbered(n).data(), 50);
        alice.thread->onEncodedFrame(channel + 1, numbered(5000 + n).data(), 50); // another channel's
    }
    alice.thread->onEncodedFrame(channel, nullptr, 50);
    alice.thread->onEncodedFrame(channel, numbered(1).data(), 0);
    EXPECT_EQ(alice.thread->queuedFrames(), 100u);
    EXPECT_EQ(alice.thread->framesDropped(), 10u);

    alice.start();
    for (int n = 10; n < 110; ++n) {
        ASSERT_GT(bob->receive(5000), 0) << n;
        ASSERT_EQ(bob->size(), 50);
        ASSERT_EQ(bob->data()[0] * 256 + bob->data()[1], n);
    }
    alice.thread->stopSession();
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceEnded, 1));
    EXPECT_EQ(alice.thread->queuedFrames(), 0u) << "what was left of the call is dropped";
    bob->close();
}

TEST_F(VoiceSessionWithBob, WithNothingArrivingTheLoopStillTurnsAndReportsLevelsEvery40Ms)
{
    CallEnd alice(dir, "alice", quiet);
    alice.start();
    alice.thread->startTalk(&bobContact, aliceNet.channel(10001, 20001, bobNet));
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceLevelIn, 2));
    const uint64_t turnsBefore = alice.thread->talkTurns();
    const size_t levelsBefore = alice.port.count(ThreadMessage::VoiceLevelIn);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceLevelIn, levelsBefore + 20));
    const uint64_t turns = alice.thread->talkTurns() - turnsBefore;
    alice.thread->stopSession();
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceEnded, 1));

    const auto in = alice.port.of(ThreadMessage::VoiceLevelIn);
    const auto out = alice.port.of(ThreadMessage::VoiceLevelOut);
    ASSERT_EQ(in.size(), out.size()) << "both levels each time";
    std::vector<int64_t> gaps;
    for (size_t i = levelsBefore; i < levelsBefore + 20; ++i)
        gaps.push_back(in[i].at - in[i - 1].at);
    std::sort(gaps.begin(), gaps.end());
    // The reports keep to a schedule: on a loaded machine one that came late is followed by
    // one that comes on time, a little sooner after it.
    EXPECT_GE(gaps.front(), 30);
    EXPECT_LE(gaps[gaps.size() / 2], 62) << "the median gap";
    // 20 reports span 800 ms or more: one turn for each wait of a receive, give or take.
    const uint64_t waits = 800 / static_cast<uint64_t>(VoiceSessionThread::Settings().receiveWaitMs);
    EXPECT_GE(turns, waits / 2);
    EXPECT_LE(turns, waits * 3 / 2);
    // Nothing played: the channel's level stays 0; silence recorded: so does the input's.
    for (const auto& p : out)
        EXPECT_EQ(p.wParam, 0);
    for (const auto& p : in)
        EXPECT_EQ(p.wParam, p.lParam);
}

TEST(VoiceSessionThread, ConnectingEndsInFailureForAnOfflinePeerOrNoChannel)
{
    TempDirectory dir;
    CallEnd alice(dir, "alice", quiet);
    std::atomic<int> asked{0};
    alice.host.udpOpener = [&](const char*) -> IModuleConnection* {
        ++asked;
        return nullptr;
    };
    alice.start();

    FakeContact offline("303", "Carol", false);
    alice.thread->startCall(&offline);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceFailed, 1));
    EXPECT_TRUE(alice.waitForState(VoiceSessionThread::Idle));
    EXPECT_EQ(asked.load(), 0) << "no channel is asked for an offline peer";
    EXPECT_EQ(alice.onlineShown.load(), 0);

    FakeContact bob("202", "Bob");
    alice.thread->startCall(&bob);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceFailed, 2));
    EXPECT_EQ(asked.load(), 1);
    EXPECT_TRUE(alice.waitForState(VoiceSessionThread::Idle)) << "through Stopping";
    EXPECT_EQ(alice.onlineShown.load(), 1);
    EXPECT_EQ(alice.port.count(ThreadMessage::VoiceStarted), 0u);
    EXPECT_EQ(alice.port.count(ThreadMessage::VoiceEnded), 0u);
}

TEST_F(VoiceSessionWithBob, AStopWhileConnectingLeavesStoppingAndAChannelThatOpensStillStartsTheTalk)
{
    CallEnd alice(dir, "alice", quiet);
    Latch asked, answer;
    alice.host.udpOpener = [&](const char*) -> IModuleConnection* {
        asked.open();
        answer.await();
        return aliceNet.channel(10001, 20001, bobNet);
    };
    alice.start();
    EXPECT_EQ(alice.thread->sessionState(), VoiceSessionThread::Idle);
    alice.thread->startCall(&bobContact);
    EXPECT_EQ(alice.thread->sessionState(), VoiceSessionThread::Connecting);
    asked.await();
    EXPECT_TRUE(alice.thread->isCallWith("202")) << "the module's records from Bob are his call's";
    alice.thread->stopSession();
    EXPECT_EQ(alice.thread->sessionState(), VoiceSessionThread::Stopping);
    answer.open();
    // The bar hears of the start and answers it by ending the call.
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceStarted, 2));
    EXPECT_EQ(alice.thread->sessionState(), VoiceSessionThread::Talking);
    alice.thread->stopSession();
    EXPECT_EQ(alice.thread->sessionState(), VoiceSessionThread::Idle);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceEnded, 1));
    EXPECT_EQ(aliceNet.manager.channelCount(), 0);
}

TEST_F(VoiceSessionWithBob, HandedOverChannelsAreNeverLeftOpen)
{
    CallEnd alice(dir, "alice", silenceThenTone(0, 8000, 300));

    // Handed over and stopped before the thread took it: closed by the thread's next turn.
    alice.thread->startTalk(&bobContact, aliceNet.channel(10001, 20001, bobNet));
    alice.thread->stopSession();
    EXPECT_EQ(alice.thread->sessionState(), VoiceSessionThread::Idle);
    alice.start();
    EXPECT_TRUE(awaitCondition([&] { return aliceNet.manager.channelCount() == 0; }));
    EXPECT_EQ(alice.port.count(ThreadMessage::VoiceStarted), 0u);

    // A second channel while talking replaces the first, which is closed; the sound goes on
    // over the new one.
    UdpChannel* bobFirst = bobNet.channel(20001, 10002, aliceNet);
    UdpChannel* bobSecond = bobNet.channel(20002, 10003, aliceNet);
    alice.thread->startTalk(&bobContact, aliceNet.channel(10002, 20001, bobNet));
    ASSERT_GT(bobFirst->receive(5000), 0);
    alice.thread->startTalk(&bobContact, aliceNet.channel(10003, 20002, bobNet));
    ASSERT_GT(bobSecond->receive(5000), 0);
    EXPECT_TRUE(awaitCondition([&] { return aliceNet.manager.channelCount() == 1; }));
    EXPECT_EQ(alice.port.count(ThreadMessage::VoiceStarted), 1u) << "one talk loop throughout";
    alice.thread->stopSession();
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceEnded, 1));
    EXPECT_EQ(aliceNet.manager.channelCount(), 0);
    bobFirst->close();
    bobSecond->close();
}

TEST_F(VoiceSessionWithBob, TheNextCallsChannelEndsTheTalkLoopOfTheLastAndEachReportNamesItsCall)
{
    CallEnd alice(dir, "alice", silenceThenTone(0, 8000, 300));
    alice.start();
    UdpChannel* bobFirst = bobNet.channel(20001, 10001, aliceNet);
    UdpChannel* bobSecond = bobNet.channel(20002, 10002, aliceNet);
    alice.thread->startTalk(&bobContact, aliceNet.channel(10001, 20001, bobNet), 7);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceStarted, 1));
    ASSERT_GT(bobFirst->receive(5000), 0);

    // Call 7 was hung up and call 8 accepted before the thread came round to either.
    alice.thread->stopSession();
    alice.thread->startTalk(&bobContact, aliceNet.channel(10002, 20002, bobNet), 8);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceStarted, 2));
    ASSERT_GT(bobSecond->receive(5000), 0);
    const auto wParams = [&](int id) {
        std::vector<intptr_t> out;
        for (const PostedMessages::Posted& p : alice.port.of(id))
            out.push_back(p.wParam);
        return out;
    };
    EXPECT_EQ(wParams(ThreadMessage::VoiceStarted), (std::vector<intptr_t>{7, 8}));
    EXPECT_EQ(wParams(ThreadMessage::VoiceEnded), (std::vector<intptr_t>{7}));
    EXPECT_EQ(alice.thread->sessionState(), VoiceSessionThread::Talking);

    // A late stop for call 7 does not touch call 8.
    alice.thread->stopSessionOf(7);
    EXPECT_EQ(alice.thread->sessionState(), VoiceSessionThread::Talking);
    alice.thread->stopSessionOf(8);
    ASSERT_TRUE(alice.port.waitFor(ThreadMessage::VoiceEnded, 2));
    EXPECT_EQ(wParams(ThreadMessage::VoiceEnded), (std::vector<intptr_t>{7, 8}));
    EXPECT_TRUE(awaitCondition([&] { return aliceNet.manager.channelCount() == 0; }));
    bobFirst->close();
    bobSecond->close();
}
