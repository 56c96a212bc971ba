#pragma once

#include "foundation/Containers.h"

#include <cstdint>
#include <memory>

namespace orvane {

// Where camera pictures come from, in place of a capture driver: a V4L2 device, a moving
// test pattern or a picture file. A source hands each frame as a packed capture bitmap (the
// 40-byte header, then the rows bottom first, each padded to 4 bytes) in one of the RGB forms
// VideoImage::setFromCaptureDib reads; formats it cannot turn into one of those it refuses.
// Used by one thread at a time (the capture thread).
class CaptureSource {
public:
    virtual ~CaptureSource();

    // Connects to the device; false when there is none or it offers nothing readable.
    virtual bool open() = 0;
    // Writes the next frame into dib (its count becomes the bitmap's length); false when no
    // frame came. Only after a successful open.
    virtual bool grab(ByteArray& dib) = 0;
    virtual void close() = 0;
};

// The source a setting names: "none" (no camera: NULL), "synthetic:WxHxBPP", "file:PATH" or
// "v4l2:DEVICE". NULL or an empty setting picks the first V4L2 device there is, or none. A
// setting it cannot read gives none.
std::unique_ptr<CaptureSource> createCaptureSource(const char* setting);
// The source ORVANE_VIDEO_SOURCE names.
std::unique_ptr<CaptureSource> captureSourceFromEnvironment();

// Fills the header of a packed capture bitmap of the size and depth (uncompressed) into
// dib, sizes dib to hold the rows and answers where the rows begin.
uint8_t* prepareCaptureDib(ByteArray& dib, int width, int height, int bitCount);
// Bytes in one stored row: the pixels padded to a multiple of 4 bytes.
int captureRowBytes(int width, int bitCount);

} // namespace orvane
