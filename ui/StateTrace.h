#pragma once

#include "foundation/String.h"

// What the program shows, as lines a test can read: the program tests drive the real program
// with clicks and learn what it shows from here rather than from the screen's pixels. Off
// unless the environment variable ORVANE_STATE_TRACE names a file, which the lines are
// appended to ("<what>: <text>"). User-interface thread only.

namespace orvane {

void traceState(const char* what, const String& text);

} // namespace orvane
