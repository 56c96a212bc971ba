#pragma once

// Test helpers for code that touches the file system: a private temporary directory per
// test (tests run in parallel), a guard that restores the current directory, and plain
// POSIX file helpers that do not depend on the code under test.

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::testing {

// Removes everything below the directory open as dirFd, however deep; works on
// descriptors so paths longer than PATH_MAX are no obstacle.
inline void removeContents(int dirFd)
{
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (struct dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, ".."))
            continue;
        struct stat st;
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            fchmodat(dirfd(dir), name, 0700, 0);
            int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (child >= 0)
                removeContents(child);
            unlinkat(dirfd(dir), name, AT_REMOVEDIR);
        } else {
            unlinkat(dirfd(dir), name, 0);
        }
    }
    closedir(dir);
}

class TempDirectory {
public:
    TempDirectory()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/orvane-test-XXXXXX";
        if (!mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        // The canonical name, so that it compares equal to what getcwd reports.
        char real[PATH_MAX];
        path_ = realpath(pattern.c_str(), real) ? real : pattern;
    }
    ~TempDirectory()
    {
        ::chmod(path_.c_str(), 0700);
        int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0)
            removeContents(fd);
        ::rmdir(path_.c_str());
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets (or, for NULL, removes) an environment variable for the scope and restores the
// value it had before.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            ::setenv(name_.c_str(), old_.c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_ = false;
};

// Restores the current directory when the test leaves.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard() : fd_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~CurrentDirectoryGuard()
    {
        if (fd_ >= 0) {
            if (fchdir(fd_) != 0)
                ADD_FAILURE() << "could not restore the current directory";
            ::close(fd_);
        }
    }
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

private:
    int fd_;
};

inline void writeBytes(const std::string& path, const std::string& bytes, mode_t mode = 0644)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// The file's whole contents; "<missing>" when it cannot be opened.
inline std::string readBytes(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<missing>";
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return out;
}

inline mode_t permissionsOf(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace orvane::testing
