#include "core/sound/RingPlayer.h"

#include "core/Diagnostics.h"
#include "foundation/Clock.h"
#include "foundation/Exception.h"

#include <chrono>

namespace orvane {

RingPlayer::RingPlayer(SoundOutput& output) : output_(output) {}

RingPlayer::~RingPlayer()
{
    // The body uses this object's members: it must end before they go, not in the
    // base's destructor.
    stopAndWait();
}

void RingPlayer::start(const char* path, int64_t periodMs)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        path_ = path ? path : "";
        periodMs_ = periodMs;
        if (state_ != Ringing)
            ++ring_;
        state_ = Ringing;
        ++signals_;
    }
    wake_.notify_all();
}

void RingPlayer::stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (state_ != Ringing)
            return;
        output_.stop();
        state_ = Idle;
        ++signals_;
    }
    wake_.notify_all();
}

bool RingPlayer::isIdle() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return state_ == Idle;
}

bool RingPlayer::isPlaying() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return state_ == Ringing;
}

void RingPlayer::stopAndWait()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        quitting_ = true;
        ++signals_;
    }
    wake_.notify_all();
    Thread::stop(true);
}

void RingPlayer::pause()
{
    std::unique_lock<std::mutex> guard(lock_);
    const uint64_t seen = signals_;
    wake_.wait_for(guard, std::chrono::milliseconds(PollMs),
                   [&] { return signals_ != seen || quitting_ || isStopRequested(); });
    guard.unlock();
    checkStop();
}

void RingPlayer::run()
{
    try {
        for (;;) {
            checkStop();
            uint64_t ring = 0;
            bool ringing = false;
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (quitting_)
                    return;
                ringing = state_ == Ringing;
                ring = ring_;
            }
            if (ringing)
                ringLoop(ring);
            pause();
        }
    } catch (const ThreadStopException&) {
    } catch (const Exception&) {
        diagnostic("the ring player ended on an exception");
    } catch (const std::exception& e) {
        // Nothing in the loop throws but the stop request; a sound output that does ends
        // the ring, as any failure of a worker thread ends it, and says so.
        diagnostic("the ring player ended: %s", e.what());
    }
}

void RingPlayer::ringLoop(uint64_t ring)
{
    int64_t next = monotonicMillis();
    for (;;) {
        checkStop();
        {
            // The play happens under the lock, so that a stop cannot fall between the
            // look at the state and the play and leave a sound playing after it.
            std::lock_guard<std::mutex> guard(lock_);
            if (state_ != Ringing || ring_ != ring || quitting_)
                return;
            if (monotonicMillis() >= next) {
                output_.play(path_.c_str());
                next = monotonicMillis() + periodMs_;
            }
        }
        pause();
    }
}

} // namespace orvane
