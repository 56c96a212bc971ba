#pragma once

// Problems that nobody else would hear of: a handler that threw, frames dropped from a
// full queue, a reply that made no sense. They go to one replaceable hook; the default
// writes a line to standard error, and tests install a hook that records them, so that a
// silent failure still fails a test.

namespace orvane {

using DiagnosticHook = void (*)(const char* text);

// Installs the hook (NULL restores the default); returns the previous one. Set it before
// the threads that report start.
DiagnosticHook setDiagnosticHook(DiagnosticHook hook);

// A formatted line; the format is always a constant of the program, never network text.
void diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace orvane
