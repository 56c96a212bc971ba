#pragma once

#include "modules/video/CaptureSource.h"

namespace orvane {

// A camera without hardware: colour bars with a white square that moves a few pixels on
// every frame, delivered at the chosen size and depth (16, 24 or 32 bits a pixel) the way a
// driver stores them, bottom row first. Frame n is the same picture on every run.
class SyntheticCaptureSource : public CaptureSource {
public:
    SyntheticCaptureSource(int width, int height, int bitCount);

    bool open() override;
    bool grab(ByteArray& dib) override;
    void close() override;

    // The colour (0x00RRGGBB) of pixel (x, y), y counted from the top, in frame n.
    uint32_t colourAt(int x, int y, int frame) const;
    int frameCount() const { return frame_; }

private:
    int width_;
    int height_;
    int bitCount_;
    int frame_ = 0;
    bool open_ = false;
};

} // namespace orvane
