#pragma once

#include "foundation/WakeSignal.h"
#include "network/ErrorSink.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace orvane {

// One thread that waits on an epoll set and runs whatever becomes due: the handlers of the
// descriptors added to it, tasks posted from any thread, wake-ups of handlers and timers.
// It runs them one at a time on its own thread, so the handlers share nothing that needs a
// lock among themselves; in return none of them may block (their sockets are non-blocking,
// and slow work goes to other threads, which post their results back).
//
// Handlers are not owned. The loop knows a handler by the id add() answers; once removed,
// nothing for that id reaches the handler any more, not even events already collected in
// the same round, so its owner may delete it as soon as remove() returns. Descriptors are
// watched level-triggered: a handler that leaves bytes unread is called again next round.
//
// add, modify, remove, runAfter and cancel belong to the loop's thread (or come before
// start); post and wake may be called from any thread, the loop's own included.
class EventLoop {
public:
    using HandlerId = uint64_t;
    using TimerId = uint64_t;
    using Task = std::function<void()>;

    class Handler {
    public:
        virtual ~Handler();
        // The epoll events of its descriptor (EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP ...).
        // EPOLLERR and EPOLLHUP come whether asked for or not.
        virtual void onReady(uint32_t events) = 0;
        // Asked for with wake(); wakes that come before the loop gets to it may give one call.
        virtual void onWake();
    };

    // SocketException when the epoll set or the wake-up descriptor cannot be made.
    EventLoop();
    // Stops the thread when it still runs.
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Told, on the loop's thread, what a handler, task or timer threw. Set before start.
    void setErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }

    // Starts the thread; ThreadCreateException when it cannot be made.
    void start();
    // Ends the loop after the round it is in and waits for its thread. What is still posted
    // or due then is dropped without running. Not from the loop's own thread.
    void stop();

    // Watches the descriptor for the events (EPOLLIN, EPOLLOUT; 0 for only errors and
    // hang-ups). SocketException when epoll refuses it.
    HandlerId add(int fd, uint32_t events, Handler& handler);
    void modify(HandlerId id, uint32_t events);
    // Forgets the handler and takes its descriptor out of the set; the descriptor stays
    // open, the caller's to close. An id the loop does not know is ignored.
    void remove(HandlerId id);
    // Runs the task once, delayMs from now (0: in this round, after the events).
    TimerId runAfter(int delayMs, Task task);
    // A timer that has run or was cancelled is ignored.
    void cancel(TimerId id);

    // Runs the task on the loop's thread in its next round (tasks run in the order posted).
    void post(Task task);
    // Calls the handler's onWake on the loop's thread, unless it was removed by then.
    void wake(HandlerId id);

    bool isLoopThread() const { return std::this_thread::get_id() == threadId_.load(); }
    int handlerCount() const { return static_cast<int>(handlers_.size()); }

private:
    struct Entry {
        Handler* handler;
        int fd;
    };

    void run();
    void signal();
    void runTasksAndWakes();
    void runTimers();
    int nextTimeoutMs() const;

    int epollFd_ = -1;
    WakeSignal wake_;
    std::thread thread_;
    std::atomic<std::thread::id> threadId_{};
    std::atomic<bool> stopping_{false};
    ErrorSink errorSink_;

    // Loop thread only.
    HandlerId nextHandlerId_ = 1;
    std::unordered_map<HandlerId, Entry> handlers_;
    TimerId nextTimerId_ = 1;
    std::map<std::pair<int64_t, TimerId>, Task> timers_;
    std::unordered_map<TimerId, int64_t> timerDeadlines_;
    std::vector<HandlerId> loopWakes_;

    // Guards the work other threads hand in, and whether the wake-up descriptor was
    // already signalled for it.
    std::mutex inboxLock_;
    std::vector<Task> tasks_;
    std::vector<HandlerId> wakes_;
    bool signalled_ = false;
};

} // namespace orvane
