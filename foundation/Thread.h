#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace orvane {

class WaitEvent;

// Base class of the worker threads. A subclass supplies the body (run) and says whether
// the object deletes itself when the body ends (deleteWhenDone). Stopping is cooperative:
// stop() raises a flag that the body polls (directly or through checkStop); nothing
// interrupts a thread that is blocked or sleeping.
//
// Lifecycle: construct, init(), start(). An object that does not delete itself is
// destroyed by its owner, normally after stop(true). A self-deleting object belongs to
// its own thread once started: nobody else stops-and-waits for it or deletes it.
class Thread {
public:
    enum State {
        Constructed, // before init()
        Ready,       // after init()
        Running,     // after start(); also while the body waits on a monitor
        Sleeping,    // inside sleep()
        Finished     // the body has ended
    };

    Thread();
    // A finished thread's OS thread is waited for here (or detached when the destructor
    // runs on that thread itself, as a self-deleting thread's does). Destroying an
    // object whose body still runs is a fault of the caller: the body is then asked to
    // stop and waited for, so that no OS thread outlives its object.
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // The body. Whatever it throws is dropped and the thread finishes normally.
    virtual void run() = 0;
    // True when the object deletes itself after its body ends. Asked once, on the
    // thread, after the body and before the state turns Finished.
    virtual bool deleteWhenDone() = 0;

    // Prepares the thread's wake event; state Ready. ThreadCreateException when the
    // event cannot be made. Further calls change nothing.
    void init();
    // Starts the body on a new OS thread; state Running. ThreadCreateException, with the
    // state unchanged, when the OS thread cannot be made, when init() has not run or
    // when the thread was started before.
    void start();
    // Raises the stop request (never cleared). With wait, blocks without limit until the
    // OS thread has ended; the OS thread is joined exactly once however many callers
    // wait. A thread asking to wait for itself does not wait.
    void stop(bool wait);

    // Sleeps the calling thread ms milliseconds, always the full time: nothing wakes a
    // sleeping thread, a stop request included. On a thread that is not a Thread, a
    // plain sleep. Answers true only when the wake event was signalled, which nothing
    // in the system does. Negative counts do not sleep.
    static bool sleep(int ms);
    // The Thread whose body the calling OS thread runs, or NULL.
    static Thread* currentThread();
    // Throws ThreadStopException when the calling thread's stop request is raised;
    // does nothing on a thread that is not a Thread.
    static void checkStop();

    State getState() const;
    bool isStopRequested() const { return stopRequested.load(); }
    std::thread::id getThreadId() const;

protected:
    // Polled by bodies without any lock.
    std::atomic<bool> stopRequested{false};

private:
    static void threadMain(Thread* self);

    std::unique_ptr<WaitEvent> wakeEvent_;
    mutable std::mutex lock_;      // guards state_, wakeEvent_ creation, threadId_
    std::mutex joinLock_;          // guards handle_: the one join or detach
    std::thread handle_;
    std::thread::id threadId_;
    State state_ = Constructed;
};

} // namespace orvane
