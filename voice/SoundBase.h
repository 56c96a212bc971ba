#pragma once

#include "audio/AudioDevice.h"
#include "audio/AudioFormat.h"
#include "foundation/MessageThread.h"
#include "voice/SoundListener.h"

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace orvane {

// What the sound threads share: a message thread commanded by posted messages, the
// device factory, the format of the sound (mono linear PCM) and its twelve buffers of one
// frame each. The format is set from any thread and marked dirty; the buffers are rebuilt
// from it before the device is next opened.
//
// A device that cannot be opened, or that fails while in use, is told to the reporter
// once and closed; the thread goes on taking commands, so the next open tries afresh.
class SoundBase {
public:
    static constexpr int BufferCount = 12;
    using Reporter = std::function<void(const char* text)>;

    SoundBase(AudioDeviceFactory device, Reporter report);
    virtual ~SoundBase();
    SoundBase(const SoundBase&) = delete;
    SoundBase& operator=(const SoundBase&) = delete;

    // Any thread; takes effect at the next open.
    void setFormat(int bitsPerSample, int sampleRate, int samplesPerBuffer);
    void setListener(SoundListener* listener) { listener_.store(listener); }

    bool post(unsigned id, uintptr_t wParam = 0, intptr_t lParam = 0) { return thread_.post(id, wParam, lParam); }
    // Waits until the thread's loop has ended.
    void join() { thread_.join(); }
    bool hasEnded() const { return thread_.hasEnded(); }

    AudioFormat format() const;
    int samplesPerBuffer() const;
    int bufferBytes() const;

protected:
    // The owner's handler; runs on the sound thread.
    virtual void handle(const MessageThread::Message& message) = 0;
    // Subclasses call it at the end of their constructor, once handle can run.
    void startThread() { thread_.start(); }
    // From handle: the current message is the last.
    void endLoop() { thread_.quit(); }
    // From the destructor of a subclass: ends the loop and waits, so that handle never
    // runs on a half-destroyed object.
    void stopThread();

    // Rebuilds the buffers when the format is dirty. Answers the format to open with.
    AudioFormat prepareBuffers();
    std::vector<uint8_t>& buffer(int index) { return buffers_[static_cast<size_t>(index)]; }

    void report(const char* text) { report_(text); }
    SoundListener* listener() const { return listener_.load(); }
    std::unique_ptr<AudioDevice> makeDevice() const { return factory_ ? factory_() : nullptr; }

private:
    AudioDeviceFactory factory_;
    Reporter report_;
    std::atomic<SoundListener*> listener_{nullptr};
    // Guards the format fields.
    mutable std::mutex formatLock_;
    AudioFormat format_;
    bool formatDirty_ = true;
    int samplesPerBuffer_ = 1000;
    std::array<std::vector<uint8_t>, BufferCount> buffers_;
    MessageThread thread_;
};

} // namespace orvane
