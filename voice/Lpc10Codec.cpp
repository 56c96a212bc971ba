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

int Lpc10Codec::encode16(const int16_t* samples, int count, ByteArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count < FrameSamples)
        return 0;
    uint8_t coded[FrameBytes];
    if (lpc10_encode(states_->encoder, coded, samples, FrameSamples) != FrameBytes)
        return 0;
    for (uint8_t& b : coded)
        b = mirrored(b);
    out.write(out.count(), coded, FrameBytes);
    return FrameBytes;
}

int Lpc10Codec::decode16(const uint8_t* bytes, int count, SampleArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count != FrameBytes)
        return 0;
    uint8_t coded[FrameBytes];
    for (int i = 0; i < FrameBytes; ++i)
        coded[i] = mirrored(bytes[i]);
    int16_t decoded[FrameSamples];
    if (lpc10_decode(states_->decoder, decoded, coded, FrameBytes) != FrameSamples)
        std::memset(decoded, 0, sizeof decoded);
    const int start = out.count();
    out.setSize(start + FrameSamples);
    std::memcpy(out.data() + start, decoded, sizeof decoded);
    return FrameSamples;
}

} // namespace orvane
