#pragma once

#include "foundation/Thread.h"
#include "modules/video/CFrameGrabber.h"
#include "modules/video/CaptureSource.h"
#include "modules/video/VideoImage.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace orvane {

// The capture thread: while it runs it holds the camera and, every LoopIntervalMs, converts
// the newest frame into the shared picture that session threads copy with getFrame. When
// the camera cannot be taken the thread ends at once and without a word, the shared picture
// stays empty, and sessions go on without a camera.
//
// Threads: run and the loop on the capture thread; getFrame and waitForFrame on any thread.
// The shared picture is reachable only under frameLock_, which is held for one conversion or
// one copy; scaling runs outside it.
class VideoThread : public Thread {
public:
    static constexpr int LoopIntervalMs = 30;
    static constexpr const char* ErrorText = "Error in VideoThread !";

    using SourceFactory = std::function<std::unique_ptr<CaptureSource>()>;
    // Told when a failure ends the loop; called on the capture thread, so a window-showing
    // report posts to the user-interface thread. By default the text goes to the log.
    using ErrorReport = std::function<void(const char* text)>;

    // The factory runs on the capture thread when it starts.
    explicit VideoThread(SourceFactory factory = captureSourceFromEnvironment);
    ~VideoThread() override;

    void run() override;
    bool deleteWhenDone() override { return false; }

    // Copies the newest frame into the image and scales the copy to width by height when
    // both are non-zero. Before the first frame (or without a camera) the image is left
    // untouched; NULL does nothing.
    void getFrame(VideoImage* image, int width, int height);
    // Waits until a frame has been stored, at most timeoutMs; false when none came in time
    // or the thread ended without one.
    bool waitForFrame(int timeoutMs);
    // True while the camera is held and the loop runs.
    bool isActive() const { return active_.load(); }
    void setErrorReport(ErrorReport report) { errorReport_ = std::move(report); }

private:
    bool createCaptureWindow();
    void loop();
    void storeFrame(const ByteArray* dib);

    SourceFactory factory_;
    ErrorReport errorReport_;
    CFrameGrabber grabber_; // capture thread only
    std::atomic<bool> active_{false};
    bool paused_ = false; // nothing sets it; kept for a pause the window may offer

    std::mutex frameLock_; // guards sharedImage_, frameStored_, ended_
    std::condition_variable frameChanged_;
    VideoImage sharedImage_;
    bool frameStored_ = false;
    bool ended_ = false;
};

} // namespace orvane
