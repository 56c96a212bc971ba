#include "foundation/WaitEvent.h"

#include "foundation/Exception.h"

#include <cerrno>
#include <ctime>

namespace orvane {

namespace {

timespec monotonicDeadline(int ms)
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += ms / 1000;
    t.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_nsec -= 1000000000L;
        ++t.tv_sec;
    }
    return t;
}

} // namespace

WaitEvent::WaitEvent()
{
    if (pthread_mutex_init(&mutex_, nullptr) != 0)
        throw ThreadCreateException();
    pthread_condattr_t attr;
    bool ok = pthread_condattr_init(&attr) == 0;
    if (ok) {
        ok = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC) == 0
             && pthread_cond_init(&cond_, &attr) == 0;
        pthread_condattr_destroy(&attr);
    }
    if (!ok) {
        pthread_mutex_destroy(&mutex_);
        throw ThreadCreateException();
    }
}

WaitEvent::~WaitEvent()
{
    pthread_cond_destroy(&cond_);
    pthread_mutex_destroy(&mutex_);
}

void WaitEvent::set()
{
    pthread_mutex_lock(&mutex_);
    signalled_ = true;
    pthread_cond_signal(&cond_);
    pthread_mutex_unlock(&mutex_);
}

void WaitEvent::reset()
{
    pthread_mutex_lock(&mutex_);
    signalled_ = false;
    pthread_mutex_unlock(&mutex_);
}

bool WaitEvent::wait(int ms)
{
    const timespec deadline = monotonicDeadline(ms < 0 ? 0 : ms);
    pthread_mutex_lock(&mutex_);
    while (!signalled_) {
        if (ms < 0) {
            pthread_cond_wait(&cond_, &mutex_);
        } else if (pthread_cond_timedwait(&cond_, &mutex_, &deadline) == ETIMEDOUT) {
            break;
        }
    }
    const bool result = signalled_;
    signalled_ = false;
    pthread_mutex_unlock(&mutex_);
    return result;
}

void sleepMillis(int ms)
{
    if (ms <= 0)
        return;
    const timespec deadline = monotonicDeadline(ms);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace orvane
