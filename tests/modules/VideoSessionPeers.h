#pragma once

// What a video session thread talks to in the tests and the benchmark: a window that
// records what the thread shows, a camera that paints numbered test patterns, and a
// channel wrapper that counts the packets going out by type.

#include "core/module/ModuleInterfaces.h"
#include "tests/modules/RecordingHost.h"
#include "modules/video/VideoFrameSource.h"
#include "modules/video/VideoImage.h"
#include "modules/video/VideoSessionWindow.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace orvane::testing {

using Picture = std::vector<uint32_t>;

// Picture number `frame` of pattern `kind` at width x height. Every colour byte is a
// multiple of 16, so two patterns differ in a pixel by 16 or more, well past the change
// threshold: a picture arrives exactly as painted, key frame or delta.
inline Picture patternPicture(int kind, int frame, int width, int height)
{
    Picture p(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t v = static_cast<uint32_t>((x + frame) / (3 + kind) * 7 + y / (2 + kind) * 5 + kind * 3);
            p[static_cast<size_t>(y) * width + x] = ((v * 3) & 15) << 20 | ((v * 5 + kind) & 15) << 12 | (v & 15) << 4;
        }
    }
    return p;
}

// A camera that hands out the pictures of one pattern, the next number on every call, at
// the size asked for (its own when none is asked).
class PatternCamera final : public VideoFrameSource {
public:
    PatternCamera(int kind, int width, int height) : kind_(kind), width_(width), height_(height) {}

    void getFrame(VideoImage* image, int width, int height) override
    {
        if (!image)
            return;
        const int w = width > 0 ? width : width_;
        const int h = height > 0 ? height : height_;
        const Picture p = patternPicture(kind_, frames_.fetch_add(1), w, h);
        image->setPixels(p.data(), w, h);
    }

    int kind() const { return kind_; }
    int framesTaken() const { return frames_.load(); }

private:
    const int kind_;
    const int width_;
    const int height_;
    std::atomic<int> frames_{0};
};

// Records every call of the session thread, under a lock, and lets the test wait for what
// it expects. Keeps every picture shown unless told to keep only the last.
class RecordingWindow final : public VideoSessionWindow {
public:
    struct Shown {
        int width = 0;
        int height = 0;
        Picture pixels;
        bool operator==(const Shown& o) const
        {
            return width == o.width && height == o.height && pixels == o.pixels;
        }
    };

    RecordingWindow(int sendWidth, int sendHeight, IContact* contact = nullptr)
        : sendWidth_(sendWidth), sendHeight_(sendHeight), contact_(contact)
    {
    }

    bool keepEveryPicture = true;

    void OnSessionStarted() override { note([&] { ++started_; }); }
    void OnConnectionClosed() override { note([&] { ++closed_; }); }
    void SetStatusLine(const char* text) override { note([&] { statusLines_.emplace_back(text); }); }
    void ShowRemote(const uint32_t* pixels, int width, int height) override
    {
        note([&] { keep(remote_, remoteCount_, pixels, width, height); });
    }
    void ShowLocal(const uint32_t* pixels, int width, int height) override
    {
        note([&] { keep(local_, localCount_, pixels, width, height); });
    }
    int getSendWidth() override { return sendWidth_; }
    int getSendHeight() override { return sendHeight_; }
    IContact* getContact() override { return contact_; }

    // Waits up to timeout for the condition, evaluated under the lock on this window.
    template <class Condition>
    bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, timeout, [&] { return condition(*this); });
    }

    // Read these under waitUntil, or once the session thread has ended.
    int started() const { return started_; }
    int closed() const { return closed_; }
    const std::vector<std::string>& statusLines() const { return statusLines_; }
    int remoteCount() const { return remoteCount_; }
    int localCount() const { return localCount_; }
    const std::vector<Shown>& remote() const { return remote_; }
    const std::vector<Shown>& local() const { return local_; }

private:
    template <class Change>
    void note(Change change)
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            change();
        }
        changed_.notify_all();
    }

    void keep(std::vector<Shown>& list, int& count, const uint32_t* pixels, int width, int height)
    {
        ++count;
        Shown s{width, height, Picture(pixels, pixels + static_cast<size_t>(width) * height)};
        if (!keepEveryPicture)
            list.clear();
        list.push_back(std::move(s));
    }

    const int sendWidth_;
    const int sendHeight_;
    IContact* const contact_;
    std::mutex lock_; // guards everything below
    std::condition_variable changed_;
    int started_ = 0;
    int closed_ = 0;
    std::vector<std::string> statusLines_;
    int remoteCount_ = 0;
    int localCount_ = 0;
    std::vector<Shown> remote_;
    std::vector<Shown> local_;
};

// Packets sent through a CountingConnection, by their first byte; readable from any thread,
// also after the channel is gone.
class PacketCounts {
public:
    void count(uint8_t type)
    {
        if (type >= sent_.size())
            return;
        {
            std::lock_guard<std::mutex> guard(lock_);
            ++sent_[type];
        }
        changed_.notify_all();
    }
    int of(uint8_t type) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return sent_[type];
    }
    // Waits up to timeout until n packets of the type have gone.
    bool waitFor(uint8_t type, int n, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(lock_);
        return changed_.wait_for(lock, timeout, [&] { return sent_[type] >= n; });
    }

private:
    mutable std::mutex lock_; // guards sent_
    std::condition_variable changed_;
    std::array<int, 4> sent_{};
};

// Passes everything to the channel it wraps and counts the packets sent.
class CountingConnection final : public IModuleConnection {
public:
    CountingConnection(IModuleConnection* inner, PacketCounts& counts) : inner_(inner), counts_(counts) {}

    void send(const void* data, int length) override
    {
        if (data && length > 0)
            counts_.count(*static_cast<const uint8_t*>(data));
        inner_->send(data, length);
    }
    int receive(int timeoutMs) override { return inner_->receive(timeoutMs); }
    const uint8_t* data() override { return inner_->data(); }
    int size() override { return inner_->size(); }
    void close() override
    {
        inner_->close();
        delete this;
    }

private:
    IModuleConnection* inner_;
    PacketCounts& counts_;
};

} // namespace orvane::testing
