#pragma once

#include "network/EventLoop.h"
#include "server/ServerLog.h"

#include <cstdarg>

namespace orvane {

// A LogLimiter that belongs to an event loop: when it starts holding lines back, a timer
// on the loop tells their count once the second is over, so a flood that stops at once is
// still told. For the lines a peer can cause as often as it likes.
//
// Used on the loop's thread, or on the stopping thread once the loop stopped; destroyed
// there too (it tells what it still holds).
class LimitedLog {
public:
    LimitedLog(EventLoop& loop, const String& summary, int perSecond);
    ~LimitedLog();
    LimitedLog(const LimitedLog&) = delete;
    LimitedLog& operator=(const LimitedLog&) = delete;

    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void logV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

private:
    EventLoop& loop_;
    LogLimiter limiter_;
    EventLoop::TimerId flushTimer_ = 0;
};

} // namespace orvane
