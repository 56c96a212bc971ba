#pragma once

// Sound devices for tests of what is played: the real file back-end, each sound into a
// file of its own in a test folder (sound-0.wav, sound-1.wav, ...), watched so that a test
// can wait until a sound has reached its device.

#include "audio/FileAudioDevice.h"
#include "audio/WavFile.h"
#include "audio/WavPlayer.h"
#include "tests/audio/WavBytes.h"
#include "tests/foundation/TempDirectory.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orvane::testing {

class RecordingDevices {
public:
    explicit RecordingDevices(const TempDirectory& dir, bool paced) : dir_(dir), paced_(paced) {}

    WavPlayer::Settings settings()
    {
        WavPlayer::Settings settings;
        settings.device = [this] { return make(); };
        settings.report = [this](const char* text) {
            std::lock_guard<std::mutex> guard(lock_);
            reports_.push_back(text);
        };
        return settings;
    }

    int made() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return made_;
    }
    std::vector<std::string> reports() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return reports_;
    }
    std::string output(int index) const { return readBytes(dir_ / ("sound-" + std::to_string(index) + ".wav")); }
    // The samples of sound `index`, without the header.
    std::string samples(int index) const { return output(index).substr(WavHeaderBytes); }

    // Waits until sound `index` has been given at least `frames` frames.
    bool waitForFrames(int index, size_t frames, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            return index < static_cast<int>(written_.size()) && written_[static_cast<size_t>(index)] >= frames;
        });
    }

private:
    // The real file device, counting what it has been given.
    class Watched : public FileAudioDevice {
    public:
        Watched(const Settings& settings, RecordingDevices& owner, int index)
            : FileAudioDevice(settings), owner_(owner), index_(index)
        {
        }
        bool write(const uint8_t* data, size_t frames) override
        {
            const bool ok = FileAudioDevice::write(data, frames);
            {
                std::lock_guard<std::mutex> guard(owner_.lock_);
                owner_.written_[static_cast<size_t>(index_)] += frames;
            }
            owner_.changed_.notify_all();
            return ok;
        }

    private:
        RecordingDevices& owner_;
        int index_;
    };

    std::unique_ptr<AudioDevice> make()
    {
        std::lock_guard<std::mutex> guard(lock_);
        FileAudioDevice::Settings settings;
        settings.path = (dir_ / ("sound-" + std::to_string(made_) + ".wav")).c_str();
        settings.paced = paced_;
        written_.push_back(0);
        return std::make_unique<Watched>(settings, *this, made_++);
    }

    const TempDirectory& dir_;
    bool paced_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    int made_ = 0;
    std::vector<size_t> written_;
    std::vector<std::string> reports_;
};

// A sound of `ms` milliseconds at 8000 Hz, 16-bit mono, every sample `value`.
inline std::string steadySound(int ms, int16_t value)
{
    return samples16(std::vector<int16_t>(static_cast<size_t>(8 * ms), value));
}

} // namespace orvane::testing
