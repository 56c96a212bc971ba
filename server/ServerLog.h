#pragma once

#include "foundation/String.h"

#include <cstdarg>
#include <cstdint>

namespace orvane {

// The stand-in server's diagnostic lines: one line each, on stderr unless a sink is set.
// Lines are written whole under one lock, so lines of concurrent connections never mix.
// Text that came from the network goes in only through printableText, never as a format.
using ServerLogSink = void (*)(const char* line);

void setServerLogSink(ServerLogSink sink);
// Drops every line (fuzzing).
void silenceServerLog();
void serverLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void serverLogV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Bounds the lines of one kind that a flood of connections can cause: the first `perSecond`
// lines of each second are written, the rest only counted. The count is told by one line,
// with the next line written or by flush, which the owner calls once the second is over.
// Used by one thread.
class LogLimiter {
public:
    // `summary` names what was held back: "<summary>: 12 more in the last second".
    LogLimiter(const String& summary, int perSecond);

    // Writes the line unless this second's share is used up. True when this was the first
    // line held back in its second: the owner then calls flush after msUntilFlush().
    bool log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool logV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    // Tells how many lines were held back, if any, and starts counting afresh.
    void flush();
    int msUntilFlush() const;
    // Lines held back and not told yet.
    int held() const { return held_; }

private:
    String summary_;
    int perSecond_;
    int64_t windowStart_ = 0;
    int written_ = 0;
    int held_ = 0;
};

// The text with every byte outside 0x20 to 0x7E shown as '?', cut to `limit` bytes with
// "..." added, so a peer's bytes cannot break a log line or forge another.
String printableText(const char* text, int length, int limit = 64);
inline String printableText(const String& text, int limit = 64)
{
    return printableText(text.c_str(), text.length(), limit);
}

} // namespace orvane
