#pragma once

// An engine wired for tests: sound devices chosen per test (the real file back-end by
// default), reports collected instead of printed, and a listener that keeps every encoded
// frame and lets the test wait for a count.

#include "audio/FileAudioDevice.h"
#include "voice/VoiceEngine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace orvane::testing {

class FrameCollector : public VoiceEngineListener {
public:
    void onEncodedFrame(int channel, const uint8_t* data, int length) override
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            channels_.push_back(channel);
            frames_.emplace_back(data, data + length);
        }
        changed_.notify_all();
    }

    bool waitForFrames(size_t count, int timeoutMs = 20000)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return frames_.size() >= count; });
    }
    std::vector<std::vector<uint8_t>> frames() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return frames_;
    }
    std::vector<int> channels() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return channels_;
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::vector<uint8_t>> frames_;
    std::vector<int> channels_;
};

// Counts what a sound thread reports to its listener (start, data, stop) and lets the
// test wait for it.
class SoundEvents : public SoundListener {
public:
    void onStart() override { bump(starts_); }
    void onData(const void*, int) override { bump(data_); }
    void onStop() override { bump(stops_); }

    bool waitFor(const int SoundEvents::*field, int count, int timeoutMs = 20000)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return this->*field >= count; });
    }
    int get(const int SoundEvents::*field) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return this->*field;
    }

    int starts_ = 0;
    int data_ = 0;
    int stops_ = 0;

private:
    void bump(int& field)
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++field;
        }
        changed_.notify_all();
    }

    mutable std::mutex lock_;
    std::condition_variable changed_;
};

class Reports {
public:
    std::function<void(const char*)> sink()
    {
        return [this](const char* text) {
            {
                std::lock_guard<std::mutex> guard(lock_);
                texts_.push_back(text);
            }
            changed_.notify_all();
        };
    }
    // Waits for a report that begins with `prefix`.
    bool waitFor(const std::string& prefix, int timeoutMs = 20000)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            for (const auto& t : texts_)
                if (t.rfind(prefix, 0) == 0)
                    return true;
            return false;
        });
    }
    std::vector<std::string> texts() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return texts_;
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> texts_;
};

inline AudioDeviceFactory fileDevice(const std::string& path, bool paced = false)
{
    return [path, paced] {
        FileAudioDevice::Settings settings;
        settings.path = path.c_str();
        settings.paced = paced;
        return std::unique_ptr<AudioDevice>(new FileAudioDevice(settings));
    };
}

} // namespace orvane::testing
