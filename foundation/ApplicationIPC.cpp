#include "foundation/ApplicationIPC.h"

#include "foundation/Containers.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

ApplicationIPC::MutexErrorException::~MutexErrorException() = default;

namespace {

bool isDirectory(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The shared fallback under /tmp must be ours alone: a folder another user made (or a
// symbolic link planted there) could let them hold our lock and keep us from starting.
bool isPrivateFolder(const char* path)
{
    struct stat st;
    if (lstat(path, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && chmod(path, 0700) != 0)
        return false;
    return true;
}

int lockNow(int fd, int operation)
{
    int r;
    do
        r = flock(fd, operation | LOCK_NB);
    while (r != 0 && errno == EINTR);
    return r;
}

} // namespace

String ApplicationIPC::runtimeFolder()
{
    const char* forced = getenv("ORVANE_RUNTIME_DIR");
    if (forced && *forced) {
        mkdir(forced, 0700);
        return isDirectory(forced) ? String(forced) : String();
    }
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && isDirectory(runtime))
        return String(runtime);
    String fallback;
    fallback.format("/tmp/orvane-%u", static_cast<unsigned>(geteuid()));
    mkdir(fallback.c_str(), 0700);
    return isPrivateFolder(fallback.c_str()) ? fallback : String();
}

String ApplicationIPC::lockFilePath(const char* name)
{
    // A separator would reach outside the folder.
    if (!name || !*name || String(name).find('/') >= 0)
        return String();
    String folder = runtimeFolder();
    if (folder.isEmpty())
        return String();
    if (!folder.endsWith("/"))
        folder += '/';
    return folder + name + ".lock";
}

ApplicationIPC::~ApplicationIPC()
{
    if (mutex >= 0)
        close(mutex);
    if (view)
        munmap(view, SharedMemorySize);
    if (mapping >= 0)
        close(mapping);
}

void ApplicationIPC::init(const char* name)
{
    baseName = name ? name : "";
    mutexName = baseName + "_MUTEX";
    messageName = baseName + "_REGISTERED_MESSAGE";
    // Registered messages take numbers from 0xC000 to 0xFFFF; equal names give equal numbers.
    messageId = 0xC000u + hashString(messageName) % 0x4000u;

    if (view)
        munmap(view, SharedMemorySize);
    if (mapping >= 0)
        close(mapping);
    view = nullptr;
    // Nobody exchanges data through the block, so it need not be found by other processes;
    // a memory file still carries the name for anyone looking at the process.
    mapping = memfd_create(messageName.c_str(), MFD_CLOEXEC);
    if (mapping >= 0 && ftruncate(mapping, SharedMemorySize) != 0) {
        close(mapping);
        mapping = -1;
    }
    void* p = mapping >= 0
        ? mmap(nullptr, SharedMemorySize, PROT_READ | PROT_WRITE, MAP_SHARED, mapping, 0)
        : mmap(nullptr, SharedMemorySize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    view = p == MAP_FAILED ? nullptr : p;
}

bool ApplicationIPC::isFirstInstance()
{
    String file = lockFilePath(mutexName.c_str());
    if (file.isEmpty())
        throw MutexErrorException();
    int fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw MutexErrorException();
    if (lockNow(fd, LOCK_EX) == 0) {
        // Asked again after a false answer: the other holder has gone and the lock is ours.
        if (mutex >= 0)
            close(mutex);
        mutex = fd;
        return true;
    }
    if (errno != EWOULDBLOCK) {
        close(fd);
        throw MutexErrorException();
    }
    // Another holder, or this object's own earlier lock, which must stay in place.
    if (mutex >= 0)
        close(fd);
    else
        mutex = fd;
    return false;
}

bool ApplicationIPC::isRunning(const char* name)
{
    String file = lockFilePath((String(name ? name : "") + "_MUTEX").c_str());
    if (file.isEmpty())
        return false;
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    // A shared lock is refused only by an exclusive holder, and two probes never see each other.
    bool held = lockNow(fd, LOCK_SH) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

} // namespace orvane
