#pragma once

#include "foundation/Clock.h"
#include "foundation/Thread.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace orvane {
namespace testing {

// A one-shot gate that holds threads until it is opened; they block on it without
// sleeping.
class Latch {
public:
    void open()
    {
        std::lock_guard<std::mutex> g(m_);
        open_ = true;
        cv_.notify_all();
    }
    void await()
    {
        std::unique_lock<std::mutex> g(m_);
        cv_.wait(g, [&] { return open_; });
    }
    bool isOpen()
    {
        std::lock_guard<std::mutex> g(m_);
        return open_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

// Polls a condition until it holds or timeoutMs pass; answers whether it held.
inline bool awaitCondition(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    const int64_t deadline = monotonicMillis() + timeoutMs;
    while (!condition()) {
        if (monotonicMillis() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A Thread whose body, self-deletion and destruction the test supplies.
class TestThread : public Thread {
public:
    explicit TestThread(std::function<void(TestThread&)> body, bool deleteSelf = false)
        : body_(std::move(body)), deleteSelf_(deleteSelf)
    {
        init();
    }
    ~TestThread() override
    {
        if (onDestroy)
            onDestroy();
    }

    void run() override { body_(*this); }
    bool deleteWhenDone() override
    {
        if (onAskedToDelete)
            onAskedToDelete(*this);
        return deleteSelf_;
    }

    using Thread::stopRequested;
    std::function<void()> onDestroy;
    std::function<void(TestThread&)> onAskedToDelete;

private:
    std::function<void(TestThread&)> body_;
    bool deleteSelf_;
};

} // namespace testing
} // namespace orvane
