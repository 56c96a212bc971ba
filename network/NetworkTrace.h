#pragma once

#include "foundation/String.h"

// The network library's debug trace. Protocol code reports what it does here (the
// gateway it found, the envelope it sent); nothing is written anywhere unless a hook is
// installed, which only debugging sessions and tests do.

namespace orvane {

// Receives one finished line of trace text, or a labelled block (an envelope or an
// answer) with its label in `label` and the block in `text`; `label` is NULL for lines.
using NetworkTraceHook = void (*)(const char* label, const char* text);

// Installs the hook (NULL removes it). Meant to be set once, before any worker thread
// traces; it is read without a lock.
void setNetworkTraceHook(NetworkTraceHook hook);

// A formatted line; the format is always a constant of the program, never network text.
void networkTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A labelled block of text.
void networkTraceData(const char* label, const String& text);

} // namespace orvane
