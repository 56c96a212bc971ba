#include "audio/WavPlayer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace orvane {

SoundOutput::~SoundOutput() = default;

namespace {

// How long the thread waits at most between two looks at the device while the end of a
// sound drains: the latency of a cut-off in that phase.
constexpr int64_t DrainStepMs = 20;
// A device's buffer holds well under a second; one that still claims to be playing after
// this long after the last write is stuck, and its tail is dropped rather than waited for.
constexpr int64_t DrainLimitMs = 2000;

void reportToStandardError(const char* text)
{
    std::fprintf(stderr, "orvane: sound: %s\n", text);
}

WavPlayer::Settings completed(WavPlayer::Settings settings)
{
    if (!settings.device) {
        const AudioDeviceChoice choice = AudioDeviceChoice::fromEnvironment();
        settings.device = [choice] { return choice.create(); };
    }
    if (!settings.report)
        settings.report = reportToStandardError;
    if (settings.chunkFrames == 0)
        settings.chunkFrames = 240;
    return settings;
}

} // namespace

WavPlayer::WavPlayer() : WavPlayer(Settings()) {}

WavPlayer::WavPlayer(Settings settings) : settings_(completed(std::move(settings))) {}

WavPlayer::~WavPlayer()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
        ++requests_;
        pending_.reset();
    }
    changed_.notify_all();
    // quit_ keeps any later play from starting the thread, so thread_ is settled here.
    if (thread_.joinable())
        thread_.join();
}

WavPlayer& WavPlayer::processPlayer()
{
    static WavPlayer player;
    return player;
}

bool WavPlayer::play(const char* path)
{
    WavSound sound;
    if (loadWavFile(path, sound) != WavError::None)
        return false;
    return playSound(std::move(sound));
}

bool WavPlayer::playSound(WavSound sound)
{
    if (!sound.format.isValid())
        return false;
    auto next = std::make_unique<WavSound>(std::move(sound));
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (quit_)
            return false;
        // The thread comes with the first sound: a process that never plays has none.
        if (!thread_.joinable())
            thread_ = std::thread([this] { threadMain(); });
        pending_ = std::move(next);
        ++requests_;
    }
    changed_.notify_all();
    return true;
}

void WavPlayer::stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        pending_.reset();
        ++requests_;
    }
    changed_.notify_all();
}

bool WavPlayer::isPlaying() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return busy_ || pending_;
}

bool WavPlayer::waitUntilIdle(int timeoutMs) const
{
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(std::max(0, timeoutMs)),
                             [this] { return !busy_ && !pending_; });
}

bool WavPlayer::superseded(uint64_t request) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return requests_ != request;
}

void WavPlayer::threadMain()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [this] { return quit_ || pending_; });
        if (quit_)
            break;
        const std::unique_ptr<WavSound> sound = std::move(pending_);
        const uint64_t request = requests_;
        busy_ = true;
        guard.unlock();
        try {
            playOne(*sound, request);
        } catch (const std::exception& e) {
            // Only allocation can throw here; the sound is lost, the player goes on.
            settings_.report(e.what());
        }
        guard.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

void WavPlayer::reportFailure(const AudioDevice* device, const char* what)
{
    if (failing_)
        return;
    failing_ = true;
    String text = what;
    if (device && !device->errorText().isEmpty())
        text += ": " + device->errorText();
    settings_.report(text.c_str());
}

void WavPlayer::playOne(const WavSound& sound, uint64_t request)
{
    std::unique_ptr<AudioDevice> device = settings_.device();
    if (!device)
        return;
    if (!device->openOutput(sound.format)) {
        reportFailure(device.get(), "no sound device");
        return;
    }
    const size_t frameBytes = static_cast<size_t>(sound.format.bytesPerFrame());
    const size_t frames = sound.frameCount();
    for (size_t at = 0; at < frames; at += settings_.chunkFrames) {
        if (superseded(request)) {
            device->close();
            return;
        }
        const size_t count = std::min(settings_.chunkFrames, frames - at);
        if (!device->write(sound.samples.data() + at * frameBytes, count)) {
            reportFailure(device.get(), "the sound device failed");
            return;
        }
    }
    // The tail still in the device's buffer; a newer request cuts it too.
    const auto drainDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(DrainLimitMs);
    for (;;) {
        const int64_t pending = device->pendingMillis();
        if (pending <= 0)
            break;
        if (std::chrono::steady_clock::now() >= drainDeadline) {
            device->close();
            return;
        }
        std::unique_lock<std::mutex> guard(lock_);
        if (changed_.wait_for(guard, std::chrono::milliseconds(std::min(pending, DrainStepMs)),
                              [&] { return requests_ != request; })) {
            guard.unlock();
            device->close();
            return;
        }
    }
    device->drain();
    device->close();
    failing_ = false;
}

} // namespace orvane
