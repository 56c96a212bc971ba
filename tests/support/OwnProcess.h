#pragma once

// What /proc tells of the test's own process: its threads, its resident memory and the peak
// of it, and the descriptors it may open.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/resource.h>

namespace orvane::testing {

// The ids of this process's threads now (empty when /proc cannot be read).
inline std::set<long> ownThreadIds()
{
    std::set<long> ids;
    DIR* dir = ::opendir("/proc/self/task");
    if (!dir)
        return ids;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            ids.insert(std::strtol(entry->d_name, nullptr, 10));
    ::closedir(dir);
    return ids;
}

// How many of this process's threads now are not among `earlier`: threads started since.
inline int ownThreadsSince(const std::set<long>& earlier)
{
    int count = 0;
    for (long id : ownThreadIds())
        count += earlier.count(id) == 0;
    return count;
}

// A line of /proc/self/status in kibibytes ("VmRSS", "VmHWM"); -1 when there is none.
inline long ownStatusKiB(const char* field)
{
    FILE* in = std::fopen("/proc/self/status", "r");
    if (!in)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, in))
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            std::sscanf(line + length + 1, "%ld", &value);
            break;
        }
    std::fclose(in);
    return value;
}

// Starts the peak of resident memory (VmHWM) again from what is resident now; false when
// the system does not let it.
inline bool resetPeakResident()
{
    FILE* out = std::fopen("/proc/self/clear_refs", "w");
    if (!out)
        return false;
    const bool ok = std::fputs("5", out) >= 0;
    return std::fclose(out) == 0 && ok;
}

// Raises the soft limit on descriptors to `wanted` when the hard limit allows; the soft
// limit in force afterwards.
inline long raiseOwnDescriptorLimit(long wanted)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (static_cast<long>(limit.rlim_cur) < wanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || static_cast<long>(limit.rlim_max) >= wanted
                             ? static_cast<rlim_t>(wanted)
                             : limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<long>(limit.rlim_cur);
}

} // namespace orvane::testing
