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

void GsmCodec::encodeFrame(const int16_t* samples, uint8_t* bytes)
{
    // libgsm takes writable buffers, though it does not write its input.
    gsm_signal frame[FrameSamples];
    std::memcpy(frame, samples, sizeof frame);
    gsm_encode(encoder_, frame, bytes);
}

void GsmCodec::decodeFrame(const uint8_t* bytes, int16_t* samples)
{
    gsm_byte coded[FrameBytes];
    std::memcpy(coded, bytes, FrameBytes);
    if (gsm_decode(decoder_, coded, samples) != 0)
        std::memset(samples, 0, FrameSamples * sizeof(int16_t));
}

} // namespace orvane
