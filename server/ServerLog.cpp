#include "server/ServerLog.h"

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
    if (logSilenced.load())
        return;
    String line("orvane-server: ");
    va_list args;
    va_start(args, format);
    String text;
    text.formatV(format, args);
    va_end(args);
    line += text;
    std::lock_guard<std::mutex> guard(logLock);
    if (ServerLogSink sink = logSink.load()) {
        sink(line.c_str());
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
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
