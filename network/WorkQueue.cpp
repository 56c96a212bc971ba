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
    std::unordered_map<uint64_t, std::deque<Job>> dropped;
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        dropped.swap(lines_);
        turns_.clear();
        waiting_ = 0;
    }
    ready_.notify_all();
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
}

bool WorkQueue::submit(Job job)
{
    return submit(UnkeyedLine, std::move(job), 0) == Submitted::Queued;
}

WorkQueue::Submitted WorkQueue::submit(uint64_t key, Job job, int maxWaiting)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_)
            return Submitted::Stopping;
        auto [line, added] = lines_.try_emplace(key);
        if (maxWaiting > 0 && static_cast<int>(line->second.size()) >= maxWaiting)
            return Submitted::Full;
        line->second.push_back(std::move(job));
        if (added)
            turns_.push_back(key);
        ++waiting_;
    }
    ready_.notify_one();
    return Submitted::Queued;
}

int WorkQueue::waiting()
{
    std::lock_guard<std::mutex> guard(lock_);
    return waiting_;
}

int WorkQueue::waiting(uint64_t key)
{
    std::lock_guard<std::mutex> guard(lock_);
    const auto line = lines_.find(key);
    return line == lines_.end() ? 0 : static_cast<int>(line->second.size());
}

void WorkQueue::work()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock_);
            ready_.wait(guard, [this] { return stopping_ || waiting_ > 0; });
            if (stopping_)
                return;
            // The line whose turn it is gives one job and, if it holds more, goes to the
            // back of the round.
            const uint64_t key = turns_.front();
            turns_.pop_front();
            auto line = lines_.find(key);
            job = std::move(line->second.front());
            line->second.pop_front();
            if (line->second.empty())
                lines_.erase(line);
            else
                turns_.push_back(key);
            --waiting_;
        }
        runReportingErrors(errorSink_, job);
    }
}

} // namespace orvane
