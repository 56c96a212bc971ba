// The ring and the notices' sounds: the ring player's schedule and stop measured on the
// clock, the starter, and the application playing both through the real WAV player into
// the file back-end.

#include "core/sound/RingPlayer.h"
#include "core/sound/RingPlayerStarter.h"

#include "audio/WavPlayer.h"
#include "core/app/ThreadMessages.h"
#include "foundation/Clock.h"
#include "tests/audio/RecordingDevices.h"
#include "tests/core/ClientTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// Every call on the sound output with the time it came, passed on to a real output when
// one is given.
class TimedSounds : public SoundOutput {
public:
    struct Call {
        std::string path;
        int64_t at;
    };

    explicit TimedSounds(SoundOutput* next = nullptr) : next_(next) {}

    bool play(const char* path) override
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            plays_.push_back(Call{path ? path : "<null>", monotonicMillis()});
        }
        changed_.notify_all();
        return next_ ? next_->play(path) : true;
    }
    void stop() override
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++stops_;
        }
        if (next_)
            next_->stop();
    }

    std::vector<Call> plays() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return plays_;
    }
    int stops() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return stops_;
    }
    // Waits until at least n plays have come.
    bool waitForPlays(size_t n, int timeoutMs)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return plays_.size() >= n; });
    }

private:
    SoundOutput* next_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Call> plays_;
    int stops_ = 0;
};

// Waits for a condition that nothing signals, looking every millisecond.
template <class Condition>
bool eventually(Condition condition, int timeoutMs = 5000)
{
    const int64_t deadline = monotonicMillis() + timeoutMs;
    while (!condition()) {
        if (monotonicMillis() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// How late a play may come past its due time: the loop looks every PollMs, and a loaded
// test machine (sanitizers, parallel tests) adds its own delay.
constexpr int64_t Lateness = RingPlayer::PollMs + 250;

class RingPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ring.init();
        ring.Thread::start();
    }

    TimedSounds sounds;
    RingPlayer ring{sounds};
};

// A port that keeps what is posted.
class RecordingPort : public UiThreadPort {
public:
    void post(int id, intptr_t, intptr_t) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        posted_.push_back(id);
    }
    void callAfter(std::function<void()>) override {}
    std::vector<int> posted() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return posted_;
    }

private:
    mutable std::mutex lock_;
    std::vector<int> posted_;
};

} // namespace

TEST_F(RingPlayerTest, PlaysAtOnceThenEveryPeriodUntilStopped)
{
    const int64_t period = 300;
    EXPECT_TRUE(ring.isIdle());
    const int64_t started = monotonicMillis();
    ring.start("/sounds/ring.wav", period);
    EXPECT_TRUE(ring.isPlaying());
    ASSERT_TRUE(sounds.waitForPlays(4, 10000));
    ring.stop();
    const size_t played = sounds.plays().size();
    EXPECT_TRUE(ring.isIdle());
    EXPECT_EQ(sounds.stops(), 1);

    const std::vector<TimedSounds::Call> plays = sounds.plays();
    EXPECT_LT(plays[0].at - started, Lateness);
    for (size_t i = 1; i < plays.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(plays[i].path, "/sounds/ring.wav");
        EXPECT_GE(plays[i].at - plays[i - 1].at, period);
        EXPECT_LT(plays[i].at - plays[i - 1].at, period + Lateness);
    }
    // Two more periods pass without a play.
    EXPECT_FALSE(sounds.waitForPlays(played + 1, static_cast<int>(2 * period)));
}

TEST_F(RingPlayerTest, StopWhileIdleChangesNothingAndStopsNoSound)
{
    ring.stop();
    EXPECT_TRUE(ring.isIdle());
    EXPECT_FALSE(ring.isPlaying());
    EXPECT_EQ(sounds.stops(), 0);
    ring.start("a.wav", 5000);
    ASSERT_TRUE(sounds.waitForPlays(1, 5000));
    ring.stop();
    ring.stop();
    EXPECT_EQ(sounds.stops(), 1);
}

TEST_F(RingPlayerTest, ANewStartWhileRingingTakesPathAndPeriodButKeepsTheSchedule)
{
    ring.start("first.wav", 800);
    ASSERT_TRUE(sounds.waitForPlays(1, 5000));
    ring.start("second.wav", 200);
    ASSERT_TRUE(sounds.waitForPlays(3, 10000));
    ring.stop();
    const std::vector<TimedSounds::Call> plays = sounds.plays();
    EXPECT_EQ(plays[0].path, "first.wav");
    EXPECT_EQ(plays[1].path, "second.wav");
    // The second play comes when the first ring's period is up, not at once.
    EXPECT_GE(plays[1].at - plays[0].at, 800);
    EXPECT_GE(plays[2].at - plays[1].at, 200);
    EXPECT_LT(plays[2].at - plays[1].at, 200 + Lateness);
}

TEST_F(RingPlayerTest, AStartAfterAStopIsANewRingThatPlaysAtOnce)
{
    ring.start("first.wav", 10000);
    ASSERT_TRUE(sounds.waitForPlays(1, 5000));
    // Stopped and started again before the loop has looked: still a new ring.
    ring.stop();
    const int64_t restarted = monotonicMillis();
    ring.start("second.wav", 10000);
    ASSERT_TRUE(sounds.waitForPlays(2, 5000));
    const std::vector<TimedSounds::Call> plays = sounds.plays();
    EXPECT_EQ(plays[1].path, "second.wav");
    EXPECT_LT(plays[1].at - restarted, Lateness);
}

TEST_F(RingPlayerTest, ANullPathRingsAnEmptyPath)
{
    ring.start(nullptr, 5000);
    ASSERT_TRUE(sounds.waitForPlays(1, 5000));
    EXPECT_EQ(sounds.plays()[0].path, "");
}

TEST_F(RingPlayerTest, StoppingTheThreadWhileRingingEndsItAndTheRing)
{
    ring.start("a.wav", 200);
    ASSERT_TRUE(sounds.waitForPlays(1, 5000));
    ring.stopAndWait();
    EXPECT_EQ(ring.getState(), Thread::Finished);
    const size_t played = sounds.plays().size();
    EXPECT_FALSE(sounds.waitForPlays(played + 1, 500));
}

TEST(RingPlayerSound, AMissingFilePlaysNothingButKeepsItsSchedule)
{
    TempDirectory dir;
    RecordingDevices devices(dir, false);
    WavPlayer player(devices.settings());
    TimedSounds sounds(&player);
    RingPlayer ring(sounds);
    ring.init();
    ring.Thread::start();

    ring.start((dir / "missing.wav").c_str(), 250);
    ASSERT_TRUE(sounds.waitForPlays(3, 10000));
    ring.stop();
    const std::vector<TimedSounds::Call> plays = sounds.plays();
    for (size_t i = 1; i < plays.size(); ++i) {
        EXPECT_GE(plays[i].at - plays[i - 1].at, 250);
        EXPECT_LT(plays[i].at - plays[i - 1].at, 250 + Lateness);
    }
    EXPECT_TRUE(player.waitUntilIdle(1000));
    EXPECT_EQ(devices.made(), 0);
}

TEST(RingPlayerSound, EachTurnPlaysTheWholeFileAndStopCutsItOffAtOnce)
{
    TempDirectory dir;
    // 8000 Hz: 300 ms of a steady value, then a 3-second sound.
    const std::string shortSamples = steadySound(300, 700);
    writeBytes(dir / "short.wav", wavFile(1, 8000, 16, shortSamples));
    writeBytes(dir / "long.wav", wavFile(1, 8000, 16, steadySound(3000, 900)));
    RecordingDevices devices(dir, true);
    WavPlayer player(devices.settings());
    RingPlayer ring(player);
    ring.init();
    ring.Thread::start();

    // Two turns of a ring whose sound ends before the next turn: both whole.
    ring.start((dir / "short.wav").c_str(), 500);
    ASSERT_TRUE(devices.waitForFrames(1, 1));
    ASSERT_TRUE(player.waitUntilIdle(5000));
    ring.stop();
    EXPECT_EQ(devices.samples(0), shortSamples);
    EXPECT_EQ(devices.samples(1), shortSamples);

    // A long sound, stopped while it plays: the device stops taking frames at once.
    const int before = devices.made();
    ring.start((dir / "long.wav").c_str(), 10000);
    ASSERT_TRUE(devices.waitForFrames(before, 800));
    const auto stopped = std::chrono::steady_clock::now();
    ring.stop();
    ASSERT_TRUE(player.waitUntilIdle(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(2000));
    EXPECT_LT(devices.samples(before).size(), steadySound(1500, 0).size());
    EXPECT_TRUE(ring.isIdle());
}

TEST(RingPlayerStarter, StartsThePlayersThreadAndTellsTheUserInterfaceThread)
{
    TimedSounds sounds;
    RingPlayer ring(sounds);
    RecordingPort port;
    RingPlayerStarter starter(ring, port);
    starter.init();
    ring.init();
    EXPECT_FALSE(starter.isDone());
    starter.start();
    starter.stop(true);
    EXPECT_TRUE(starter.isDone());
    EXPECT_EQ(ring.getState(), Thread::Running);
    EXPECT_EQ(port.posted(), std::vector<int>{ThreadMessage::RingStarted});
    // The started player rings.
    ring.start("a.wav", 5000);
    EXPECT_TRUE(sounds.waitForPlays(1, 5000));
}

TEST(RingPlayerStarter, APlayerThatCannotStartEndsTheStarterAndIsReported)
{
    DiagnosticRecorder diagnostics;
    TimedSounds sounds;
    RingPlayer ring(sounds);
    RecordingPort port;
    RingPlayerStarter starter(ring, port);
    starter.init();
    // The player was never initialised, so its thread cannot start.
    starter.start();
    starter.stop(true);
    EXPECT_FALSE(starter.isDone());
    EXPECT_TRUE(port.posted().empty());
    EXPECT_EQ(DiagnosticRecorder::lines().size(), 1u);
}

TEST(ClientAppSounds, TheRingRunsFromTheEndOfStartUpUntilTheEnd)
{
    TimedSounds sounds;
    ClientFolders folders;
    TestClient client(folders, {"probe"}, &sounds);
    EXPECT_EQ(client.app->ringPlayer().getState(), Thread::Constructed);
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(eventually([&] { return client.app->ringStarter().isDone(); }));
    EXPECT_EQ(client.app->ringPlayer().getState(), Thread::Running);

    const std::string ringPath = folders.programFolder + "/sounds/ring.wav";
    client.onUi([&] { client.app->ringPlayer().start(ringPath.c_str(), 4000); });
    ASSERT_TRUE(sounds.waitForPlays(1, 5000));
    EXPECT_EQ(sounds.plays()[0].path, ringPath);

    client.onUi([&] { client.app->exitInstance(); });
    EXPECT_EQ(client.app->ringPlayer().getState(), Thread::Finished);
    EXPECT_EQ(client.app->ringStarter().getState(), Thread::Finished);
}

TEST(ClientAppSounds, ANoticePlaysItsSoundOnceThroughThePlayer)
{
    ClientFolders folders;
    const std::string samples = steadySound(120, 1500);
    writeBytes(folders.programFolder + "/sounds/warning.wav", wavFile(1, 8000, 16, samples));
    TempDirectory out;
    RecordingDevices devices(out, false);
    WavPlayer player(devices.settings());
    TestClient client(folders);
    client.ui.sounds = &player;
    ASSERT_TRUE(client.start());
    const size_t mark = client.log.size();

    client.onUi([&] { client.app->notify("Connection to server has been lost.", "warning.wav"); });
    ASSERT_TRUE(player.waitUntilIdle(5000));
    EXPECT_EQ(devices.made(), 1);
    EXPECT_EQ(devices.samples(0), samples);
    const std::vector<std::string> lines = client.log.lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(mark), lines.end()),
              (std::vector<std::string>{"sound warning.wav", "notice Connection to server has been lost."}));
}

TEST(ClientAppSounds, ANoticeWithoutASoundFileShowsOnlyItsText)
{
    ClientFolders folders;
    TempDirectory out;
    RecordingDevices devices(out, false);
    WavPlayer player(devices.settings());
    TestClient client(folders);
    client.ui.sounds = &player;
    ASSERT_TRUE(client.start());
    const size_t mark = client.log.size();

    client.onUi([&] {
        client.app->notify("missing", "absent.wav");
        client.app->notify("empty", "");
        client.app->notify("none", nullptr);
    });
    EXPECT_TRUE(player.waitUntilIdle(1000));
    EXPECT_EQ(devices.made(), 0);
    const std::vector<std::string> lines = client.log.lines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(mark), lines.end()),
              (std::vector<std::string>{"notice missing", "notice empty", "notice none"}));
}
