#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "foundation/Thread.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

using namespace orvane;
using orvane::testing::awaitCondition;
using orvane::testing::Latch;
using orvane::testing::TestThread;

TEST(Thread, StatesFollowTheLifecycle)
{
    Latch release;
    TestThread t([&](TestThread&) {
        release.await();
        Thread::sleep(200);
    });
    EXPECT_EQ(t.getState(), Thread::Ready); // the test thread's constructor ran init()
    t.start();
    EXPECT_EQ(t.getState(), Thread::Running);
    EXPECT_NE(t.getThreadId(), std::this_thread::get_id());
    release.open();
    EXPECT_TRUE(awaitCondition([&] { return t.getState() == Thread::Sleeping; }));
    EXPECT_TRUE(awaitCondition([&] { return t.getState() == Thread::Finished; }));
    t.stop(true);
    EXPECT_EQ(t.getState(), Thread::Finished);
}

TEST(Thread, StartNeedsInitAndHappensOnce)
{
    struct Bare : Thread {
        void run() override {}
        bool deleteWhenDone() override { return false; }
    } bare;
    EXPECT_EQ(bare.getState(), Thread::Constructed);
    EXPECT_THROW(bare.start(), ThreadCreateException);
    EXPECT_EQ(bare.getState(), Thread::Constructed);
    bare.init();
    bare.init(); // a second init changes nothing
    EXPECT_EQ(bare.getState(), Thread::Ready);

    Latch release;
    TestThread t([&](TestThread&) { release.await(); });
    t.start();
    EXPECT_THROW(t.start(), ThreadCreateException);
    EXPECT_EQ(t.getState(), Thread::Running);
    release.open();
    t.stop(true);
    EXPECT_EQ(t.getState(), Thread::Finished);
    EXPECT_THROW(t.start(), ThreadCreateException);
}

TEST(Thread, CurrentThreadIsTheBodysObjectAndNullElsewhere)
{
    EXPECT_EQ(Thread::currentThread(), nullptr);
    Thread* seen = nullptr;
    TestThread t([&](TestThread&) { seen = Thread::currentThread(); });
    t.start();
    t.stop(true);
    EXPECT_EQ(seen, &t);

    Thread* onPlain = &t;
    std::thread([&] { onPlain = Thread::currentThread(); }).join();
    EXPECT_EQ(onPlain, nullptr);
}

TEST(Thread, SleepOnAThreadThatIsNotAThreadIsPlainAndAnswersFalse)
{
    auto timedSleep = [](int ms, bool& answer) {
        const int64_t t0 = monotonicMillis();
        answer = Thread::sleep(ms);
        return monotonicMillis() - t0;
    };
    bool answer = true;
    const int64_t onMain = timedSleep(50, answer);
    EXPECT_FALSE(answer);
    EXPECT_GE(onMain, 50);
    EXPECT_LT(onMain, 2000);

    int64_t onPlain = 0;
    bool plainAnswer = true;
    std::thread([&] { onPlain = timedSleep(50, plainAnswer); }).join();
    EXPECT_FALSE(plainAnswer);
    EXPECT_GE(onPlain, 50);
    EXPECT_LT(onPlain, 2000);
}

TEST(Thread, StopNeverWakesASleepingThread)
{
    std::atomic<int64_t> slept{0};
    std::atomic<bool> sleepAnswer{true};
    std::atomic<bool> stopSeenAfterSleep{false};
    TestThread t([&](TestThread& self) {
        const int64_t t0 = monotonicMillis();
        sleepAnswer = Thread::sleep(300);
        slept = monotonicMillis() - t0;
        stopSeenAfterSleep = self.isStopRequested();
    });
    t.start();
    ASSERT_TRUE(awaitCondition([&] { return t.getState() == Thread::Sleeping; }));
    t.stop(true);
    EXPECT_FALSE(sleepAnswer);
    EXPECT_GE(slept, 300);
    EXPECT_LT(slept, 2000);
    EXPECT_TRUE(stopSeenAfterSleep);
}

TEST(Thread, SleepOfAThreadLastsItsFullTime)
{
    for (int ms : {0, 1, 20, 100}) {
        std::atomic<int64_t> slept{-1};
        TestThread t([&](TestThread&) {
            const int64_t t0 = monotonicMillis();
            Thread::sleep(ms);
            slept = monotonicMillis() - t0;
        });
        t.start();
        t.stop(true);
        EXPECT_GE(slept, ms);
        EXPECT_LT(slept, ms + 2000);
    }
}

TEST(Thread, StopWithoutWaitReturnsAtOnceAndTheNextPollEndsTheBody)
{
    std::atomic<int> polls{0};
    TestThread t([&](TestThread& self) {
        while (!self.stopRequested) {
            ++polls;
            Thread::sleep(2);
        }
    });
    t.start();
    ASSERT_TRUE(awaitCondition([&] { return polls > 0; }));
    const int64_t t0 = monotonicMillis();
    t.stop(false);
    EXPECT_LT(monotonicMillis() - t0, 1000);
    EXPECT_TRUE(t.isStopRequested());
    EXPECT_TRUE(awaitCondition([&] { return t.getState() == Thread::Finished; }));
}

TEST(Thread, CheckStopUnwindsTheBody)
{
    EXPECT_NO_THROW(Thread::checkStop()); // no Thread on this OS thread

    std::atomic<bool> started{false};
    std::atomic<bool> leftLoop{false};
    TestThread t([&](TestThread&) {
        started = true;
        for (;;) {
            Thread::checkStop();
            Thread::sleep(1);
        }
        leftLoop = true;
    });
    t.start();
    ASSERT_TRUE(awaitCondition([&] { return started.load(); }));
    t.stop(true);
    EXPECT_EQ(t.getState(), Thread::Finished);
    EXPECT_FALSE(leftLoop);
}

TEST(Thread, AnythingThrownFromTheBodyIsDroppedAndSelfDeletionFollows)
{
    const std::vector<std::function<void()>> throwers = {
        [] { throw ThreadStopException(); },
        [] { throw TimeoutException(); },
        [] { throw Exception(); },
        [] { throw std::runtime_error("x"); },
        [] { throw 42; },
    };
    for (size_t i = 0; i < throwers.size(); ++i) {
        SCOPED_TRACE(i);
        // Owned: the thread finishes normally.
        TestThread owned([&](TestThread&) { throwers[i](); });
        owned.start();
        owned.stop(true);
        EXPECT_EQ(owned.getState(), Thread::Finished);

        // Self-deleting: deleted on its own thread once the body has ended.
        auto deletedOn = std::make_shared<std::promise<std::thread::id>>();
        auto deleted = deletedOn->get_future();
        auto throwIt = throwers[i];
        auto* self = new TestThread([throwIt](TestThread&) { throwIt(); }, true);
        self->onDestroy = [deletedOn] { deletedOn->set_value(std::this_thread::get_id()); };
        self->start();
        ASSERT_EQ(deleted.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_NE(deleted.get(), std::this_thread::get_id());
    }
}

TEST(Thread, DeleteWhenDoneIsAskedBeforeTheStateTurnsFinished)
{
    // An owner that deletes the object as soon as it sees Finished must never race the
    // thread procedure still asking the object something.
    for (int i = 0; i < 50; ++i) {
        std::atomic<int> stateWhenAsked{-1};
        auto* t = new TestThread([](TestThread&) {});
        t->onAskedToDelete = [&](TestThread& self) { stateWhenAsked = self.getState(); };
        t->start();
        ASSERT_TRUE(awaitCondition([&] { return t->getState() == Thread::Finished; }));
        delete t;
        EXPECT_EQ(stateWhenAsked, Thread::Running);
    }
}

namespace {
// Set when the OS thread that ran a body has ended: thread-local objects are destroyed
// as the thread exits.
std::atomic<int> osThreadsEnded{0};
struct EndMarker {
    ~EndMarker() { ++osThreadsEnded; }
};
thread_local EndMarker* touchEndMarker = nullptr;
void markThreadEnd()
{
    thread_local EndMarker marker;
    touchEndMarker = &marker;
}
} // namespace

TEST(Thread, DestroyingAFinishedThreadWaitsForItsOSThread)
{
    const int before = osThreadsEnded;
    auto* t = new TestThread([](TestThread&) { markThreadEnd(); });
    t->start();
    ASSERT_TRUE(awaitCondition([&] { return t->getState() == Thread::Finished; }));
    delete t; // joins: without it the OS thread would be left running unjoined
    EXPECT_EQ(osThreadsEnded, before + 1);
}

TEST(Thread, ManyStopAndWaitCallersAllWaitForTheEndAndJoinOnce)
{
    Latch release;
    std::atomic<bool> bodyEnded{false};
    TestThread t([&](TestThread&) {
        release.await();
        bodyEnded = true;
    });
    t.start();
    std::atomic<int> returnedBeforeEnd{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            t.stop(true);
            if (!bodyEnded)
                ++returnedBeforeEnd;
        });
    }
    ASSERT_TRUE(awaitCondition([&] { return t.isStopRequested(); }));
    release.open();
    for (auto& w : waiters)
        w.join();
    EXPECT_EQ(returnedBeforeEnd, 0);
    t.stop(true); // already joined: returns at once
    EXPECT_EQ(t.getState(), Thread::Finished);
}

TEST(Thread, StopAndWaitOnItselfDoesNotHang)
{
    TestThread t([](TestThread& self) { self.stop(true); });
    t.start();
    EXPECT_TRUE(awaitCondition([&] { return t.getState() == Thread::Finished; }));
    EXPECT_TRUE(t.isStopRequested());
}
