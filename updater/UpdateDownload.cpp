#include "updater/UpdateDownload.h"

#include "foundation/Exception.h"
#include "foundation/ProgramStart.h"
#include "network/HttpClient.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

class WriteFailed {};
class Stopped {};

bool writeAll(int fd, const uint8_t* bytes, int64_t n)
{
    while (n > 0) {
        const ssize_t written = ::write(fd, bytes, static_cast<size_t>(n));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        n -= written;
    }
    return true;
}

} // namespace

UpdateDownload::UpdateDownload(std::string url, std::string target, Listener& listener)
    : url_(std::move(url))
    , target_(std::move(target))
    , temporary_(target_ + ".tmp")
    , listener_(listener)
{
}

void UpdateDownload::run()
{
    // Another program may hold the file for a moment; keep trying for a while.
    int fd = -1;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(CreateRetrySeconds);
    for (;;) {
        fd = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0700);
        if (fd >= 0 || std::chrono::steady_clock::now() >= giveUp || stopRequested_)
            break;
        // Errors that waiting cannot mend end the tries at once.
        if (errno == EACCES || errno == EROFS || errno == ENOENT || errno == ENOTDIR || errno == EPERM ||
            errno == EISDIR)
            break;
    }
    if (fd < 0) {
        if (!stopRequested_)
            listener_.onFailed(Failure::CannotCreate);
        return;
    }

    try {
        if (!download(fd)) {
            cleanUp(fd);
            return;
        }
    } catch (const WriteFailed&) {
        cleanUp(fd);
        listener_.onFailed(Failure::CannotWrite);
        return;
    } catch (const Exception&) {
        cleanUp(fd);
        listener_.onFailed(Failure::CannotDownload);
        return;
    }

    // The file keeps the old target's permission bits where there was one, else it is
    // made executable for its owner: it is a program.
    struct stat old {};
    const mode_t mode = ::stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0755;
    const bool closed = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0 && ::close(fd) == 0;
    if (!closed || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ::unlink(temporary_.c_str());
        listener_.onFailed(Failure::CannotWrite);
        return;
    }
    startProgram(target_);
    listener_.onDone();
}

bool UpdateDownload::download(int fd)
{
    HttpClient client;
    client.maxBodySize = static_cast<int32_t>(maxFileSize_ < INT32_MAX ? maxFileSize_ : INT32_MAX);
    client.keepAlive = 0;
    // The body goes to disk in chunks as it arrives, so that the window follows the download
    // and a stop takes effect at the next chunk.
    int64_t length = -1;
    int written = 0;
    client.onBodyReceived = [&](const HttpResponse& response) {
        if (stopRequested_)
            throw Stopped();
        if (response.statusCode < 200 || response.statusCode > 299)
            return;
        if (length < 0) {
            if (response.hasContentLength != 1 || response.contentLength <= 0 ||
                response.contentLength > maxFileSize_)
                throw HttpClient::BadResponseException();
            length = response.contentLength;
            listener_.onBegin(length);
        }
        const ByteArray& body = response.body;
        while (body.count() - written >= ChunkSize || (response.isComplete() && written < body.count())) {
            const int n = std::min(ChunkSize, body.count() - written);
            if (!writeAll(fd, body.data() + written, n))
                throw WriteFailed();
            written += n;
            listener_.onProgress(n);
            if (stopRequested_)
                throw Stopped();
        }
    };
    ByteArray body;
    try {
        client.get(url_.c_str(), &body);
    } catch (const Stopped&) {
        return false;
    }
    // Only the whole announced file counts.
    if (length <= 0 || body.count() != length || written != length)
        throw HttpClient::BadResponseException();
    return true;
}

void UpdateDownload::cleanUp(int fd)
{
    ::close(fd);
    ::unlink(temporary_.c_str());
}

bool startProgram(const std::string& path)
{
    return startProgramDetached({path});
}

} // namespace orvane
