#include "foundation/File.h"

#include "foundation/Exception.h"
#include "foundation/Paths.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

const int File::ReadFlags = O_RDONLY | O_CLOEXEC;
const int File::WriteFlags = O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC;

void File::open(const char* path, int flags)
{
    close();
    int fd = path ? openFile(path, flags) : -1;
    if (fd < 0) {
        if (flags == WriteFlags)
            throw FileCantCreateException();
        throw FileCantOpenException();
    }
    fd_ = fd;
}

void File::close()
{
    if (fd_ < 0)
        return;
    // Linux releases the descriptor even when close reports an error, so it is
    // forgotten either way; retrying could close a descriptor another thread just got.
    ::close(fd_);
    fd_ = -1;
}

namespace {

bool closeChecked(int& fd)
{
    int r = ::close(fd);
    fd = -1;
    return r == 0;
}

} // namespace

bool File::readAll(const char* path, String& out)
{
    if (!path)
        return false;
    try {
        File file;
        // Non-blocking only so that a FIFO cannot hold the open up; it changes nothing for
        // regular files, and anything else is refused below.
        file.open(path, ReadFlags | O_NONBLOCK);
        struct stat st;
        if (fstat(file.fd_, &st) != 0)
            throw FileCantReadException();
        if (!S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size > INT_MAX - 1) {
            // Empty files give false like unreadable ones; sizes a String cannot hold are refused.
            out.setLength(0);
            return false;
        }
        const int size = static_cast<int>(st.st_size);
        out.setLength(size);
        int done = 0;
        while (done < size) {
            ssize_t n = ::read(file.fd_, out.data() + done, static_cast<size_t>(size - done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw FileCantReadException();
            }
            if (n == 0)
                break; // the file shrank since its size was taken: keep what is there
            done += static_cast<int>(n);
        }
        if (done == 0) {
            out.setLength(0);
            return false;
        }
        out.setLength(done);
        if (!closeChecked(file.fd_))
            throw FileCantCloseException();
        return true;
    } catch (const Exception&) {
        // A failed read leaves no partial or stale contents behind.
        out.setLength(0);
        return false;
    }
}

namespace {

constexpr const char* TemporaryMark = ".tmp-";
constexpr int TemporaryLetters = 6; // what mkostemp puts in place of XXXXXX

// The target with a link in its place followed, as opening the path would; the path as it
// is when it is no link or its target cannot be found.
String resolvedTarget(const char* path)
{
    String target = absolutePath(path);
    struct stat st;
    if (!target.isEmpty() && ::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    return target;
}

// The folder of an absolute path and the name in it.
void splitPath(const String& path, String& folder, String& name)
{
    int slash = path.length() - 1;
    while (slash > 0 && path.at(slash) != '/')
        --slash;
    folder = slash > 0 ? path.substring(0, slash) : String("/");
    name = path.substring(slash + 1);
}

bool isTemporaryOf(const char* entry, const String& name)
{
    const size_t base = static_cast<size_t>(name.length());
    const size_t mark = std::strlen(TemporaryMark);
    if (std::strlen(entry) != base + mark + TemporaryLetters || std::strncmp(entry, name.c_str(), base) != 0 ||
        std::strncmp(entry + base, TemporaryMark, mark) != 0)
        return false;
    for (const char* c = entry + base + mark; *c; ++c)
        if (!std::isalnum(static_cast<unsigned char>(*c)))
            return false;
    return true;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A new temporary for the target, created 0600 and locked, so that no clean-up takes it
// while this save writes it. -1 when none can be made.
int createLockedTemporary(const String& target, String& temp)
{
    // A clean-up may open the file between its creation and the lock and remove it; the
    // name then no longer leads to this file, and another is made.
    for (int attempt = 0; attempt < 8; ++attempt) {
        temp = target + TemporaryMark + "XXXXXX";
        const int fd = mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0)
            return -1;
        struct stat mine, named;
        int locked;
        do
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        while (locked != 0 && errno == EINTR);
        if (locked == 0 && ::fstat(fd, &mine) == 0 && ::lstat(temp.c_str(), &named) == 0 && sameFile(mine, named))
            return fd;
        ::close(fd);
    }
    return -1;
}

} // namespace

int File::removeStaleTemporaries(const char* path)
{
    if (!path)
        return 0;
    const String target = resolvedTarget(path);
    if (target.isEmpty())
        return 0;
    String folder, name;
    splitPath(target, folder, name);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryOf(entry->d_name, name))
            continue;
        const String temp = folder + "/" + entry->d_name;
        const int fd = ::open(temp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st, named;
        // Only a file of ours that no save holds; and still the file of that name when it
        // goes (a save may have renamed it into place and made a new one meanwhile).
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(temp.c_str(), &named) == 0 && sameFile(st, named) &&
            ::unlink(temp.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

bool File::writeAll(const char* path, const void* data, int length)
{
    if (!path || length < 0)
        return false;
    // The new contents go to a temporary file beside the target, which replaces the target
    // only once every byte is on disk: a failure never leaves a truncated file behind.
    String target = absolutePath(path);
    if (target.isEmpty())
        return false;
    struct stat old;
    bool replacing = ::lstat(target.c_str(), &old) == 0;
    if (replacing && S_ISLNK(old.st_mode)) {
        // Write through a symbolic link, as opening the path would, instead of replacing it.
        target = resolvedTarget(path);
        replacing = ::stat(target.c_str(), &old) == 0;
    }
    // Replacing by rename needs only the directory's permission; a file that may not be
    // written to is still refused, as opening it for writing would be.
    if (replacing && ::access(target.c_str(), W_OK) != 0)
        return false;

    // What earlier saves cut short left behind goes before this save adds its own.
    removeStaleTemporaries(target.c_str());
    String temp;
    int fd = createLockedTemporary(target, temp);
    if (fd < 0)
        return false;
    bool ok = true;
    if (replacing && S_ISREG(old.st_mode)) {
        // The replaced file keeps its owner and mode where we may set them.
        (void)::fchown(fd, old.st_uid, old.st_gid);
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    const char* p = static_cast<const char*>(data);
    int left = data ? length : 0;
    while (ok && left > 0) {
        ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else {
            p += n;
            left -= static_cast<int>(n);
        }
    }
    ok = ok && fsync(fd) == 0;
    // The temporary stays open, and so locked, until it has its final name; its bytes are
    // on disk by then, so closing it can lose nothing.
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    ::close(fd);
    if (!ok)
        return false;
    // Make the rename itself durable; the new contents are in place either way.
    String folder, name;
    splitPath(target, folder, name);
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace orvane
