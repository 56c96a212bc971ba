#include "foundation/File.h"

#include "foundation/Exception.h"
#include "foundation/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
        replacing = ::stat(target.c_str(), &old) == 0;
    }
    // Replacing by rename needs only the directory's permission; a file that may not be
    // written to is still refused, as opening it for writing would be.
    if (replacing && ::access(target.c_str(), W_OK) != 0)
        return false;

    String temp = target + ".tmp-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC); // created 0600
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
    ok = closeChecked(fd) && ok;
    ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; the new contents are in place either way.
    int slash = target.length() - 1;
    while (slash > 0 && target.at(slash) != '/')
        --slash;
    String directory = slash > 0 ? target.substring(0, slash) : String("/");
    int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace orvane
