#pragma once

#include "audio/AudioDevice.h"

#include <chrono>

namespace orvane {

// Plays into a WAV file: what a sound card would have been given, for tests and for
// machines without sound. Each openOutput truncates the file and writes a header; the
// header's sizes are filled in by drain and close (a path that cannot seek, such as a
// pipe, keeps sizes of 0). Paced, each write returns only when the frames written so far
// would have been played at the format's rate, so a player behaves as with a sound card
// (sounds take their time and can be cut off); unpaced, writes return at once.
class FileAudioDevice : public AudioDevice {
public:
    struct Settings {
        String path;
        bool paced = false;
    };

    explicit FileAudioDevice(const Settings& settings);
    ~FileAudioDevice() override;

    bool openOutput(const AudioFormat& format) override;
    bool write(const uint8_t* data, size_t frames) override;
    int64_t pendingMillis() override { return 0; }
    void drain() override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }

private:
    bool fail(const char* what);
    void finishHeader();

    Settings settings_;
    int fd_ = -1;
    AudioFormat format_;
    uint64_t dataBytes_ = 0;
    uint64_t framesWritten_ = 0;
    std::chrono::steady_clock::time_point started_;
};

} // namespace orvane
