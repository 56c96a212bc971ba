#pragma once

// The files of the self-update tests: an old program and a new one that leaves a mark when
// it runs, and waiting for a file or a condition without a display.

#include <chrono>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace orvane::testing {

inline const std::string OldProgram = "#!/bin/sh\necho old > \"$0.ran\"\n";

// A new program of 12 000 bytes that leaves the mark "$0.ran" holding "new" when it runs,
// written whole at once so that a waiter never reads it half written.
inline std::string newProgram()
{
    std::string text = "#!/bin/sh\necho new > \"$0.part\" && mv \"$0.part\" \"$0.ran\"\nexit 0\n";
    text.resize(12000, '#');
    return text;
}

inline bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Polls the condition until it holds (true) or ten seconds pass (false).
template <class Condition>
bool holdsWithin10s(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

inline bool waitForFile(const std::string& path)
{
    return holdsWithin10s([&] { return fileExists(path); });
}

} // namespace orvane::testing
