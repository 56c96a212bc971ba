#pragma once

#include "voice/AudioCodec.h"

namespace orvane {

struct Lpc10States;

// LPC-10 at 2400 bit/s through spandsp: 180 samples to 54 bits, carried in 7 bytes with
// bit i of the frame in bit i mod 8 of byte i div 8 (least significant bit first; the
// last byte holds bits 48 to 53 and two 0 bits). spandsp packs the same bits most
// significant first, so every byte is mirrored on the way in and out.
class Lpc10Codec : public FrameCodec {
public:
    static constexpr int FrameSamples = 180;
    static constexpr int FrameBytes = 7;

    Lpc10Codec();
    ~Lpc10Codec() override;
    Lpc10Codec(const Lpc10Codec&) = delete;
    Lpc10Codec& operator=(const Lpc10Codec&) = delete;

    void reset() override;
    int frameSamples() const override { return FrameSamples; }
    int frameBytes() const override { return FrameBytes; }

protected:
    void encodeFrame(const int16_t* samples, uint8_t* bytes) override;
    void decodeFrame(const uint8_t* bytes, int16_t* samples) override;

private:
    Lpc10States* states_;
};

} // namespace orvane
