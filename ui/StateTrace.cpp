#include "ui/StateTrace.h"

#include <cstdio>
#include <cstdlib>

namespace orvane {

namespace {

FILE* traceFile()
{
    static FILE* const file = [] {
        const char* path = std::getenv("ORVANE_STATE_TRACE");
        return path && *path ? std::fopen(path, "ae") : nullptr;
    }();
    return file;
}

} // namespace

void traceState(const char* what, const String& text)
{
    if (FILE* file = traceFile()) {
        std::fprintf(file, "%s: %s\n", what, text.c_str());
        std::fflush(file);
    }
}

} // namespace orvane
