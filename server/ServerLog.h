#pragma once

#include "foundation/String.h"

namespace orvane {

// The stand-in server's diagnostic lines: one line each, on stderr unless a sink is set.
// Lines are written whole under one lock, so lines of concurrent connections never mix.
// Text that came from the network goes in only through printableText, never as a format.
using ServerLogSink = void (*)(const char* line);

void setServerLogSink(ServerLogSink sink);
// Drops every line (fuzzing).
void silenceServerLog();
void serverLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The text with every byte outside 0x20 to 0x7E shown as '?', cut to `limit` bytes with
// "..." added, so a peer's bytes cannot break a log line or forge another.
String printableText(const char* text, int length, int limit = 64);
inline String printableText(const String& text, int limit = 64)
{
    return printableText(text.c_str(), text.length(), limit);
}

} // namespace orvane
