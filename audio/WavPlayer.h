#pragma once

#include "audio/AudioDevice.h"
#include "audio/SoundOutput.h"
#include "audio/WavFile.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace orvane {

// Plays WAV files one at a time on a thread of its own: the program's PlaySound. A file is
// read and checked on the caller's thread (so play answers whether it will be heard), then
// handed to the player thread, which opens a fresh device for it, writes it a period at a
// time and drains it. A new sound or stop cuts off the one playing within one period: the
// thread looks for a newer request between writes and drops what the device still holds.
//
// Threads: play, playSound, stop, isPlaying and waitUntilIdle may be called from any
// thread. The device is touched only by the player thread, which the first sound starts.
class WavPlayer : public SoundOutput {
public:
    struct Settings {
        // Makes the device for each sound; by default the choice of ORVANE_AUDIO_DEVICE.
        AudioDeviceFactory device;
        // Told when a device cannot be opened or fails while playing, once per run of
        // failures (the next sound that plays ends the run). By default one line on
        // standard error.
        std::function<void(const char* text)> report;
        // Frames written to the device at a time: the latency of a cut-off.
        size_t chunkFrames = 240;
    };

    WavPlayer();
    explicit WavPlayer(Settings settings);
    // Cuts off the sound and ends the thread.
    ~WavPlayer() override;
    WavPlayer(const WavPlayer&) = delete;
    WavPlayer& operator=(const WavPlayer&) = delete;

    bool play(const char* path) override;
    // Plays a sound already in memory; false (and nothing changes) for an invalid format.
    bool playSound(WavSound sound);
    void stop() override;

    // A sound is waiting or playing.
    bool isPlaying() const;
    // Waits until nothing is waiting or playing; false when the time ran out.
    bool waitUntilIdle(int timeoutMs) const;

    // The process's one player, made at first use with the default settings: what the
    // program's notices and its ring play through, so that one sound cuts off another as
    // with a single system sound channel.
    static WavPlayer& processPlayer();

private:
    void threadMain();
    // Plays one sound until its end or until the request number moves past `request`.
    void playOne(const WavSound& sound, uint64_t request);
    bool superseded(uint64_t request) const;
    void reportFailure(const AudioDevice* device, const char* what);

    Settings settings_;
    // Guards pending_, requests_, busy_, quit_ and thread_.
    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::unique_ptr<WavSound> pending_;
    // Moves on with every play and stop; the thread compares it with the sound it plays.
    uint64_t requests_ = 0;
    bool busy_ = false;
    bool quit_ = false;
    // The player thread's own: a failure has been reported and nothing has played since.
    bool failing_ = false;
    // Started by the first sound, under the lock; joined by the destructor.
    std::thread thread_;
};

} // namespace orvane
