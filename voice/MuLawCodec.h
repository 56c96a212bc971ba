#pragma once

#include "voice/AudioCodec.h"

namespace orvane {

// G.711 mu-law through two tables: compression looks up the 16-bit sample shifted right
// by three (8192 entries of one byte), expansion looks up one of 256 codes (the G.711
// values, scaled so that the largest code gives 32256). One byte a sample, either width;
// encoding and decoding share no state beyond the 8-bit operations' scratch.
class MuLawCodec : public AudioCodec {
public:
    MuLawCodec();
    ~MuLawCodec() override;

    void reset() override {}
    int encode8(const uint8_t* samples, int count, ByteArray& out, bool append) override;
    int decode8(const uint8_t* bytes, int count, ByteArray& out, bool append) override;
    int encode16(const int16_t* samples, int count, ByteArray& out, bool append) override;
    int decode16(const uint8_t* bytes, int count, SampleArray& out, bool append) override;

    static uint8_t compress(int16_t sample);
    static int16_t expand(uint8_t code);

private:
    SampleArray scratch_{ScratchGrowBy};
};

} // namespace orvane
