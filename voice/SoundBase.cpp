#include "voice/SoundBase.h"

#include <utility>

namespace orvane {

SoundBase::SoundBase(AudioDeviceFactory device, Reporter report)
    : factory_(std::move(device)), report_(std::move(report)),
      thread_([this](const MessageThread::Message& message) { handle(message); },
              [this](const char* text) { report_(text); })
{
    format_.sampleRate = 22050;
    format_.channels = 1;
    format_.bitsPerSample = 16;
}

SoundBase::~SoundBase() = default;

void SoundBase::stopThread()
{
    thread_.quit();
    thread_.join();
}

void SoundBase::setFormat(int bitsPerSample, int sampleRate, int samplesPerBuffer)
{
    std::lock_guard<std::mutex> guard(formatLock_);
    format_.bitsPerSample = bitsPerSample;
    format_.sampleRate = sampleRate;
    samplesPerBuffer_ = samplesPerBuffer;
    formatDirty_ = true;
}

AudioFormat SoundBase::format() const
{
    std::lock_guard<std::mutex> guard(formatLock_);
    return format_;
}

int SoundBase::samplesPerBuffer() const
{
    std::lock_guard<std::mutex> guard(formatLock_);
    return samplesPerBuffer_;
}

int SoundBase::bufferBytes() const
{
    std::lock_guard<std::mutex> guard(formatLock_);
    return format_.bytesPerFrame() * samplesPerBuffer_;
}

AudioFormat SoundBase::prepareBuffers()
{
    std::lock_guard<std::mutex> guard(formatLock_);
    if (formatDirty_) {
        const size_t bytes = static_cast<size_t>(format_.bytesPerFrame() * samplesPerBuffer_);
        for (auto& b : buffers_)
            b.assign(bytes, 0);
        formatDirty_ = false;
    }
    return format_;
}

} // namespace orvane
