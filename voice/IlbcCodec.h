#pragma once

#include "voice/AudioCodec.h"

#include <memory>

namespace orvane {

namespace ilbc {
class Encoder;
class Decoder;
} // namespace ilbc

// iLBC through our own coder (voice/ilbc): 20 ms frames (160 samples, 38 bytes) or 30 ms
// frames (240 samples, 50 bytes), the decoder with its enhancer on. Frames are decoded
// in the normal way only: a lost frame is simply not played. Decoded values are clamped
// to 16 bits and cut toward zero.
class IlbcCodec : public FrameCodec {
public:
    IlbcCodec();
    ~IlbcCodec() override;
    IlbcCodec(const IlbcCodec&) = delete;
    IlbcCodec& operator=(const IlbcCodec&) = delete;

    // 20 for 20 ms frames, anything else for 30 ms; then reset.
    void setFrameMode(int ms);
    int frameMode() const { return frameMode_; }

    void reset() override;
    int frameSamples() const override { return samplesPerFrame_; }
    int frameBytes() const override { return bytesPerFrame_; }

protected:
    void encodeFrame(const int16_t* samples, uint8_t* bytes) override;
    void decodeFrame(const uint8_t* bytes, int16_t* samples) override;

private:
    std::unique_ptr<ilbc::Encoder> encoder_;
    std::unique_ptr<ilbc::Decoder> decoder_;
    int frameMode_ = 30;
    int samplesPerFrame_ = 240;
    int bytesPerFrame_ = 50;
};

} // namespace orvane
