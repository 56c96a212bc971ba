#pragma once

#include "modules/video/CaptureSource.h"
#include "modules/video/V4l2FrameConverter.h"

#include <memory>
#include <string>

namespace orvane {

// A V4L2 camera through libv4l2, asked for BGR24 at 320 by 240; libv4l2 converts what the
// device delivers, and a format that still arrives otherwise goes through libv4lconvert.
// Frames are read with v4l2_read, waiting at most ReadTimeoutMs for one.
class V4l2CaptureSource : public CaptureSource {
public:
    static constexpr int RequestedWidth = 320;
    static constexpr int RequestedHeight = 240;
    static constexpr int ReadTimeoutMs = 500;

    explicit V4l2CaptureSource(std::string device);
    ~V4l2CaptureSource() override;

    bool open() override;
    bool grab(ByteArray& dib) override;
    void close() override;

    // The first of /dev/video0 to /dev/video63 that exists, or empty.
    static std::string firstDevice();
    const V4l2FrameFormat& format() const { return format_; }

private:
    std::string device_;
    int fd_ = -1;
    V4l2FrameFormat format_;
    std::unique_ptr<V4l2FrameConverter> converter_;
    ByteArray raw_;
};

} // namespace orvane
