// The event loop, its listener and the work queue, each run on real threads and real
// descriptors: what a handler may rely on when others remove it in the same round, the
// order of tasks and timers, wake-ups, errors that must not vanish, a listener that runs
// out of descriptors, and the bound of the work queue.

#include "network/EventLoop.h"
#include "network/LoopAcceptor.h"
#include "network/WorkQueue.h"

#include "../foundation/ThreadTestSupport.h"
#include "tests/support/RawLoopback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace orvane;
using orvane::testing::awaitCondition;
using orvane::testing::Latch;

namespace {

// Runs the work on the loop's thread and waits until it has run.
void onLoop(EventLoop& loop, const std::function<void()>& work)
{
    Latch done;
    loop.post([&] {
        work();
        done.open();
    });
    done.await();
}

// A handler that counts its calls and, when called, removes and deletes its partner.
struct Partner : EventLoop::Handler {
    EventLoop* loop = nullptr;
    EventLoop::HandlerId id = 0;
    Partner** other = nullptr;
    Partner** self = nullptr;
    std::atomic<int>* calls = nullptr;

    void onReady(uint32_t) override
    {
        ++*calls;
        if (*other) {
            loop->remove((*other)->id);
            delete *other;
            *other = nullptr;
        }
        // Read the byte so that this side is not ready again.
        char c;
        ssize_t ignored = ::read(fd, &c, 1);
        (void)ignored;
    }
    int fd = -1;
};

TEST(EventLoop, AHandlerRemovedInARoundGetsNothingMoreNotEvenFromThatRound)
{
    EventLoop loop;
    int first[2], second[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, first), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, second), 0);
    std::atomic<int> calls{0};
    Partner* a = new Partner;
    Partner* b = new Partner;
    a->loop = b->loop = &loop;
    a->calls = b->calls = &calls;
    a->other = &b;
    b->other = &a;
    a->fd = first[0];
    b->fd = second[0];
    a->id = loop.add(first[0], EPOLLIN, *a);
    b->id = loop.add(second[0], EPOLLIN, *b);
    // Both are ready before the loop's first round: it collects both events at once.
    ASSERT_EQ(::write(first[1], "x", 1), 1);
    ASSERT_EQ(::write(second[1], "x", 1), 1);
    loop.start();
    EXPECT_TRUE(awaitCondition([&] { return calls.load() >= 1; }));
    onLoop(loop, [] {});
    loop.stop();
    // The first one called deleted the other: a call into it would be a use after free.
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE((a == nullptr) != (b == nullptr));
    delete a;
    delete b;
    for (int fd : {first[0], first[1], second[0], second[1]})
        ::close(fd);
}

TEST(EventLoop, TasksFromManyThreadsRunOnTheLoopThreadInTheOrderEachPostedThem)
{
    EventLoop loop;
    loop.start();
    constexpr int Threads = 4, Tasks = 500;
    std::vector<std::vector<int>> seen(Threads); // touched on the loop's thread only
    std::atomic<int> offLoop{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < Threads; ++t)
        posters.emplace_back([&, t] {
            for (int k = 0; k < Tasks; ++k)
                loop.post([&, t, k] {
                    offLoop += !loop.isLoopThread();
                    seen[static_cast<size_t>(t)].push_back(k);
                });
        });
    for (std::thread& p : posters)
        p.join();
    onLoop(loop, [] {});
    loop.stop();
    EXPECT_EQ(offLoop.load(), 0);
    for (int t = 0; t < Threads; ++t) {
        ASSERT_EQ(seen[static_cast<size_t>(t)].size(), static_cast<size_t>(Tasks));
        for (int k = 0; k < Tasks; ++k)
            EXPECT_EQ(seen[static_cast<size_t>(t)][static_cast<size_t>(k)], k);
    }
}

struct WakeCounter : EventLoop::Handler {
    void onReady(uint32_t) override {}
    void onWake() override { ++wakes; }
    std::atomic<int> wakes{0};
};

TEST(EventLoop, AWakeFromAnyThreadReachesTheHandlerUntilItIsRemoved)
{
    EventLoop loop;
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    WakeCounter handler;
    const EventLoop::HandlerId id = loop.add(pair[0], 0, handler);
    loop.start();
    std::thread other([&] { loop.wake(id); });
    other.join();
    EXPECT_TRUE(awaitCondition([&] { return handler.wakes.load() == 1; }));
    // A wake asked for on the loop's own thread is served in the same round.
    onLoop(loop, [&] { loop.wake(id); });
    onLoop(loop, [] {});
    EXPECT_EQ(handler.wakes.load(), 2);
    onLoop(loop, [&] { loop.remove(id); });
    loop.wake(id);
    onLoop(loop, [] {});
    loop.stop();
    EXPECT_EQ(handler.wakes.load(), 2);
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST(EventLoop, TimersRunInTheOrderOfTheirDeadlinesAndCancelledOnesNever)
{
    EventLoop loop;
    loop.start();
    std::vector<int> order; // loop thread only
    Latch last;
    onLoop(loop, [&] {
        loop.runAfter(60, [&] {
            order.push_back(60);
            last.open();
        });
        loop.runAfter(20, [&] { order.push_back(20); });
        const EventLoop::TimerId cancelled = loop.runAfter(30, [&] { order.push_back(30); });
        loop.runAfter(40, [&] { order.push_back(40); });
        loop.runAfter(0, [&] { order.push_back(0); });
        loop.cancel(cancelled);
    });
    last.await();
    loop.stop();
    EXPECT_EQ(order, (std::vector<int>{0, 20, 40, 60}));
}

TEST(EventLoop, WhatATaskOrHandlerThrowsGoesToTheSinkAndTheLoopGoesOn)
{
    EventLoop loop;
    std::mutex lock;
    std::vector<std::string> reported;
    loop.setErrorSink([&](const char* what) {
        std::lock_guard<std::mutex> g(lock);
        reported.push_back(what);
    });
    loop.start();
    loop.post([] { throw std::runtime_error("task failed"); });
    loop.post([] { throw TimeoutException(); });
    std::atomic<bool> ranAfter{false};
    onLoop(loop, [&] { ranAfter.store(true); });
    loop.stop();
    EXPECT_TRUE(ranAfter.load());
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0], "task failed");
    EXPECT_NE(reported[1].find("did not catch"), std::string::npos) << reported[1];
}

// ---- LoopAcceptor ---------------------------------------------------------------------------

struct AcceptLog : LoopAcceptor::Owner {
    void onAccepted(int fd, const SocketAddress&) override
    {
        ++accepted;
        ::close(fd);
    }
    void onAcceptFailed(int error, bool closed) override
    {
        std::lock_guard<std::mutex> g(lock);
        failures.emplace_back(error, closed);
    }
    std::vector<std::pair<int, bool>> failuresNow()
    {
        std::lock_guard<std::mutex> g(lock);
        return failures;
    }
    std::atomic<int> accepted{0};
    std::mutex lock;
    std::vector<std::pair<int, bool>> failures;
};

int highestOpenDescriptor()
{
    int highest = -1;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.')
            highest = std::max(highest, std::atoi(e->d_name));
    ::closedir(dir);
    return highest;
}

// Stops the loop as the test leaves, before what its handlers use goes.
struct StopOnExit {
    EventLoop& loop;
    ~StopOnExit() { loop.stop(); }
};

TEST(LoopAcceptor, WithoutDescriptorsItClosesTheConnectionTellsTheOwnerAndLaterAcceptsAgain)
{
    EventLoop loop;
    AcceptLog owner;
    LoopAcceptor acceptor(loop, owner);
    SocketAddress address;
    address.setHost("127.0.0.1", 0);
    acceptor.listen(address, 16);
    loop.start();
    StopOnExit stopper{loop};
    sockaddr_in to = orvane::testing::loopbackAddress(acceptor.address().getPort());
    const int first = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int refused = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int later = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // One ordinary accept first: the sanitizers check each kind of call once, and their
    // check needs a descriptor, which the rest of the test has none of.
    ASSERT_EQ(::connect(first, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ASSERT_TRUE(awaitCondition([&] { return owner.accepted.load() == 1 && owner.failuresNow().empty(); }));
    owner.onAcceptFailed(0, false);
    owner.failures.clear();

    // Every descriptor number this process may have is taken.
    rlimit before{};
    ::getrlimit(RLIMIT_NOFILE, &before);
    rlimit tight = before;
    tight.rlim_cur = static_cast<rlim_t>(highestOpenDescriptor() + 1);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::vector<int> fillers;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        fillers.push_back(fd);
    const int openError = errno;

    ASSERT_EQ(::connect(refused, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    EXPECT_TRUE(awaitCondition([&] { return !owner.failuresNow().empty(); }));
    // Closed, not left hanging in the backlog.
    char c;
    EXPECT_TRUE(orvane::testing::readableBefore(refused, std::chrono::steady_clock::now() + std::chrono::seconds(5)));
    EXPECT_LE(::recv(refused, &c, 1, 0), 0);

    for (int fd : fillers)
        ::close(fd);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &before), 0);
    EXPECT_EQ(openError, EMFILE);
    ASSERT_EQ(::connect(later, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    EXPECT_TRUE(awaitCondition([&] { return owner.accepted.load() == 2; }));
    loop.stop();
    const auto failures = owner.failuresNow();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], std::make_pair(EMFILE, true));
    for (int fd : {first, refused, later})
        ::close(fd);
}

// ---- WorkQueue ------------------------------------------------------------------------------

TEST(WorkQueue, AtMostItsThreadsRunJobsAtOnceAndTheRestWaitInOrder)
{
    WorkQueue queue(2);
    queue.start();
    Latch gate;
    std::atomic<int> running{0}, most{0};
    std::mutex lock;
    std::vector<int> started;
    for (int k = 0; k < 8; ++k)
        ASSERT_TRUE(queue.submit([&, k] {
            const int now = ++running;
            for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            {
                std::lock_guard<std::mutex> g(lock);
                started.push_back(k);
            }
            gate.await();
            --running;
        }));
    EXPECT_TRUE(awaitCondition([&] { return running.load() == 2; }));
    EXPECT_EQ(queue.waiting(), 6);
    gate.open();
    EXPECT_TRUE(awaitCondition([&] { return queue.waiting() == 0 && running.load() == 0; }));
    queue.stop();
    EXPECT_EQ(most.load(), 2);
    EXPECT_EQ(started.size(), 8u);

    // One thread shows the order in which jobs are taken.
    WorkQueue single(1);
    single.start();
    std::vector<int> order;
    for (int k = 0; k < 5; ++k)
        single.submit([&order, k] { order.push_back(k); });
    EXPECT_TRUE(awaitCondition([&] { return single.waiting() == 0; }));
    single.stop();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(WorkQueue, KeysTakeTurnsOneJobEachAndALineHoldsAtMostItsBound)
{
    WorkQueue queue(1);
    queue.start();
    Latch inside, gate;
    std::vector<std::string> order;
    // The one thread is held while the lines fill, so that the order they are taken in shows.
    ASSERT_TRUE(queue.submit([&] {
        inside.open();
        gate.await();
    }));
    inside.await();
    auto job = [&order](std::string name) { return [&order, name] { order.push_back(name); }; };
    const uint64_t a = 1, b = 2, c = 3;
    for (const char* name : {"a1", "a2", "a3"})
        EXPECT_EQ(queue.submit(a, job(name), 3), WorkQueue::Submitted::Queued);
    EXPECT_EQ(queue.submit(a, job("a4"), 3), WorkQueue::Submitted::Full) << "a's line holds three already";
    EXPECT_EQ(queue.submit(b, job("b1"), 3), WorkQueue::Submitted::Queued);
    EXPECT_EQ(queue.submit(c, job("c1"), 0), WorkQueue::Submitted::Queued);
    EXPECT_EQ(queue.submit(c, job("c2"), 0), WorkQueue::Submitted::Queued);
    EXPECT_TRUE(queue.submit(job("none1")));
    EXPECT_EQ(queue.waiting(a), 3);
    EXPECT_EQ(queue.waiting(c), 2);
    EXPECT_EQ(queue.waiting(4), 0);
    EXPECT_EQ(queue.waiting(), 7);

    gate.open();
    EXPECT_TRUE(awaitCondition([&] { return queue.waiting() == 0; }));
    queue.stop();
    // Rounds in the order the lines first had work; jobs without a key share one line.
    EXPECT_EQ(order, (std::vector<std::string>{"a1", "b1", "c1", "none1", "a2", "c2", "a3"}));
    EXPECT_EQ(queue.submit(a, job("late"), 3), WorkQueue::Submitted::Stopping);
}

TEST(WorkQueue, StoppingDropsWaitingJobsFinishesRunningOnesAndRefusesNewOnes)
{
    WorkQueue queue(1);
    std::mutex lock;
    std::vector<std::string> reported;
    queue.setErrorSink([&](const char* what) {
        std::lock_guard<std::mutex> g(lock);
        reported.push_back(what);
    });
    queue.start();
    ASSERT_TRUE(queue.submit([] { throw std::runtime_error("job failed"); }));
    Latch inside, gate;
    std::atomic<int> finished{0}, dropped{0};
    ASSERT_TRUE(queue.submit([&] {
        inside.open();
        gate.await();
        ++finished;
    }));
    ASSERT_TRUE(queue.submit([&] { ++dropped; }));
    inside.await();
    std::thread stopper([&] { queue.stop(); });
    // The stop waits for the running job; the waiting one is gone already.
    EXPECT_TRUE(awaitCondition([&] { return queue.waiting() == 0; }));
    EXPECT_FALSE(queue.submit([&] { ++dropped; }));
    gate.open();
    stopper.join();
    EXPECT_EQ(finished.load(), 1);
    EXPECT_EQ(dropped.load(), 0);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], "job failed");
}

} // namespace
