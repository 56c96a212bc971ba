#include "voice/GsmCodec.h"

extern "C" {
#include <gsm.h>
}

#include <cstring>

namespace orvane {

GsmCodec::GsmCodec()
{
    reset();
}

GsmCodec::~GsmCodec()
{
    destroyStates();
}

void GsmCodec::destroyStates()
{
    if (encoder_)
        gsm_destroy(encoder_);
    if (decoder_)
        gsm_destroy(decoder_);
    encoder_ = decoder_ = nullptr;
}

void GsmCodec::reset()
{
    // A fresh state is the cleared one (libgsm also sets its one non-zero start value).
    destroyStates();
    encoder_ = gsm_create();
    decoder_ = gsm_create();
    if (!encoder_ || !decoder_) {
        destroyStates();
        throw MemoryException();
    }
}

int GsmCodec::encode16(const int16_t* samples, int count, ByteArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count < FrameSamples)
        return 0;
    // libgsm takes a writable buffer, though it does not write it.
    gsm_signal frame[FrameSamples];
    std::memcpy(frame, samples, sizeof frame);
    gsm_byte coded[FrameBytes];
    gsm_encode(encoder_, frame, coded);
    out.write(out.count(), coded, FrameBytes);
    return FrameBytes;
}

int GsmCodec::decode16(const uint8_t* bytes, int count, SampleArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count != FrameBytes)
        return 0;
    gsm_byte coded[FrameBytes];
    std::memcpy(coded, bytes, FrameBytes);
    const int start = out.count();
    out.setSize(start + FrameSamples);
    if (gsm_decode(decoder_, coded, out.data() + start) != 0)
        std::memset(out.data() + start, 0, FrameSamples * sizeof(int16_t));
    return FrameSamples;
}

} // namespace orvane
