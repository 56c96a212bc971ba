#pragma once

// The far side of a video window in the window tests: a real session thread on the other
// end of a loopback TCP channel, with a camera that shows one still picture.

#include "core/channels/TcpModuleConnection.h"
#include "modules/video/VideoSessionThread.h"
#include "tests/foundation/LoopbackSockets.h"
#include "tests/modules/VideoSessionPeers.h"

#include <memory>

namespace orvane::testing {

// Always the same picture: number 0 of a pattern, at the size asked for.
class StillCamera final : public VideoFrameSource {
public:
    explicit StillCamera(int kind) : kind_(kind) {}
    void getFrame(VideoImage* image, int width, int height) override
    {
        const int w = width > 0 ? width : 120;
        const int h = height > 0 ? height : 90;
        const Picture p = patternPicture(kind_, 0, w, h);
        image->setPixels(p.data(), w, h);
    }

private:
    const int kind_;
};

// A peer with a still camera of pattern kind (or none for -1); connection() is the channel
// the window under test gets.
class VideoPeer {
public:
    explicit VideoPeer(int kind) : window(120, 90)
    {
        if (kind >= 0)
            camera = std::make_unique<StillCamera>(kind);
        ConnectedPair pair = connectedPair();
        ours_ = std::move(pair.client);
        thread.setWindow(&window);
        thread.setFrameSource(camera.get());
        thread.setConnection(new TcpModuleConnection(pair.server.release()));
        thread.init();
        thread.start();
    }
    ~VideoPeer()
    {
        thread.endSession();
        thread.stop(true);
    }

    // The window's end of the channel; once only.
    IModuleConnection* connection()
    {
        return new TcpModuleConnection(ours_.release());
    }

    RecordingWindow window;
    std::unique_ptr<StillCamera> camera;
    VideoSessionThread thread;

private:
    OwnedSocket ours_;
};

} // namespace orvane::testing
