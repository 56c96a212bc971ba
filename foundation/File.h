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
    static bool readAll(const char* path, String& out);
    static bool writeAll(const char* path, const void* data, int length);

private:
    int fd_ = -1;
};

} // namespace orvane
