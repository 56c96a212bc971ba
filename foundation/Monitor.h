#pragma once

#include <atomic>
#include <pthread.h>

namespace orvane {

class WaitEvent;

// The recursive lock with condition waiting used throughout the program. Any thread may
// lock, wait and notify: a Thread, the user-interface thread or a plain OS thread. Each
// OS thread waits on an event of its own, so waiting needs no Thread object.
//
// A notify wakes the thread that has waited longest and is not remembered when nobody
// waits, so callers test their condition again after every wait, whatever it answered.
class Monitor {
public:
    enum WaitResult {
        TimedOut = 0,
        Notified = 2,
        NotOwner = 3
    };

    Monitor();
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    // Recursive: the holder may lock again and must unlock as often.
    void lock();
    // Releases one level; a thread that does not hold the monitor releases nothing.
    void unlock();

    // Gives up the monitor at every recursion level, waits until notified or timeoutMs
    // milliseconds have passed (negative: no limit), then takes it back at the same
    // depth. Answers Notified when a notify chose this waiter (also when that happened
    // just as its time ran out), TimedOut otherwise, and NotOwner, without waiting, when
    // the caller does not hold the monitor.
    int wait(int timeoutMs);
    // Wakes the longest-waiting thread, if any, and takes it off the waiting list.
    void notify();

    bool isHeldByCurrentThread() const;
    // The holder's recursion depth; 0 when the monitor is free.
    int getLockCount() const { return lockCount_.load(); }

private:
    struct Waiter {
        Waiter* next;
        Waiter* previous;
        WaitEvent* event;
        bool queued;
        bool notified;
    };

    void append(Waiter& w);
    void remove(Waiter& w);

    pthread_mutex_t section_;
    std::atomic<int> lockCount_{0};
    std::atomic<const void*> owner_{nullptr};
    Waiter* waitersHead_ = nullptr;
    Waiter* waitersTail_ = nullptr;
};

// Holds one level of a monitor for the enclosing block, released however the block is
// left.
class MonitorLock {
public:
    explicit MonitorLock(Monitor& monitor) : monitor_(monitor) { monitor_.lock(); }
    explicit MonitorLock(Monitor* monitor) : MonitorLock(*monitor) {}
    ~MonitorLock() { monitor_.unlock(); }
    MonitorLock(const MonitorLock&) = delete;
    MonitorLock& operator=(const MonitorLock&) = delete;

private:
    Monitor& monitor_;
};

} // namespace orvane
