#pragma once

namespace orvane {

class VideoImage;

// Where a session thread takes the pictures it sends: the camera's capture thread in the
// program, a pattern of the test's own in tests.
class VideoFrameSource {
public:
    virtual ~VideoFrameSource() = default;
    // The newest frame scaled to width x height (0 x 0: as captured) into image; the image
    // is left as it is when there is no frame yet. Called from session threads, several at
    // once.
    virtual void getFrame(VideoImage* image, int width, int height) = 0;
};

} // namespace orvane
