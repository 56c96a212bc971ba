#include "foundation/Thread.h"

#include "foundation/Exception.h"
#include "foundation/WaitEvent.h"

#include <cxxabi.h>
#include <system_error>

namespace orvane {

namespace {
thread_local Thread* currentThreadValue = nullptr;
}

Thread::Thread() = default;

Thread::~Thread()
{
    std::lock_guard<std::mutex> join(joinLock_);
    if (!handle_.joinable())
        return;
    if (handle_.get_id() == std::this_thread::get_id()) {
        handle_.detach();
        return;
    }
    stopRequested.store(true);
    handle_.join();
}

void Thread::init()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ != Constructed)
        return;
    try {
        wakeEvent_.reset(new WaitEvent());
    } catch (const std::bad_alloc&) {
        throw ThreadCreateException();
    }
    state_ = Ready;
}

void Thread::start()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ != Ready)
        throw ThreadCreateException();
    {
        std::lock_guard<std::mutex> join(joinLock_);
        try {
            // The new thread waits at the gate (lock_) until the state and id are
            // recorded here, so a short body cannot finish before it is marked running.
            handle_ = std::thread(&Thread::threadMain, this);
        } catch (const std::system_error&) {
            throw ThreadCreateException();
        } catch (const std::bad_alloc&) {
            throw ThreadCreateException();
        }
        threadId_ = handle_.get_id();
    }
    state_ = Running;
    // Leaving this scope opens the gate. A self-deleting object may be gone right after,
    // so nothing below may touch this object.
}

void Thread::threadMain(Thread* self)
{
    {
        std::lock_guard<std::mutex> gate(self->lock_);
    }
    currentThreadValue = self;
    try {
        self->run();
    } catch (const ThreadStopException&) {
    } catch (const Exception&) {
    } catch (abi::__forced_unwind&) {
        throw; // thread cancellation must unwind to its end
    } catch (...) {
    }
    // Asked before the state turns Finished: an owner that sees Finished may delete the
    // object at once.
    bool deleteSelf = false;
    try {
        deleteSelf = self->deleteWhenDone();
    } catch (...) {
    }
    currentThreadValue = nullptr;
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->state_ = Finished;
    }
    if (deleteSelf)
        delete self;
}

void Thread::stop(bool wait)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopRequested.store(true);
    }
    if (!wait)
        return;
    std::lock_guard<std::mutex> join(joinLock_);
    if (handle_.joinable() && handle_.get_id() != std::this_thread::get_id())
        handle_.join();
}

bool Thread::sleep(int ms)
{
    Thread* self = currentThreadValue;
    if (!self || !self->wakeEvent_) {
        sleepMillis(ms);
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->state_ = Sleeping;
    }
    const bool woken = self->wakeEvent_->wait(ms < 0 ? 0 : ms);
    {
        std::lock_guard<std::mutex> guard(self->lock_);
        self->state_ = Running;
    }
    return woken;
}

Thread* Thread::currentThread()
{
    return currentThreadValue;
}

void Thread::checkStop()
{
    Thread* self = currentThreadValue;
    if (self && self->stopRequested.load())
        throw ThreadStopException();
}

Thread::State Thread::getState() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return state_;
}

std::thread::id Thread::getThreadId() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return threadId_;
}

} // namespace orvane
