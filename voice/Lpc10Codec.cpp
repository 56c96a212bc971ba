#include "voice/Lpc10Codec.h"

#include <spandsp.h>

#include <cstring>

namespace orvane {

struct Lpc10States {
    lpc10_encode_state_t* encoder = nullptr;
    lpc10_decode_state_t* decoder = nullptr;
};

namespace {

uint8_t mirrored(uint8_t b)
{
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

} // namespace

Lpc10Codec::Lpc10Codec() : states_(new Lpc10States)
{
    reset();
}

Lpc10Codec::~Lpc10Codec()
{
    if (states_->encoder)
        lpc10_encode_free(states_->encoder);
    if (states_->decoder)
        lpc10_decode_free(states_->decoder);
    delete states_;
}

void Lpc10Codec::reset()
{
    // Initialising in place keeps the states' memory; the first reset allocates it.
    states_->encoder = lpc10_encode_init(states_->encoder, 0);
    states_->decoder = lpc10_decode_init(states_->decoder, 0);
    if (!states_->encoder || !states_->decoder)
        throw MemoryException();
}

void Lpc10Codec::encodeFrame(const int16_t* samples, uint8_t* bytes)
{
    if (lpc10_encode(states_->encoder, bytes, samples, FrameSamples) != FrameBytes)
        std::memset(bytes, 0, FrameBytes);
    for (int i = 0; i < FrameBytes; ++i)
        bytes[i] = mirrored(bytes[i]);
}

void Lpc10Codec::decodeFrame(const uint8_t* bytes, int16_t* samples)
{
    uint8_t coded[FrameBytes];
    for (int i = 0; i < FrameBytes; ++i)
        coded[i] = mirrored(bytes[i]);
    if (lpc10_decode(states_->decoder, samples, coded, FrameBytes) != FrameSamples)
        std::memset(samples, 0, FrameSamples * sizeof(int16_t));
}

} // namespace orvane
