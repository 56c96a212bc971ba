#pragma once

// Helpers for the pool and server tests: a latch to hold jobs and handlers, a job whose body
// the test supplies, and a marker that counts the OS threads that have ended.

#include "network/IRunnable.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>

namespace orvane::testing {

// A one-shot gate that holds threads until it is opened.
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
