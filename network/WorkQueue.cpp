#include "network/WorkQueue.h"

#include "foundation/Exception.h"

#include <system_error>

namespace orvane {

WorkQueue::WorkQueue(int threads) : threadCount_(threads < 1 ? 1 : threads) {}

WorkQueue::~WorkQueue()
{
    stop();
}

void WorkQueue::start()
{
    try {
        for (int i = 0; i < threadCount_; ++i)
            threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        stop();
        throw ThreadCreateException();
    }
}

void WorkQueue::stop()
{
    std::deque<Job> dropped;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        dropped.swap(jobs_);
    }
    ready_.notify_all();
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
}

bool WorkQueue::submit(Job job)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_)
            return false;
        jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
    return true;
}

int WorkQueue::waiting()
{
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(jobs_.size());
}

void WorkQueue::work()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock_);
            ready_.wait(guard, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        runReportingErrors(errorSink_, job);
    }
}

} // namespace orvane
