#include "network/NetworkTrace.h"

#include <atomic>
#include <cstdarg>

namespace orvane {

namespace {
std::atomic<NetworkTraceHook> traceHook{nullptr};
}

void setNetworkTraceHook(NetworkTraceHook hook)
{
    traceHook.store(hook);
}

void networkTrace(const char* format, ...)
{
    NetworkTraceHook hook = traceHook.load();
    if (!hook)
        return;
    va_list args;
    va_start(args, format);
    String line;
    line.formatV(format, args);
    va_end(args);
    hook(nullptr, line.c_str());
}

void networkTraceData(const char* label, const String& text)
{
    NetworkTraceHook hook = traceHook.load();
    if (hook)
        hook(label, text.c_str());
}

} // namespace orvane
