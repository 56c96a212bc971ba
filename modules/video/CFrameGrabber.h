#pragma once

#include "modules/video/CaptureSource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace orvane {

// The capture thread's hold on the camera: it owns the open capture source and the buffer
// holding the last frame as a packed capture bitmap. At most one grabber in the process has
// a source at a time (a camera serves one reader), and the source is asked for a frame no
// more often than every MinGrabSpacingMs. Used by the capture thread only.
class CFrameGrabber {
public:
    static constexpr uint32_t MinGrabSpacingMs = 20;
    // A millisecond tick that wraps at 32 bits; differences are taken unsigned.
    using Clock = std::function<uint32_t()>;

    CFrameGrabber();
    ~CFrameGrabber();
    CFrameGrabber(const CFrameGrabber&) = delete;
    CFrameGrabber& operator=(const CFrameGrabber&) = delete;

    // Opens the source and keeps it. False (the source dropped) when there is no source,
    // when this or another grabber already holds one, or when the source does not open.
    bool Create(std::unique_ptr<CaptureSource> source);
    // The last frame, after asking the source for a new one unless the last came at most
    // MinGrabSpacingMs ago. NULL until a first frame has come.
    const ByteArray* GrabFrame();
    // Closes and drops the source; another grabber may then take the camera.
    void Destroy();
    bool exists() const { return source_ != nullptr; }

    void setClock(Clock clock) { clock_ = std::move(clock); }
    // How often the source was asked for a frame.
    int grabCount() const { return grabCount_; }

private:
    static std::atomic<CFrameGrabber*> current_;

    std::unique_ptr<CaptureSource> source_;
    ByteArray buffer_;
    ByteArray incoming_;
    bool hasFrame_ = false;
    uint32_t lastFrameTime_ = 0;
    int grabCount_ = 0;
    Clock clock_;
};

} // namespace orvane
