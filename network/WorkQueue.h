#pragma once

#include "network/ErrorSink.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace orvane {

// A fixed number of threads that run jobs handed in. Handing a job in never waits, so an
// event loop can pass on work it must not wait for; the number of threads is the bound on
// how many jobs run at once, and the rest wait their turn. Unlike ThreadPool, it never
// makes or removes a thread after start.
//
// Jobs wait in lines, one per key (a server keys them by the client's address): the
// threads take jobs in rounds over the lines that hold any, one job of each line per
// round, and from one line in the order they were handed in. So a key with many jobs
// waiting holds back another key's first job by one round, not by all of its own; and a
// line may be bounded, so that one key cannot fill the queue. Jobs handed in without a key
// share one line of their own.
class WorkQueue {
public:
    using Job = std::function<void()>;
    // What became of a job handed in.
    enum class Submitted { Queued, Full, Stopping };

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

    // Queues the job in the line without a key; false once stopping (the job is dropped).
    bool submit(Job job);
    // Queues the job in the key's line; Full when that line already holds maxWaiting jobs
    // (0 or less: no bound), Stopping once stopping; the job is dropped unless Queued.
    Submitted submit(uint64_t key, Job job, int maxWaiting);

    // Jobs waiting for a thread, in all and in the key's line.
    int waiting();
    int waiting(uint64_t key);
    int threadCount() const { return threadCount_; }

private:
    // The line of the jobs handed in without a key; keys of servers are 32-bit addresses.
    static constexpr uint64_t UnkeyedLine = ~uint64_t(0);

    void work();

    const int threadCount_;
    ErrorSink errorSink_;
    std::vector<std::thread> threads_;
    std::mutex lock_; // guards lines_, turns_, waiting_ and stopping_
    std::condition_variable ready_;
    // The lines that hold jobs; a line that empties is removed.
    std::unordered_map<uint64_t, std::deque<Job>> lines_;
    // The keys of lines_, each once, in the order of their next turn.
    std::deque<uint64_t> turns_;
    int waiting_ = 0;
    bool stopping_ = false;
};

} // namespace orvane
