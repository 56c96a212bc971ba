#include "network/EventLoop.h"

#include "foundation/Clock.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"

#include <cerrno>
#include <climits>
#include <sys/epoll.h>
#include <system_error>
#include <unistd.h>

namespace orvane {

namespace {

// The wake-up descriptor's id in the epoll set; handlers count from 1.
constexpr EventLoop::HandlerId WakeId = 0;
constexpr int EventsPerRound = 256;

} // namespace

EventLoop::Handler::~Handler() = default;

void EventLoop::Handler::onWake() {}

EventLoop::EventLoop()
{
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = WakeId;
    if (epollFd_ < 0 || !wake_.isOk() || ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wake_.fd(), &event) != 0) {
        if (epollFd_ >= 0)
            ::close(epollFd_);
        throw SocketException();
    }
}

EventLoop::~EventLoop()
{
    stop();
    ::close(epollFd_);
}

void EventLoop::start()
{
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        throw ThreadCreateException();
    }
}

void EventLoop::stop()
{
    if (!thread_.joinable())
        return;
    stopping_.store(true);
    signal();
    thread_.join();
}

EventLoop::HandlerId EventLoop::add(int fd, uint32_t events, Handler& handler)
{
    const HandlerId id = nextHandlerId_++;
    epoll_event event{};
    event.events = events;
    event.data.u64 = id;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0)
        throw SocketException();
    handlers_.emplace(id, Entry{&handler, fd});
    return id;
}

void EventLoop::modify(HandlerId id, uint32_t events)
{
    auto it = handlers_.find(id);
    if (it == handlers_.end())
        return;
    epoll_event event{};
    event.events = events;
    event.data.u64 = id;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_MOD, it->second.fd, &event) != 0)
        throw SocketException();
}

void EventLoop::remove(HandlerId id)
{
    auto it = handlers_.find(id);
    if (it == handlers_.end())
        return;
    // Deleting from the set before the descriptor is closed: a descriptor number the
    // caller closes and the system hands out again must not bring this entry's events.
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, it->second.fd, nullptr);
    handlers_.erase(it);
}

EventLoop::TimerId EventLoop::runAfter(int delayMs, Task task)
{
    const TimerId id = nextTimerId_++;
    const int64_t deadline = monotonicMillis() + (delayMs < 0 ? 0 : delayMs);
    timers_.emplace(std::make_pair(deadline, id), std::move(task));
    timerDeadlines_.emplace(id, deadline);
    return id;
}

void EventLoop::cancel(TimerId id)
{
    auto it = timerDeadlines_.find(id);
    if (it == timerDeadlines_.end())
        return;
    timers_.erase(std::make_pair(it->second, id));
    timerDeadlines_.erase(it);
}

void EventLoop::post(Task task)
{
    std::lock_guard<std::mutex> guard(inboxLock_);
    tasks_.push_back(std::move(task));
    if (!signalled_) {
        signalled_ = true;
        signal();
    }
}

void EventLoop::wake(HandlerId id)
{
    if (isLoopThread()) {
        loopWakes_.push_back(id);
        return;
    }
    std::lock_guard<std::mutex> guard(inboxLock_);
    wakes_.push_back(id);
    if (!signalled_) {
        signalled_ = true;
        signal();
    }
}

void EventLoop::signal()
{
    wake_.signal();
}

int EventLoop::nextTimeoutMs() const
{
    if (!loopWakes_.empty())
        return 0;
    if (timers_.empty())
        return -1;
    const int64_t left = timers_.begin()->first.first - monotonicMillis();
    // Rounded up: waking a millisecond early would only come back with nothing due.
    return left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left + 1, INT_MAX));
}

void EventLoop::runTasksAndWakes()
{
    std::vector<Task> tasks;
    std::vector<HandlerId> wakes;
    {
        std::lock_guard<std::mutex> guard(inboxLock_);
        tasks.swap(tasks_);
        wakes.swap(wakes_);
        signalled_ = false;
    }
    for (Task& task : tasks)
        runReportingErrors(errorSink_, task);
    // Wakes asked for by what runs here join the list and are served in this round too.
    wakes.insert(wakes.end(), loopWakes_.begin(), loopWakes_.end());
    loopWakes_.clear();
    while (!wakes.empty()) {
        for (HandlerId id : wakes) {
            auto it = handlers_.find(id);
            if (it != handlers_.end())
                runReportingErrors(errorSink_, [&] { it->second.handler->onWake(); });
        }
        wakes.swap(loopWakes_);
        loopWakes_.clear();
    }
}

void EventLoop::runTimers()
{
    const int64_t now = monotonicMillis();
    while (!timers_.empty() && timers_.begin()->first.first <= now) {
        auto first = timers_.begin();
        Task task = std::move(first->second);
        timerDeadlines_.erase(first->first.second);
        timers_.erase(first);
        runReportingErrors(errorSink_, task);
    }
}

void EventLoop::run()
{
    threadId_.store(std::this_thread::get_id());
    socketStartup();
    epoll_event events[EventsPerRound];
    while (!stopping_.load()) {
        const int n = ::epoll_wait(epollFd_, events, EventsPerRound, nextTimeoutMs());
        if (n < 0 && errno != EINTR) {
            if (errorSink_)
                errorSink_("epoll_wait failed; the loop ends");
            break;
        }
        for (int i = 0; i < n && !stopping_.load(); ++i) {
            const HandlerId id = events[i].data.u64;
            if (id == WakeId) {
                wake_.drain();
                continue;
            }
            // Looked up again for every event: an earlier handler of this round may have
            // removed this one.
            auto it = handlers_.find(id);
            if (it != handlers_.end())
                runReportingErrors(errorSink_, [&] { it->second.handler->onReady(events[i].events); });
        }
        if (stopping_.load())
            break;
        runTasksAndWakes();
        runTimers();
    }
    socketCleanup();
    threadId_.store(std::thread::id());
}

} // namespace orvane
