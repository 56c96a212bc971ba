#pragma once

// One side of a video call in the benchmarks: a session thread with a camera and a window
// that keeps only the last picture, on one end of a channel.

#include "core/channels/TcpModuleConnection.h"
#include "modules/video/VideoSessionThread.h"
#include "tests/modules/VideoSessionPeers.h"

namespace orvane::testing {

struct VideoSessionSide {
    explicit VideoSessionSide(VideoFrameSource& camera) : window(120, 90)
    {
        window.keepEveryPicture = false;
        thread.setWindow(&window);
        thread.setFrameSource(&camera);
    }
    void start(SocketHandle socket)
    {
        thread.setConnection(new TcpModuleConnection(socket));
        thread.init();
        thread.start();
    }
    void end()
    {
        thread.endSession();
        thread.stop(true);
    }
    RecordingWindow window;
    VideoSessionThread thread;
};

} // namespace orvane::testing
