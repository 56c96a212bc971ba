#pragma once

#include <pthread.h>

namespace orvane {

// An auto-reset event: set() leaves it signalled until one wait consumes the signal.
// Waits are measured on CLOCK_MONOTONIC, so setting the system clock neither stretches
// nor cuts them, and a spurious wake-up never ends a wait early.
class WaitEvent {
public:
    // ThreadCreateException when the system refuses the mutex or the condition.
    WaitEvent();
    ~WaitEvent();
    WaitEvent(const WaitEvent&) = delete;
    WaitEvent& operator=(const WaitEvent&) = delete;

    void set();
    void reset();
    // Waits until the event is signalled or ms milliseconds have passed (negative: no
    // limit). True when it was signalled; the signal is consumed either way.
    bool wait(int ms);

private:
    pthread_mutex_t mutex_;
    pthread_cond_t cond_;
    bool signalled_ = false;
};

// Sleeps the calling OS thread for ms milliseconds on the monotonic clock, resuming
// after signals until the whole time has passed. Negative counts sleep not at all.
void sleepMillis(int ms);

} // namespace orvane
