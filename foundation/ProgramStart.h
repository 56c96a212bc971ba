#pragma once

#include <string>
#include <vector>

namespace orvane {

// Starts the program at args[0] (a path) with the rest of args as its arguments, each one
// word as it stands: no shell reads them. The program runs on by itself, in a process group
// of its own, and gets none of the caller's descriptors beyond standard input, output and
// error, so it never keeps the caller's connections or locks alive. False when it could
// not be started (missing, not executable, not a program).
bool startProgramDetached(const std::vector<std::string>& args);

} // namespace orvane
