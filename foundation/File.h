#pragma once

#include "foundation/String.h"

namespace orvane {

// A low-level file handle used inside the whole-file helpers.
class File {
public:
    // Open modes, as the platform's own symbolic flags.
    static const int ReadFlags;   // read only
    static const int WriteFlags;  // read and write, created when missing, truncated

    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // FileCantCreateException for the writing flags, FileCantOpenException otherwise.
    void open(const char* path, int flags);
    // Closes the handle when it is open; a failure to close is swallowed.
    void close();
    int handle() const { return fd_; }

    // Whole-file read and write; never throw, answer false on any failure.
    //
    // writeAll writes a temporary file beside the target (the target's name, ".tmp-" and
    // six letters or digits), syncs it, renames it over the target and syncs the folder, so
    // the target is always whole, old or new. A save cut short (the process killed) leaves
    // its temporary behind, and it may hold what the target holds, a password included:
    // every save first removes the stale temporaries of its target (removeStaleTemporaries).
    static bool readAll(const char* path, String& out);
    static bool writeAll(const char* path, const void* data, int length);

    // Removes the temporaries that writeAll saves of the file at `path` left behind: files
    // named as above, owned by this user, that no save is writing now (a save holds a lock
    // on its temporary). Links, folders and other names are left alone. How many it removed.
    static int removeStaleTemporaries(const char* path);

private:
    int fd_ = -1;
};

} // namespace orvane
