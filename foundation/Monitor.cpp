#include "foundation/Monitor.h"

#include "foundation/Exception.h"
#include "foundation/WaitEvent.h"

namespace orvane {

namespace {

// Every OS thread gets its own wait event on first wait. A monitor's owner is told by
// the address of a plain thread-local byte instead, which is never destroyed: threads
// that are not a Thread are told apart too, and locking still works in destructors that
// run after the thread's other thread-local objects are gone.
thread_local char threadIdentity;

const void* currentThreadIdentity()
{
    return &threadIdentity;
}

WaitEvent& currentWaitEvent()
{
    thread_local WaitEvent event;
    return event;
}

} // namespace

Monitor::Monitor()
{
    pthread_mutexattr_t attr;
    bool ok = pthread_mutexattr_init(&attr) == 0;
    if (ok) {
        ok = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0
             && pthread_mutex_init(&section_, &attr) == 0;
        pthread_mutexattr_destroy(&attr);
    }
    if (!ok)
        throw ThreadCreateException();
}

Monitor::~Monitor()
{
    pthread_mutex_destroy(&section_);
}

void Monitor::lock()
{
    pthread_mutex_lock(&section_);
    lockCount_.fetch_add(1);
    owner_.store(currentThreadIdentity());
}

void Monitor::unlock()
{
    if (owner_.load() != currentThreadIdentity())
        return;
    if (lockCount_.load() == 1)
        owner_.store(nullptr);
    lockCount_.fetch_sub(1);
    pthread_mutex_unlock(&section_);
}

bool Monitor::isHeldByCurrentThread() const
{
    return owner_.load() == currentThreadIdentity();
}

void Monitor::append(Waiter& w)
{
    w.next = nullptr;
    w.previous = waitersTail_;
    if (waitersTail_)
        waitersTail_->next = &w;
    else
        waitersHead_ = &w;
    waitersTail_ = &w;
    w.queued = true;
}

void Monitor::remove(Waiter& w)
{
    if (!w.queued)
        return;
    if (w.previous)
        w.previous->next = w.next;
    else
        waitersHead_ = w.next;
    if (w.next)
        w.next->previous = w.previous;
    else
        waitersTail_ = w.previous;
    w.next = w.previous = nullptr;
    w.queued = false;
}

int Monitor::wait(int timeoutMs)
{
    if (owner_.load() != currentThreadIdentity())
        return NotOwner;
    WaitEvent& event = currentWaitEvent();

    // The node lives on this stack; the list is touched only by the monitor's holder.
    Waiter self{nullptr, nullptr, &event, false, false};
    append(self);
    // Clearing the event while the monitor is still held drops any signal left over from
    // an earlier wait (a notify that chose that waiter just as its time ran out); no
    // notify can have chosen this node yet. A notify that comes once the monitor is free
    // stays in the event until the wait below takes it, so it is never lost.
    event.reset();
    const int depth = lockCount_.load();
    for (int i = 0; i < depth; ++i)
        unlock();

    event.wait(timeoutMs);

    for (int i = 0; i < depth; ++i)
        lock();
    // The notifier takes the node off the list; whatever the event said, a node it took
    // was notified.
    const bool notified = self.notified;
    remove(self);
    return notified ? Notified : TimedOut;
}

void Monitor::notify()
{
    lock();
    if (Waiter* w = waitersHead_) {
        remove(*w);
        w->notified = true;
        w->event->set();
    }
    unlock();
}

} // namespace orvane
