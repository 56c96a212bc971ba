#pragma once

#include "voice/SoundBase.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace orvane {

// The output thread of one playback channel. play() copies a decoded frame into the next
// of twelve buffers on the caller's thread and posts it; the player thread writes it to
// the device (blocking while the device's buffer is full) and frees the buffer.
//
// A frame longer than a buffer is cut to the buffer; a frame that finds its buffer still
// queued (the device has fallen behind by twelve frames) is dropped, counted, and the
// buffer is left alone.
//
// The delay of what is played stays bounded (setPacing): frames come from a peer with
// jitter and now and then in bursts, and the device plays at its own steady pace, so
// whatever a burst queues would otherwise stay queued for the rest of the call. Before a
// frame is written the device is asked how much it still holds; above the bound the frame
// is dropped whole (trimmedFrames), which brings the queue back under the bound. When
// playing (re)starts, after the open or after the device ran dry, a short lead of silence
// goes first, so the queue starts small again whatever it was.
//
// Commands: PlayOpen opens a fresh device, PlayStop closes it (dropping what it still
// holds), PlayQuit closes and ends the thread. A device that fails while playing is
// reported once and closed; frames are then dropped until the next PlayOpen.
//
// Threads: play is called by one thread at a time (the session's); the rest by any.
class SoundPlayer : public SoundBase {
public:
    enum : unsigned {
        PlayOpen = 1624,
        PlayStop = 1625,
        // wParam: the byte count; lParam: the buffer's index.
        PlayWrite = 1626,
        PlayQuit = 1627,
    };

    SoundPlayer(AudioDeviceFactory device, Reporter report);
    ~SoundPlayer() override;

    // leadMillis: the silence ahead of the first frame whenever playing (re)starts;
    // maxQueuedMillis: a frame that finds more than this still queued at the device is
    // dropped (0: no bound). Takes effect at the next open.
    void setPacing(int leadMillis, int maxQueuedMillis);
    // Rebuilds the buffers when the format is dirty, then posts PlayOpen. Call it before
    // the first play.
    void open();
    void stop() { post(PlayStop); }
    void quit() { post(PlayQuit); }
    // Queues one frame of length bytes; false when it was dropped.
    bool play(const void* data, int length);

    bool isOpen() const { return open_.load(); }
    uint64_t droppedFrames() const { return dropped_.load(); }
    // Frames written to the device so far.
    uint64_t writtenFrames() const { return written_.load(); }
    // Frames dropped because the device held more than the bound.
    uint64_t trimmedFrames() const { return trimmed_.load(); }
    // What the device held before the last frame was written, in milliseconds; -1 when
    // it cannot tell or nothing was written yet.
    int queuedMillis() const { return queuedMillis_.load(); }

protected:
    void handle(const MessageThread::Message& message) override;

private:
    void onOpen();
    void onWrite(size_t bytes, int index);
    void onStop();

    std::atomic<bool> open_{false};
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> trimmed_{0};
    std::atomic<int> queuedMillis_{-1};
    std::atomic<int> leadMillis_{0};
    std::atomic<int> maxQueuedMillis_{0};
    // A buffer posted and not yet written: play must not touch it.
    std::array<std::atomic<bool>, BufferCount> queued_{};
    // The playing thread's own.
    int nextBuffer_ = 0;
    int bufferBytes_ = 0;
    // The player thread's own.
    std::unique_ptr<AudioDevice> device_;
    AudioFormat openFormat_;
};

} // namespace orvane
