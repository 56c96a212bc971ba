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

void SoundPlayer::setPacing(int leadMillis, int maxQueuedMillis)
{
    leadMillis_.store(leadMillis < 0 ? 0 : leadMillis);
    maxQueuedMillis_.store(maxQueuedMillis < 0 ? 0 : maxQueuedMillis);
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
        device_->setStartLead(static_cast<size_t>(static_cast<int64_t>(format.sampleRate) * leadMillis_.load() / 1000));
    if (!device_) {
        // No device was chosen (a machine set up without sound): nothing failed, so
        // nothing is shown; frames are dropped.
        return;
    }
    if (!device_->openOutput(format)) {
        String text;
        text.format("PLAY : %s :%x:%s", "PlayStart", static_cast<unsigned>(device_->errorCode()),
                    device_->errorText().c_str());
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
        const long queued = device_->queuedFrames();
        const int64_t queuedMillis = queued < 0 ? -1 : openFormat_.millisOf(queued);
        queuedMillis_.store(static_cast<int>(queuedMillis));
        const int bound = maxQueuedMillis_.load();
        if (bound > 0 && queuedMillis > bound) {
            // More is queued than the bound: this frame goes, and the queue shrinks by it.
            trimmed_.fetch_add(1);
        } else {
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
