#pragma once

#include "voice/SoundBase.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace orvane {

// The input thread: records from a capture device one buffer at a time and hands each
// filled buffer to its listener, on its own thread.
//
// Commands (posted): RecordStart opens a fresh device and starts recording; RecordStop
// closes it, dropping whatever was captured and not yet handed on; RecordQuit stops and
// ends the thread. While recording the thread posts itself one CaptureBuffer message at a
// time, each a blocking read of one buffer, so a command waits at most one buffer.
// Every capture message carries the number of the recording it belongs to; one left over
// from an earlier recording is dropped, so no sound of one call reaches the next.
//
// The delay of what is recorded stays bounded: a thread that came late finds the device
// holding a backlog, and sound read now would go out as late as it was read for the rest
// of the recording. When the device holds a whole buffer beyond the one about to be read,
// the oldest buffer is read and dropped (skippedBuffers), at a buffer's boundary.
//
// Twelve buffers circulate. A read that comes back empty takes its buffer out of
// circulation (a device that gives nothing runs out of buffers and stops being asked); a
// read that fails means the device is gone: it is reported once, closed, and recording
// ends until the next RecordStart.
class SoundRecorder : public SoundBase {
public:
    enum : unsigned {
        RecordStart = 1524,
        RecordStop = 1525,
        RecordQuit = 1526,
        // A buffer is due: wParam the recording's number, lParam the buffer's index.
        CaptureBuffer = 0x3C0,
    };

    SoundRecorder(AudioDeviceFactory device, Reporter report);
    ~SoundRecorder() override;

    void start() { post(RecordStart); }
    void stop() { post(RecordStop); }
    void quit() { post(RecordQuit); }

    bool isRecording() const { return recording_.load(); }
    // Device reads so far, for tests that check the thread is idle.
    uint64_t reads() const { return reads_.load(); }
    // Buffers read and dropped to catch up with the device.
    uint64_t skippedBuffers() const { return skipped_.load(); }

protected:
    void handle(const MessageThread::Message& message) override;

private:
    void onStart();
    void onCapture(uintptr_t recording, int index);
    void onStop();
    void postNext(int index);

    std::atomic<bool> recording_{false};
    std::atomic<uint64_t> reads_{0};
    std::atomic<uint64_t> skipped_{0};
    // The recorder thread's own.
    std::unique_ptr<AudioDevice> device_;
    AudioFormat openFormat_;
    uintptr_t recordingNumber_ = 0;
    int circulating_ = 0;
};

} // namespace orvane
