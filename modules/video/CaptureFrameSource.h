#pragma once

#include "modules/video/VideoFrameSource.h"
#include "modules/video/VideoThread.h"

namespace orvane {

// The capture thread's newest frame as the pictures of a session thread.
class CaptureFrameSource final : public VideoFrameSource {
public:
    explicit CaptureFrameSource(VideoThread& capture) : capture_(capture) {}
    void getFrame(VideoImage* image, int width, int height) override { capture_.getFrame(image, width, height); }

private:
    VideoThread& capture_;
};

} // namespace orvane
