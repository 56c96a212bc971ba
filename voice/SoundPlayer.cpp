#include "voice/SoundPlayer.h"

#include "foundation/String.h"

#include <cstring>

namespace orvane {

SoundPlayer::SoundPlayer(AudioDeviceFactory device, Reporter report)
    : SoundBase(std::move(device), std::move(report))
{
    for (auto& q : queued_)
        q.store(false);
    startThread();
}

SoundPlayer::~SoundPlayer()
{
    stopThread();
    device_.reset();
}

void SoundPlayer::open()
{
    prepareBuffers();
    bufferBytes_ = bufferBytes();
    nextBuffer_ = 0;
    post(PlayOpen);
}

bool SoundPlayer::play(const void* data, int length)
{
    const int i = nextBuffer_;
    if (!data || length <= 0 || queued_[static_cast<size_t>(i)].load()) {
        dropped_.fetch_add(1);
        return false;
    }
    nextBuffer_ = (i + 1) % BufferCount;
    const size_t bytes = static_cast<size_t>(length < bufferBytes_ ? length : bufferBytes_);
    std::vector<uint8_t>& target = buffer(i);
    std::memcpy(target.data(), data, bytes);
    queued_[static_cast<size_t>(i)].store(true);
    if (!post(PlayWrite, bytes, i)) {
        queued_[static_cast<size_t>(i)].store(false);
        dropped_.fetch_add(1);
        return false;
    }
    return true;
}

void SoundPlayer::handle(const MessageThread::Message& message)
{
    switch (message.id) {
    case PlayOpen:
        onOpen();
        break;
    case PlayWrite:
        onWrite(message.wParam, static_cast<int>(message.lParam));
        break;
    case PlayStop:
        onStop();
        break;
    case PlayQuit:
        onStop();
        endLoop();
        break;
    default:
        break;
    }
}

void SoundPlayer::onOpen()
{
    if (open_.load())
        return;
    const AudioFormat format = this->format();
    device_ = makeDevice();
    // Frames come from the network, one buffer each, with jitter between them.
    if (device_)
        device_->setStartAfter(static_cast<size_t>(samplesPerBuffer()));
    if (!device_ || !device_->openOutput(format)) {
        String text;
        text.format("PLAY : %s :%x:%s", "PlayStart", device_ ? static_cast<unsigned>(device_->errorCode()) : 0u,
                    device_ ? device_->errorText().c_str() : "no sound device");
        report(text.c_str());
        device_.reset();
        return;
    }
    openFormat_ = format;
    open_.store(true);
    if (SoundListener* l = listener())
        l->onStart();
}

void SoundPlayer::onWrite(size_t bytes, int index)
{
    if (index < 0 || index >= BufferCount)
        return;
    std::vector<uint8_t>& data = buffer(index);
    if (open_.load() && device_) {
        const size_t frameBytes = static_cast<size_t>(openFormat_.bytesPerFrame());
        const size_t frames = (bytes < data.size() ? bytes : data.size()) / frameBytes;
        if (!device_->write(data.data(), frames)) {
            String text;
            text.format("PLAY : %s :%x:%s", "Write", static_cast<unsigned>(device_->errorCode()),
                        device_->errorText().c_str());
            // Closed before it is told, so that whoever hears of it finds the player closed.
            onStop();
            report(text.c_str());
        } else {
            written_.fetch_add(frames);
            if (SoundListener* l = listener())
                l->onData(data.data(), static_cast<int>(data.size()));
        }
    }
    queued_[static_cast<size_t>(index)].store(false);
}

void SoundPlayer::onStop()
{
    if (!open_.load())
        return;
    open_.store(false);
    device_.reset();
    if (SoundListener* l = listener())
        l->onStop();
}

} // namespace orvane
