#include "server/ServerLog.h"

#include "foundation/Clock.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace orvane {

namespace {

std::mutex logLock;
std::atomic<ServerLogSink> logSink{nullptr};
std::atomic<bool> logSilenced{false};

} // namespace

void setServerLogSink(ServerLogSink sink)
{
    logSink.store(sink);
    logSilenced.store(false);
}

void silenceServerLog()
{
    logSilenced.store(true);
}

void serverLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    serverLogV(format, args);
    va_end(args);
}

void serverLogV(const char* format, va_list args)
{
    if (logSilenced.load())
        return;
    String line("orvane-server: ");
    String text;
    text.formatV(format, args);
    line += text;
    std::lock_guard<std::mutex> guard(logLock);
    if (ServerLogSink sink = logSink.load()) {
        sink(line.c_str());
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

LogLimiter::LogLimiter(const String& summary, int perSecond) : summary_(summary), perSecond_(perSecond) {}

bool LogLimiter::log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool first = logV(format, args);
    va_end(args);
    return first;
}

bool LogLimiter::logV(const char* format, va_list args)
{
    const int64_t now = monotonicMillis();
    if (now - windowStart_ >= 1000) {
        flush();
        windowStart_ = now;
        written_ = 0;
    }
    if (written_ >= perSecond_)
        return ++held_ == 1;
    ++written_;
    serverLogV(format, args);
    return false;
}

void LogLimiter::flush()
{
    if (held_ > 0)
        serverLog("%s: %d more in the last second", summary_.c_str(), held_);
    held_ = 0;
}

int LogLimiter::msUntilFlush() const
{
    const int64_t left = windowStart_ + 1000 - monotonicMillis();
    return left < 0 ? 0 : static_cast<int>(left);
}

String printableText(const char* text, int length, int limit)
{
    String out;
    if (!text || length <= 0)
        return out;
    const int n = length < limit ? length : limit;
    for (int i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out.append(c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : '?');
    }
    if (length > limit)
        out.append("...");
    return out;
}

} // namespace orvane
