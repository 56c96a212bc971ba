#include "foundation/MessageThread.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace orvane {

namespace {

void reportToStandardError(const char* text)
{
    std::fprintf(stderr, "orvane: message thread: %s\n", text);
}

} // namespace

MessageThread::MessageThread(Handler handler, Reporter reporter)
    : handler_(std::move(handler)), reporter_(reporter ? std::move(reporter) : Reporter(reportToStandardError))
{
}

MessageThread::~MessageThread()
{
    quit();
    join();
}

void MessageThread::start()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (started_)
        return;
    started_ = true;
    thread_ = std::thread([this] { loop(); });
}

bool MessageThread::post(unsigned id, uintptr_t wParam, intptr_t lParam)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (ended_ || quitAfterQueue_)
            return false;
        queue_.push_back(Message{id, wParam, lParam});
    }
    posted_.notify_one();
    return true;
}

void MessageThread::quit()
{
    if (isCurrentThread()) {
        quitNow_ = true;
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        quitAfterQueue_ = true;
        if (!started_)
            ended_ = true;
    }
    posted_.notify_one();
}

void MessageThread::join()
{
    if (isCurrentThread())
        return;
    std::lock_guard<std::mutex> guard(joinLock_);
    if (thread_.joinable())
        thread_.join();
}

size_t MessageThread::pending() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return queue_.size();
}

bool MessageThread::hasEnded() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return ended_;
}

void MessageThread::loop()
{
    for (;;) {
        Message message;
        {
            std::unique_lock<std::mutex> guard(lock_);
            posted_.wait(guard, [this] { return !queue_.empty() || quitAfterQueue_; });
            if (queue_.empty())
                break;
            message = queue_.front();
            queue_.pop_front();
        }
        try {
            handler_(message);
        } catch (const std::exception& e) {
            reporter_(e.what());
        } catch (...) {
            reporter_("a message handler threw");
        }
        if (quitNow_)
            break;
    }
    std::lock_guard<std::mutex> guard(lock_);
    ended_ = true;
    queue_.clear();
}

} // namespace orvane
