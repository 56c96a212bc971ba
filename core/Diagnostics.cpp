#include "core/Diagnostics.h"

#include "foundation/String.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace orvane {

namespace {

void writeToStandardError(const char* text)
{
    std::fprintf(stderr, "orvane: %s\n", text);
}

std::atomic<DiagnosticHook> currentHook{writeToStandardError};

} // namespace

DiagnosticHook setDiagnosticHook(DiagnosticHook hook)
{
    return currentHook.exchange(hook ? hook : writeToStandardError);
}

void diagnostic(const char* format, ...)
{
    String text;
    va_list args;
    va_start(args, format);
    text.formatV(format, args);
    va_end(args);
    currentHook.load()(text.c_str());
}

} // namespace orvane
