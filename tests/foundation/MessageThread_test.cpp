#include "foundation/MessageThread.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

using namespace orvane;

namespace {

// Records what the thread handled, and lets the test wait for a count.
struct Log {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<unsigned> ids;
    std::vector<std::string> reports;

    void add(unsigned id)
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            ids.push_back(id);
        }
        changed.notify_all();
    }
    std::vector<unsigned> waitFor(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return ids.size() >= count; });
        return ids;
    }
};

} // namespace

TEST(MessageThread, HandlesMessagesInTheOrderPostedWithTheirParameters)
{
    Log log;
    std::vector<std::pair<uintptr_t, intptr_t>> params;
    MessageThread thread([&](const MessageThread::Message& m) {
        params.emplace_back(m.wParam, m.lParam);
        log.add(m.id);
    });
    // Posted before the start: kept for the loop.
    EXPECT_TRUE(thread.post(1, 10, -1));
    thread.start();
    for (unsigned id = 2; id <= 50; ++id)
        EXPECT_TRUE(thread.post(id, id * 10, -static_cast<intptr_t>(id)));
    const std::vector<unsigned> ids = log.waitFor(50);
    for (unsigned id = 1; id <= 50; ++id)
        ASSERT_EQ(ids[id - 1], id);
    thread.quit();
    thread.join();
    EXPECT_EQ(params[4], (std::pair<uintptr_t, intptr_t>(50, -5)));
}

TEST(MessageThread, QuitFromTheHandlerEndsAfterTheCurrentMessage)
{
    Log log;
    std::mutex gate;
    gate.lock(); // holds the thread in its first message until all are posted
    MessageThread* self = nullptr;
    MessageThread thread([&](const MessageThread::Message& m) {
        if (m.id == 1) {
            std::lock_guard<std::mutex> wait(gate);
        }
        log.add(m.id);
        if (m.id == 2)
            self->quit();
    });
    self = &thread;
    thread.start();
    thread.post(1);
    thread.post(2);
    thread.post(3);
    gate.unlock();
    thread.join();
    EXPECT_EQ(log.ids, (std::vector<unsigned>{1, 2}));
    EXPECT_TRUE(thread.hasEnded());
    EXPECT_FALSE(thread.post(4)) << "an ended loop takes nothing";
}

TEST(MessageThread, QuitFromOutsideLetsTheQueuedMessagesRunFirst)
{
    Log log;
    std::mutex gate;
    gate.lock();
    MessageThread thread([&](const MessageThread::Message& m) {
        if (m.id == 1) {
            std::lock_guard<std::mutex> wait(gate);
        }
        log.add(m.id);
    });
    thread.start();
    for (unsigned id = 1; id <= 4; ++id)
        thread.post(id);
    thread.quit();
    EXPECT_FALSE(thread.post(5)) << "nothing is queued behind a quit";
    gate.unlock();
    thread.join();
    EXPECT_EQ(log.ids, (std::vector<unsigned>{1, 2, 3, 4}));
}

TEST(MessageThread, AThrowingHandlerIsReportedAndTheLoopGoesOn)
{
    Log log;
    MessageThread thread(
        [&](const MessageThread::Message& m) {
            if (m.id == 1)
                throw std::runtime_error("broken message");
            log.add(m.id);
        },
        [&](const char* text) {
            std::lock_guard<std::mutex> guard(log.lock);
            log.reports.push_back(text);
        });
    thread.start();
    thread.post(1);
    thread.post(2);
    log.waitFor(1);
    thread.quit();
    thread.join();
    EXPECT_EQ(log.reports, (std::vector<std::string>{"broken message"}));
    EXPECT_EQ(log.ids, (std::vector<unsigned>{2}));
}

TEST(MessageThread, AThreadNeverStartedEndsAtOnce)
{
    bool ran = false;
    {
        MessageThread thread([&](const MessageThread::Message&) { ran = true; });
        thread.post(1);
    }
    EXPECT_FALSE(ran);
}
