#pragma once

#include "foundation/Containers.h"

#include <cstddef>
#include <cstdint>

struct v4lconvert_data;

namespace orvane {

// The layout of one V4L2 frame as the device reported it.
struct V4l2FrameFormat {
    uint32_t fourcc = 0; // V4L2 pixel format
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
    uint32_t sizeImage = 0;
};

// Turns V4L2 frames of any format libv4lconvert knows (YUYV, MJPEG, RGB24, ...) into packed
// 24-bit capture bitmaps. BGR24 frames are repacked without it. Bound to a device's
// descriptor, or detached (no device: for pictures that do not come from one).
class V4l2FrameConverter {
public:
    // Largest frame side and frame size accepted from a device.
    static constexpr int MaxSide = 8192;
    static constexpr uint32_t MaxFrameBytes = 64u * 1024 * 1024;

    V4l2FrameConverter();                // detached
    explicit V4l2FrameConverter(int fd); // the device's descriptor, from v4l2_open
    ~V4l2FrameConverter();
    V4l2FrameConverter(const V4l2FrameConverter&) = delete;
    V4l2FrameConverter& operator=(const V4l2FrameConverter&) = delete;

    // Converts length bytes of a frame in the format into dib. False, dib unspecified, when
    // the format is unknown or unfit (sizes out of range, lines shorter than the pixels) or
    // the bytes are too few for it.
    bool toCaptureDib(const V4l2FrameFormat& format, const uint8_t* bytes, size_t length,
                      ByteArray& dib);
    // The converter's last error text (empty when none).
    const char* lastError() const;

private:
    v4lconvert_data* data_ = nullptr;
    ByteArray bgr_;
    const char* ownError_ = "";
};

} // namespace orvane
