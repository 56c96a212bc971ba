#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace orvane {

// The update program's work, without windows: fetch one file over HTTP, put it in place of
// the target and start it. The user-interface thread learns of the course through a
// Listener, called on the downloading thread.
//
// The target is touched only once the whole file is on disk: the bytes go to target +
// ".tmp" beside it, which then replaces the target in one rename, so a failure at any step
// leaves the old target as it was (and removes the temporary file). A download counts only
// when the server announced a non-zero Content-Length, that length stays within
// maxFileSize, and exactly that many bytes arrived.
class UpdateDownload {
public:
    enum class Failure {
        CannotCreate,   // the temporary file could not be made within the retry time
        CannotDownload, // HTTP error, no or zero or oversized length, connection cut short
        CannotWrite     // writing, closing or putting the file in place failed
    };

    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void onBegin(int64_t length) = 0;
        // n bytes more are on disk.
        virtual void onProgress(int64_t n) = 0;
        virtual void onFailed(Failure failure) = 0;
        // The target was replaced and started.
        virtual void onDone() = 0;
    };

    static constexpr int ChunkSize = 5000;
    static constexpr int64_t DefaultMaxFileSize = 256 * 1024 * 1024;
    static constexpr int CreateRetrySeconds = 10;

    UpdateDownload(std::string url, std::string target, Listener& listener);

    // Runs the whole course on the calling thread; returns after the last Listener call.
    // The body goes to disk in chunks of ChunkSize as it arrives, each one told by
    // onProgress. A stop request ends it with no further Listener call, the target
    // untouched.
    void run();
    // Any thread; the download checks it whenever bytes arrive and after each chunk.
    void requestStop() { stopRequested_ = true; }
    bool stopRequested() const { return stopRequested_; }

    void setMaxFileSize(int64_t bytes) { maxFileSize_ = bytes; }
    const std::string& url() const { return url_; }
    const std::string& target() const { return target_; }

private:
    // False on a stop request.
    bool download(int fd);
    void cleanUp(int fd);

    std::string url_;
    std::string target_;
    std::string temporary_;
    Listener& listener_;
    std::atomic<bool> stopRequested_{false};
    int64_t maxFileSize_ = DefaultMaxFileSize;
};

// Starts a program by path with no arguments, detached from the caller; false when it
// could not be started.
bool startProgram(const std::string& path);

} // namespace orvane
