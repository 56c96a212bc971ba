#pragma once

#include "audio/SoundOutput.h"
#include "foundation/String.h"
#include "foundation/Thread.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace orvane {

// The ring: one sound file played again and again at a fixed period, from the start of
// one play to the start of the next, until the ring is stopped. The call bar rings with
// it while a call waits to be answered.
//
// Threads: start and stop are called on the user-interface thread, the loop runs on this
// thread and plays through the SoundOutput (which never waits for the sound). Every field
// below is guarded by the lock, and the loop calls play under it too: a stop then either
// comes before the play, which does not happen, or after it, and cuts it off.
//
// Timing: a ring plays at once, then whenever a period has passed since the end of the
// previous play call, looked at every PollMs, so each play starts at most about PollMs
// late. A start while ringing takes the new path and period but keeps the schedule of
// the ring that is running; a start after a stop is a new ring and plays at once.
class RingPlayer : public Thread {
public:
    static constexpr int64_t DefaultPeriodMs = 3000;
    static constexpr int PollMs = 100;
    enum State { Idle = 0, Ringing = 1 };

    explicit RingPlayer(SoundOutput& output);
    // Stops the thread and waits for it when it still runs.
    ~RingPlayer() override;

    void run() override;
    bool deleteWhenDone() override { return false; }

    // Thread::start and Thread::stop stay reachable beside the ring's own.
    using Thread::start;
    using Thread::stop;

    // Rings path (NULL gives an empty path, which plays nothing) every periodMs.
    void start(const char* path, int64_t periodMs);
    // Ends the ring and cuts off the sound that is playing; does nothing while idle.
    void stop();
    bool isIdle() const;
    bool isPlaying() const;

    // Thread::stop with waiting, without the loop sleeping out its poll first.
    void stopAndWait();

private:
    // Plays the ring `ring` until it is stopped or replaced by a new one.
    void ringLoop(uint64_t ring);
    // Sleeps up to PollMs, less when start, stop or stopAndWait speaks; the stop request
    // of the thread is raised as ThreadStopException.
    void pause();

    SoundOutput& output_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    int state_ = Idle;
    String path_;
    int64_t periodMs_ = DefaultPeriodMs;
    // Counts the rings started from idle: a ring stopped and started again within one
    // poll is still a new ring.
    uint64_t ring_ = 0;
    // Counts start, stop and stopAndWait calls: a pause ends when it moves.
    uint64_t signals_ = 0;
    bool quitting_ = false;
};

} // namespace orvane
