#pragma once

#include "audio/AudioDevice.h"
#include "audio/WavFile.h"

#include <chrono>
#include <memory>

namespace orvane {

// Plays into a WAV file: what a sound card would have been given, for tests and for
// machines without sound. Each openOutput truncates the file and writes a header; the
// header's sizes are filled in by drain and close (a path that cannot seek, such as a
// pipe, keeps sizes of 0). Paced, each write returns only when the frames written so far
// would have been played at the format's rate, so a player behaves as with a sound card
// (sounds take their time and can be cut off); unpaced, writes return at once.
//
// For capture the file is a WAV file that is read: openInput loads it whole (within
// MaxWavFileBytes) and takes it only in the very format asked for, since a sound card
// does not resample either. Paced, each read returns when its frames would have been
// recorded; at the end of the file reads answer 0.
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
    bool openInput(const AudioFormat& format) override;
    long read(uint8_t* data, size_t frames) override;
    int64_t pendingMillis() override { return 0; }
    void drain() override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0 || input_ != nullptr; }

private:
    bool fail(const char* what);
    void finishHeader();
    // Paced: waits until `frames` frames since the open would have played or been heard.
    void pace(uint64_t frames) const;

    Settings settings_;
    int fd_ = -1;
    AudioFormat format_;
    uint64_t dataBytes_ = 0;
    uint64_t framesWritten_ = 0;
    // The sound being read, while open for capture, and the frames read from it.
    std::unique_ptr<WavSound> input_;
    uint64_t framesRead_ = 0;
    std::chrono::steady_clock::time_point started_;
};

} // namespace orvane
