#pragma once

#include "modules/video/CaptureFrameSource.h"
#include "modules/video/VideoSessionThread.h"
#include "modules/video/VideoThread.h"
#include "modules/video/VideoWindowLink.h"

#include <memory>

namespace orvane {

// One video window's worker side: the session thread, the link it talks to, and its share
// of the capture thread. Once the window has closed it belongs to the reaper, which ends
// the thread and deletes all of it; the capture thread goes when the last session that
// reads it has gone, so no session ever reads a deleted camera.
struct VideoSession {
    VideoSession() : link(std::make_shared<VideoWindowLink>()) {}

    // The thread reads the camera from here; NULL capture: no camera.
    void setCapture(std::shared_ptr<VideoThread> camera)
    {
        capture = std::move(camera);
        source.reset(capture ? new CaptureFrameSource(*capture) : nullptr);
        thread.setFrameSource(source.get());
    }

    std::shared_ptr<VideoWindowLink> link;
    std::shared_ptr<VideoThread> capture;
    std::unique_ptr<CaptureFrameSource> source;
    // Declared last: it stops before what it reads goes.
    VideoSessionThread thread;
};

} // namespace orvane
