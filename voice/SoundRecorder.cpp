#include "voice/SoundRecorder.h"

#include "foundation/String.h"

namespace orvane {

SoundRecorder::SoundRecorder(AudioDeviceFactory device, Reporter report)
    : SoundBase(std::move(device), std::move(report))
{
    startThread();
}

SoundRecorder::~SoundRecorder()
{
    stopThread();
    device_.reset();
}

void SoundRecorder::handle(const MessageThread::Message& message)
{
    switch (message.id) {
    case RecordStart:
        onStart();
        break;
    case CaptureBuffer:
        onCapture(message.wParam, static_cast<int>(message.lParam));
        break;
    case RecordStop:
        onStop();
        break;
    case RecordQuit:
        onStop();
        endLoop();
        break;
    default:
        break;
    }
}

void SoundRecorder::onStart()
{
    if (recording_.load())
        return;
    const AudioFormat format = prepareBuffers();
    device_ = makeDevice();
    if (!device_) {
        // No device was chosen (a machine set up without sound): nothing failed, so
        // nothing is shown, and nothing is recorded.
        return;
    }
    if (!device_->openInput(format)) {
        String text;
        text.format("RECORD: %s : %x : %s", "Open", static_cast<unsigned>(device_->errorCode()),
                    device_->errorText().c_str());
        report(text.c_str());
        device_.reset();
        return;
    }
    openFormat_ = format;
    ++recordingNumber_;
    circulating_ = BufferCount;
    recording_.store(true);
    if (SoundListener* l = listener())
        l->onStart();
    post(CaptureBuffer, recordingNumber_, 0);
}

void SoundRecorder::postNext(int index)
{
    post(CaptureBuffer, recordingNumber_, (index + 1) % BufferCount);
}

void SoundRecorder::onCapture(uintptr_t recording, int index)
{
    if (!recording_.load() || recording != recordingNumber_ || index < 0 || index >= BufferCount || !device_)
        return;
    std::vector<uint8_t>& data = buffer(index);
    const size_t frameBytes = static_cast<size_t>(openFormat_.bytesPerFrame());
    const size_t frames = frameBytes ? data.size() / frameBytes : 0;
    // A backlog of a whole buffer beyond this one: drop the oldest, then read on time.
    long got = 0;
    const long waiting = device_->queuedFrames();
    if (frames > 0 && waiting >= static_cast<long>(2 * frames)) {
        got = device_->read(data.data(), frames);
        reads_.fetch_add(1);
        if (got > 0)
            skipped_.fetch_add(1);
    }
    if (got >= 0)
        got = device_->read(data.data(), frames);
    reads_.fetch_add(1);
    if (got < 0) {
        String text;
        text.format("RECORD: %s : %x : %s", "Read", static_cast<unsigned>(device_->errorCode()),
                    device_->errorText().c_str());
        // Stopped before it is told, so that whoever hears of it finds the recording ended.
        onStop();
        report(text.c_str());
        return;
    }
    if (got == 0) {
        // Out of circulation; the others go on until none is left.
        if (--circulating_ > 0)
            postNext(index);
        return;
    }
    if (SoundListener* l = listener())
        l->onData(data.data(), static_cast<int>(static_cast<size_t>(got) * frameBytes));
    postNext(index);
}

void SoundRecorder::onStop()
{
    if (!recording_.load())
        return;
    recording_.store(false);
    ++recordingNumber_;
    device_.reset();
    if (SoundListener* l = listener())
        l->onStop();
}

} // namespace orvane
