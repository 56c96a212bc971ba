#include "modules/video/VideoThread.h"

#include "foundation/Exception.h"

#include <chrono>
#include <cstdio>

namespace orvane {

VideoThread::VideoThread(SourceFactory factory)
    : factory_(std::move(factory)),
      errorReport_([](const char* text) { std::fprintf(stderr, "video: %s\n", text); })
{
}

VideoThread::~VideoThread()
{
    // The body uses the members below: it must have ended before they go.
    stop(true);
}

void VideoThread::run()
{
    if (!createCaptureWindow()) {
        std::lock_guard<std::mutex> guard(frameLock_);
        ended_ = true;
        frameChanged_.notify_all();
        return;
    }
    try {
        loop();
    } catch (const Exception&) {
        if (errorReport_)
            errorReport_(ErrorText);
    } catch (const std::exception&) {
        if (errorReport_)
            errorReport_(ErrorText);
    }
    active_ = false;
    grabber_.Destroy();
    std::lock_guard<std::mutex> guard(frameLock_);
    ended_ = true;
    frameChanged_.notify_all();
}

bool VideoThread::createCaptureWindow()
{
    if (grabber_.exists())
        return active_.load();
    bool created = factory_ && grabber_.Create(factory_());
    active_ = created;
    return created;
}

void VideoThread::loop()
{
    active_ = true;
    while (active_.load() && !isStopRequested()) {
        if (!paused_)
            storeFrame(grabber_.GrabFrame());
        Thread::sleep(LoopIntervalMs);
    }
    active_ = false;
}

void VideoThread::storeFrame(const ByteArray* dib)
{
    if (!dib)
        return;
    std::lock_guard<std::mutex> guard(frameLock_);
    if (sharedImage_.setFromCaptureDib(dib->data(), static_cast<size_t>(dib->count())) && !frameStored_) {
        frameStored_ = true;
        frameChanged_.notify_all();
    }
}

void VideoThread::getFrame(VideoImage* image, int width, int height)
{
    if (!image)
        return;
    {
        std::lock_guard<std::mutex> guard(frameLock_);
        if (sharedImage_.isEmpty())
            return;
        image->copy(&sharedImage_);
    }
    if (width != 0 && height != 0)
        image->resizeImage(width, height);
}

bool VideoThread::waitForFrame(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(frameLock_);
    frameChanged_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                           [this] { return frameStored_ || ended_; });
    return frameStored_;
}

} // namespace orvane
