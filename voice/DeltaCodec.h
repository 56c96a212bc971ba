#pragma once

#include "voice/AudioCodec.h"

namespace orvane {

// The program's own lossless coder for 8-bit samples: each sample is coded as its
// difference d from the previous sample (the first one from 128), in unary. A bit 1 alone
// means no change; otherwise |d| bits 0, a 1 and a sign bit (1 for down). Bits are packed
// least significant first and the last byte is padded with 0 bits, which the decoder
// takes as an unfinished run and drops. Quiet sound codes near one bit a sample; loud
// sound grows beyond eight.
//
// 16-bit operations narrow to 8 bits first and widen after: only the high byte survives.
// Every operation uses the one scratch array (see AudioCodec on threads).
class DeltaCodec : public AudioCodec {
public:
    DeltaCodec();
    ~DeltaCodec() override;

    void reset() override {}
    int encode8(const uint8_t* samples, int count, ByteArray& out, bool append) override;
    int decode8(const uint8_t* bytes, int count, ByteArray& out, bool append) override;
    int encode16(const int16_t* samples, int count, ByteArray& out, bool append) override;
    int decode16(const uint8_t* bytes, int count, SampleArray& out, bool append) override;

private:
    ByteArray scratch_;
};

} // namespace orvane
