#include "server/LimitedLog.h"

namespace orvane {

LimitedLog::LimitedLog(EventLoop& loop, const String& summary, int perSecond)
    : loop_(loop), limiter_(summary, perSecond)
{
}

LimitedLog::~LimitedLog()
{
    if (flushTimer_)
        loop_.cancel(flushTimer_);
    limiter_.flush();
}

void LimitedLog::log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logV(format, args);
    va_end(args);
}

void LimitedLog::logV(const char* format, va_list args)
{
    if (limiter_.logV(format, args))
        flushTimer_ = loop_.runAfter(limiter_.msUntilFlush(), [this] {
            flushTimer_ = 0;
            limiter_.flush();
        });
}

} // namespace orvane
