#include "foundation/Clock.h"
#include "foundation/Monitor.h"
#include "foundation/Thread.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace orvane;
using orvane::testing::awaitCondition;
using orvane::testing::TestThread;

namespace {

// Runs a piece of test code on each kind of thread a monitor serves: the main thread,
// a plain OS thread and a Thread.
enum class Runner { Main, PlainThread, WorkerThread };

const char* runnerName(Runner r)
{
    return r == Runner::Main ? "main" : r == Runner::PlainThread ? "plain" : "Thread";
}

void runOn(Runner r, const std::function<void()>& code)
{
    switch (r) {
    case Runner::Main:
        code();
        break;
    case Runner::PlainThread:
        std::thread(code).join();
        break;
    case Runner::WorkerThread: {
        TestThread t([&](TestThread&) { code(); });
        t.start();
        t.stop(true);
        break;
    }
    }
}

const Runner allRunners[] = {Runner::Main, Runner::PlainThread, Runner::WorkerThread};

// A waiter on one of the thread kinds, started on demand and joined by its owner.
class Waiter {
public:
    Waiter(Runner kind, std::function<void()> code)
    {
        if (kind == Runner::WorkerThread) {
            thread_.reset(new TestThread([code](TestThread&) { code(); }));
            thread_->start();
        } else {
            plain_ = std::thread(std::move(code));
        }
    }
    ~Waiter() { join(); }
    void join()
    {
        if (thread_)
            thread_->stop(true);
        else if (plain_.joinable())
            plain_.join();
    }

private:
    std::unique_ptr<TestThread> thread_;
    std::thread plain_;
};

} // namespace

TEST(Monitor, WaitByANonOwnerAnswers3WithoutWaiting)
{
    Monitor m;
    for (Runner r : allRunners) {
        SCOPED_TRACE(runnerName(r));
        int onFree = -1;
        int64_t elapsed = -1;
        runOn(r, [&] {
            const int64_t t0 = monotonicMillis();
            onFree = m.wait(5000);
            elapsed = monotonicMillis() - t0;
        });
        EXPECT_EQ(onFree, Monitor::NotOwner);
        EXPECT_LT(elapsed, 2500); // well before the wait's time-out
    }

    // Held by the main thread, which is no Thread: another thread that is no Thread
    // either must not pass for the owner.
    m.lock();
    for (Runner r : {Runner::PlainThread, Runner::WorkerThread}) {
        SCOPED_TRACE(runnerName(r));
        int answer = -1;
        int64_t elapsed = -1;
        runOn(r, [&] {
            const int64_t t0 = monotonicMillis();
            answer = m.wait(5000);
            elapsed = monotonicMillis() - t0;
            m.unlock(); // not the holder: releases nothing
        });
        EXPECT_EQ(answer, Monitor::NotOwner);
        EXPECT_LT(elapsed, 2500); // well before the wait's time-out
        EXPECT_TRUE(m.isHeldByCurrentThread());
        EXPECT_EQ(m.getLockCount(), 1);
    }
    m.unlock();
    EXPECT_FALSE(m.isHeldByCurrentThread());
    EXPECT_EQ(m.getLockCount(), 0);
}

TEST(Monitor, TimedOutWaitAnswers0AndRestoresEveryLevel)
{
    Monitor m;
    for (Runner r : allRunners) {
        SCOPED_TRACE(runnerName(r));
        int answer = -1, countAfter = -1;
        bool heldAfter = false;
        int64_t elapsed = -1;
        runOn(r, [&] {
            m.lock();
            m.lock();
            const int64_t t0 = monotonicMillis();
            answer = m.wait(100);
            elapsed = monotonicMillis() - t0;
            countAfter = m.getLockCount();
            heldAfter = m.isHeldByCurrentThread();
            m.unlock();
            m.unlock();
        });
        EXPECT_EQ(answer, Monitor::TimedOut);
        EXPECT_GE(elapsed, 100);
        EXPECT_LT(elapsed, 2000);
        EXPECT_EQ(countAfter, 2);
        EXPECT_TRUE(heldAfter);
        EXPECT_EQ(m.getLockCount(), 0);
    }
}

TEST(Monitor, WaitGivesUpEveryLevelSoAnotherThreadCanNotify)
{
    for (Runner r : allRunners) {
        SCOPED_TRACE(runnerName(r));
        Monitor m;
        bool entered = false; // guarded by m
        int answer = -1, countAfter = -1;
        runOn(r, [&] {
            std::thread notifier;
            {
                MonitorLock a(m);
                MonitorLock b(m);
                MonitorLock c(m);
                notifier = std::thread([&] {
                    MonitorLock g(m); // only possible once every level is given up
                    entered = true;
                    m.notify();
                });
                while (!entered) {
                    answer = m.wait(5000);
                    if (answer != Monitor::Notified)
                        break;
                }
                countAfter = m.getLockCount();
            }
            notifier.join();
        });
        EXPECT_EQ(answer, Monitor::Notified);
        EXPECT_TRUE(entered);
        EXPECT_EQ(countAfter, 3);
        EXPECT_EQ(m.getLockCount(), 0);
    }
}

TEST(Monitor, NotifyWakesTheLongestWaitingOneAtATime)
{
    Monitor m;
    // All guarded by m.
    std::vector<bool> waiting(3, false);
    std::vector<int> wokeInOrder;
    std::vector<int> notifiesSeenAtWake(3, -1);
    std::vector<int> answers(3, -1);
    int notifies = 0;

    const Runner kinds[3] = {Runner::WorkerThread, Runner::PlainThread, Runner::WorkerThread};
    std::vector<std::unique_ptr<Waiter>> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back(new Waiter(kinds[i], [&, i] {
            MonitorLock g(m);
            waiting[i] = true;
            answers[i] = m.wait(10000);
            wokeInOrder.push_back(i);
            notifiesSeenAtWake[i] = notifies;
        }));
        // Seen under the monitor, the flag means the waiter is on the list: it holds
        // the monitor from setting the flag until it waits.
        ASSERT_TRUE(awaitCondition([&] {
            MonitorLock g(m);
            return bool(waiting[i]);
        }));
    }
    for (int k = 0; k < 3; ++k) {
        {
            MonitorLock g(m);
            ++notifies;
            m.notify();
        }
        ASSERT_TRUE(awaitCondition([&] {
            MonitorLock g(m);
            return int(wokeInOrder.size()) == k + 1;
        }));
    }
    for (auto& w : waiters)
        w->join();
    EXPECT_EQ(wokeInOrder, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(notifiesSeenAtWake, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(answers, (std::vector<int>(3, Monitor::Notified)));
}

TEST(Monitor, NotifyWithNobodyWaitingIsNotRemembered)
{
    for (Runner r : allRunners) {
        SCOPED_TRACE(runnerName(r));
        Monitor m;
        int answer = -1;
        int64_t elapsed = -1;
        runOn(r, [&] {
            m.notify();
            MonitorLock g(m);
            m.notify();
            const int64_t t0 = monotonicMillis();
            answer = m.wait(100);
            elapsed = monotonicMillis() - t0;
        });
        EXPECT_EQ(answer, Monitor::TimedOut);
        EXPECT_GE(elapsed, 100);
    }
}

TEST(Monitor, HandOffBetweenThreadKindsLosesNoNotification)
{
    // Two threads take turns 2000 times, each notifying the other after its move: a
    // notify lost between giving up the monitor and blocking would stall a turn.
    Monitor m;
    int turn = 0;        // guarded by m
    int moves = 0;       // guarded by m
    int timeouts = 0;    // guarded by m
    const int rounds = 2000;
    auto player = [&](int me) {
        for (int i = 0; i < rounds; ++i) {
            MonitorLock g(m);
            while (turn != me) {
                if (m.wait(5000) == Monitor::TimedOut)
                    ++timeouts;
            }
            ++moves;
            turn = 1 - me;
            m.notify();
        }
    };
    TestThread worker([&](TestThread&) { player(1); });
    worker.start();
    player(0);
    worker.stop(true);
    EXPECT_EQ(moves, 2 * rounds);
    EXPECT_EQ(timeouts, 0);
}

TEST(Monitor, NotifiesRacingWaitsAreNeitherLostNorLeftOver)
{
    // Two threads notify without pause while four others wait, alternately briefly and
    // long. A notify that lands while a waiter gives up the monitor must still wake it
    // (else a long wait runs its whole time), and one that lands as a brief wait times
    // out must not cut a later wait short.
    Monitor m;
    std::atomic<bool> stopNotifying{false};
    std::atomic<bool> notifiersStopped{false};
    std::atomic<int> racing{4};
    std::atomic<int> cutShort{0};
    std::atomic<int> ranLong{0};
    std::vector<int> finalAnswers(4, -1);
    std::vector<int64_t> finalWaits(4, -1);

    auto notifierBody = [&] {
        while (!stopNotifying)
            m.notify();
    };
    auto waiterBody = [&](int i) {
        for (int k = 0; k < 1000; ++k) {
            const int timeout = k % 2 ? 0 : 10000;
            MonitorLock g(m);
            const int64_t t0 = monotonicMillis();
            const int answer = m.wait(timeout);
            const int64_t elapsed = monotonicMillis() - t0;
            if (answer == Monitor::TimedOut && elapsed < timeout)
                ++cutShort;
            if (elapsed >= 5000)
                ++ranLong;
        }
        --racing;
        ASSERT_TRUE(awaitCondition([&] { return notifiersStopped.load(); }, 30000));
        MonitorLock g(m);
        const int64_t t0 = monotonicMillis();
        finalAnswers[i] = m.wait(50);
        finalWaits[i] = monotonicMillis() - t0;
    };

    Waiter notifierA(Runner::WorkerThread, notifierBody);
    Waiter notifierB(Runner::PlainThread, notifierBody);
    std::vector<std::unique_ptr<Waiter>> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back(new Waiter(i % 2 ? Runner::PlainThread : Runner::WorkerThread,
                                        [&, i] { waiterBody(i); }));
    ASSERT_TRUE(awaitCondition([&] { return racing == 0; }, 60000));
    stopNotifying = true;
    notifierA.join();
    notifierB.join();
    notifiersStopped = true;
    for (auto& w : waiters)
        w->join();
    EXPECT_EQ(cutShort, 0);
    EXPECT_EQ(ranLong, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(finalAnswers[i], Monitor::TimedOut) << i;
        EXPECT_GE(finalWaits[i], 50) << i;
    }
}

TEST(MonitorLock, ReleasesOneLevelAlsoWhenAnExceptionLeaves)
{
    Monitor m;
    m.lock();
    try {
        MonitorLock g(m);
        EXPECT_EQ(m.getLockCount(), 2);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(m.getLockCount(), 1);
    EXPECT_TRUE(m.isHeldByCurrentThread());
    m.unlock();
    EXPECT_EQ(m.getLockCount(), 0);

    // Free again: another thread takes it at once.
    bool tookIt = false;
    std::thread([&] {
        MonitorLock g(m);
        tookIt = m.isHeldByCurrentThread();
    }).join();
    EXPECT_TRUE(tookIt);
}
