#pragma once

// Helpers for the pool and server tests: a job whose body the test supplies, and a marker
// that counts the OS threads that have ended. The latch that holds jobs and handlers is the
// thread tests' one.

#include "network/IRunnable.h"
#include "tests/foundation/ThreadTestSupport.h"

#include <atomic>
#include <functional>
#include <utility>

namespace orvane::testing {

// A job with a body from the test; counts its own destruction.
class Job : public IRunnable {
public:
    explicit Job(std::function<void()> body, bool deleteSelf = true,
                 std::atomic<int>* destroyed = nullptr)
        : body_(std::move(body)), deleteSelf_(deleteSelf), destroyed_(destroyed)
    {
    }
    ~Job() override
    {
        if (destroyed_)
            ++*destroyed_;
    }
    void run() override { body_(); }
    bool deleteWhenDone() override { return deleteSelf_; }

private:
    std::function<void()> body_;
    bool deleteSelf_;
    std::atomic<int>* destroyed_;
};

// Counts OS threads that have ended: a thread that calls mark() adds one to the count when it
// exits (thread-local destructors run before a join of the thread returns).
class ThreadExitCounter {
public:
    void mark()
    {
        thread_local Marker marker;
        marker.counter = &ended_;
    }
    int ended() const { return ended_.load(); }

private:
    struct Marker {
        std::atomic<int>* counter = nullptr;
        ~Marker()
        {
            if (counter)
                ++*counter;
        }
    };
    std::atomic<int> ended_{0};
};

} // namespace orvane::testing
