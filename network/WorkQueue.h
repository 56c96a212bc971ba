#pragma once

#include "network/ErrorSink.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {

// A fixed number of threads that run jobs in the order they were handed in. Handing a job
// in never waits, so an event loop can pass on work it must not wait for; the number of
// threads is the bound on how many jobs run at once, and the rest wait in the queue.
// Unlike ThreadPool, it never makes or removes a thread after start.
class WorkQueue {
public:
    using Job = std::function<void()>;

    explicit WorkQueue(int threads);
    // Stops when still running.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // Told, on the worker's thread, what a job threw. Set before start.
    void setErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }

    // Starts the threads; ThreadCreateException when one cannot be made (those made
    // before it are stopped again).
    void start();
    // Drops the jobs that wait, lets the running ones finish and waits for every thread.
    // Not from a job.
    void stop();

    // Queues the job; false once stopping (the job is dropped).
    bool submit(Job job);

    // Jobs waiting for a thread.
    int waiting();
    int threadCount() const { return threadCount_; }

private:
    void work();

    const int threadCount_;
    ErrorSink errorSink_;
    std::vector<std::thread> threads_;
    std::mutex lock_; // guards jobs_ and stopping_
    std::condition_variable ready_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
};

} // namespace orvane
