#include "modules/video/SessionReaper.h"

#include <utility>

namespace orvane {

void SessionReaper::reap(Job job)
{
    if (!job)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    jobs_.push_back(std::move(job));
    if (!thread_.joinable()) {
        quit_ = false;
        thread_ = std::thread([this] { loop(); });
    }
    changed_.notify_all();
}

void SessionReaper::finish()
{
    std::thread ending;
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
        ending = std::move(thread_);
    }
    changed_.notify_all();
    if (ending.joinable())
        ending.join();
}

int SessionReaper::pending()
{
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(jobs_.size()) + (busy_ ? 1 : 0);
}

void SessionReaper::loop()
{
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
        if (jobs_.empty())
            return; // quit with nothing left
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        job();
        job = nullptr; // what the job held goes here, off the caller's thread
        lock.lock();
        busy_ = false;
    }
}

} // namespace orvane
