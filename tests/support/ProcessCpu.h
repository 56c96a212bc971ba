#pragma once

// What /proc tells of another process: the CPU time it has used (for figures of what a
// client costs while it does something), and whether every thread of it has stopped.

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unistd.h>

namespace orvane::testing {

// User and system CPU time of a process so far, in seconds; 0 when it cannot be read.
inline double cpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 > text.size())
        return 0;
    std::istringstream fields(text.substr(nameEnd + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        else if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The state letter of one /proc stat file ('T' stopped, 'R' running...); 0 when unreadable.
inline char procState(const std::string& statPath)
{
    std::ifstream in(statPath);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t nameEnd = text.rfind(')');
    return nameEnd != std::string::npos && nameEnd + 2 < text.size() ? text[nameEnd + 2] : 0;
}

// SIGSTOP, then waits until every thread of the process is stopped: kill() returns
// before a thread running on another processor has taken the signal, and on a loaded
// machine that thread may still pass a message on. False when that did not happen within
// the time.
inline bool stopProcess(pid_t pid, int timeoutMs = 5000)
{
    if (::kill(pid, SIGSTOP) != 0)
        return false;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        bool all = true;
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
            const char state = procState((task.path() / "stat").string());
            if (state != 'T' && state != 't')
                all = false;
        }
        if (all && !error)
            return true;
        if (std::chrono::steady_clock::now() >= limit)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace orvane::testing
