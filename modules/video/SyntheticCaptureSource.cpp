#include "modules/video/SyntheticCaptureSource.h"

namespace orvane {

namespace {

const uint32_t kBars[] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0, 0x101010};

} // namespace

SyntheticCaptureSource::SyntheticCaptureSource(int width, int height, int bitCount)
    : width_(width), height_(height), bitCount_(bitCount)
{
}

bool SyntheticCaptureSource::open()
{
    open_ = width_ > 0 && height_ > 0 && (bitCount_ == 16 || bitCount_ == 24 || bitCount_ == 32);
    return open_;
}

void SyntheticCaptureSource::close() { open_ = false; }

uint32_t SyntheticCaptureSource::colourAt(int x, int y, int frame) const
{
    int side = height_ / 4 > 0 ? height_ / 4 : 1;
    int left = (frame * 3) % width_;
    int top = height_ / 3;
    int dx = x - left;
    if (dx < 0)
        dx += width_;
    if (dx < side && y >= top && y < top + side)
        return 0xFFFFFF;
    return kBars[static_cast<size_t>(x) * 8 / static_cast<size_t>(width_)];
}

bool SyntheticCaptureSource::grab(ByteArray& dib)
{
    if (!open_)
        return false;
    uint8_t* rows = prepareCaptureDib(dib, width_, height_, bitCount_);
    int rowBytes = captureRowBytes(width_, bitCount_);
    for (int stored = 0; stored < height_; ++stored) {
        uint8_t* row = rows + static_cast<size_t>(rowBytes) * stored;
        int y = height_ - 1 - stored;
        for (int x = 0; x < width_; ++x) {
            uint32_t c = colourAt(x, y, frame_);
            uint8_t r = static_cast<uint8_t>(c >> 16), g = static_cast<uint8_t>(c >> 8),
                    b = static_cast<uint8_t>(c);
            switch (bitCount_) {
            case 16: {
                uint32_t w = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
                row[2 * x] = static_cast<uint8_t>(w);
                row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
                break;
            }
            case 24:
                row[3 * x] = b;
                row[3 * x + 1] = g;
                row[3 * x + 2] = r;
                break;
            default:
                row[4 * x] = b;
                row[4 * x + 1] = g;
                row[4 * x + 2] = r;
                row[4 * x + 3] = 0;
                break;
            }
        }
        for (int pad = width_ * bitCount_ / 8; pad < rowBytes; ++pad)
            row[pad] = 0;
    }
    ++frame_;
    return true;
}

} // namespace orvane
