#pragma once

// The CPU time another process has used, read from /proc: for figures of what a client
// costs while it does something.

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/types.h>
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

} // namespace orvane::testing
