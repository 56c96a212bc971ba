#include "audio/FileAudioDevice.h"

#include "audio/WavFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace orvane {

namespace {

bool writeAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

FileAudioDevice::FileAudioDevice(const Settings& settings) : settings_(settings) {}

FileAudioDevice::~FileAudioDevice()
{
    close();
}

bool FileAudioDevice::fail(const char* what)
{
    const int code = errno;
    String text;
    text.format("%s (%s): %s", what, settings_.path.c_str(), std::strerror(code));
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    setError(text.c_str(), code);
    return false;
}

bool FileAudioDevice::openOutput(const AudioFormat& format)
{
    close();
    if (!format.isValid()) {
        setError("unsupported sample format", EINVAL);
        return false;
    }
    fd_ = ::open(settings_.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return fail("cannot create the file");
    format_ = format;
    dataBytes_ = 0;
    framesWritten_ = 0;
    const auto header = wavHeader(format_, 0);
    if (!writeAll(fd_, header.data(), header.size()))
        return fail("cannot write the file");
    started_ = std::chrono::steady_clock::now();
    setError("", 0);
    return true;
}

bool FileAudioDevice::write(const uint8_t* data, size_t frames)
{
    if (fd_ < 0) {
        setError("the device is not open", EBADF);
        return false;
    }
    const size_t bytes = frames * static_cast<size_t>(format_.bytesPerFrame());
    if (!writeAll(fd_, data, bytes))
        return fail("cannot write the file");
    dataBytes_ += bytes;
    framesWritten_ += frames;
    pace(framesWritten_);
    return true;
}

void FileAudioDevice::pace(uint64_t frames) const
{
    if (!settings_.paced)
        return;
    const auto due =
        std::chrono::microseconds(static_cast<int64_t>(frames * 1000000 / static_cast<uint64_t>(format_.sampleRate)));
    std::this_thread::sleep_until(started_ + due);
}

bool FileAudioDevice::openInput(const AudioFormat& format)
{
    close();
    if (!format.isValid()) {
        setError("unsupported sample format", EINVAL);
        return false;
    }
    auto sound = std::make_unique<WavSound>();
    const WavError error = loadWavFile(settings_.path.c_str(), *sound);
    if (error != WavError::None) {
        String text;
        text.format("cannot record from the file (%s): %s", settings_.path.c_str(), wavErrorText(error));
        setError(text.c_str(), EINVAL);
        return false;
    }
    if (sound->format != format) {
        String text;
        text.format("the file (%s) holds another sample format", settings_.path.c_str());
        setError(text.c_str(), EINVAL);
        return false;
    }
    format_ = format;
    input_ = std::move(sound);
    framesRead_ = 0;
    started_ = std::chrono::steady_clock::now();
    setError("", 0);
    return true;
}

long FileAudioDevice::read(uint8_t* data, size_t frames)
{
    if (!input_) {
        setError("the device is not open for recording", EBADF);
        return -1;
    }
    const uint64_t left = input_->frameCount() - framesRead_;
    const size_t count = static_cast<size_t>(frames < left ? frames : left);
    if (count == 0)
        return 0;
    const size_t frameBytes = static_cast<size_t>(format_.bytesPerFrame());
    std::memcpy(data, input_->samples.data() + framesRead_ * frameBytes, count * frameBytes);
    framesRead_ += count;
    pace(framesRead_);
    return static_cast<long>(count);
}

void FileAudioDevice::finishHeader()
{
    const auto header = wavHeader(format_, dataBytes_);
    // A pipe or a terminal cannot seek: its reader gets sizes of 0.
    if (::pwrite(fd_, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()))
        return;
}

void FileAudioDevice::drain()
{
    if (fd_ >= 0)
        finishHeader();
}

void FileAudioDevice::close()
{
    input_.reset();
    if (fd_ < 0)
        return;
    if (dataBytes_ & 1) {
        const uint8_t pad = 0;
        writeAll(fd_, &pad, 1);
    }
    finishHeader();
    ::close(fd_);
    fd_ = -1;
}

} // namespace orvane
