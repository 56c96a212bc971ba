#include "voice/MuLawCodec.h"

#include <array>

namespace orvane {

namespace {

// The 14-bit magnitude at which G.711 saturates, and its bias.
constexpr int Clip = 8159;
constexpr int Bias = 33;

// G.711 compression of the sample that opens a run of eight: the 16-bit value is cut to
// 14 bits, biased and split into a segment (its leading bit) and four mantissa bits below
// it; the code is that byte inverted, with bit 7 set for positive samples.
uint8_t compressionOf(int16_t sample)
{
    int value = sample >> 2;
    uint8_t mask = 0xFF;
    if (value < 0) {
        value = -value;
        mask = 0x7F;
    }
    if (value > Clip)
        value = Clip;
    value += Bias;
    int segment = 0;
    while (segment < 8 && value >= (64 << segment))
        ++segment;
    if (segment >= 8)
        return static_cast<uint8_t>(0x7F ^ mask);
    const int code = (segment << 4) | ((value >> (segment + 1)) & 0x0F);
    return static_cast<uint8_t>(code ^ mask);
}

// G.711 expansion to the 14-bit magnitude, scaled to 16 bits by 32767/8158 and cut
// toward zero.
int16_t expansionOf(uint8_t code)
{
    const int inverted = ~code & 0xFF;
    const int segment = (inverted >> 4) & 0x07;
    const int mantissa = inverted & 0x0F;
    const int magnitude = (((2 * mantissa + Bias) << segment) - Bias);
    const int scaled = magnitude * 32767 / 8158;
    return static_cast<int16_t>((inverted & 0x80) ? -scaled : scaled);
}

struct Tables {
    std::array<uint8_t, 8192> compression;
    std::array<int16_t, 256> expansion;

    Tables()
    {
        for (int i = 0; i < 8192; ++i)
            compression[static_cast<size_t>(i)] = compressionOf(static_cast<int16_t>(static_cast<uint16_t>(i << 3)));
        for (int c = 0; c < 256; ++c)
            expansion[static_cast<size_t>(c)] = expansionOf(static_cast<uint8_t>(c));
    }
};

const Tables& tables()
{
    static const Tables built;
    return built;
}

} // namespace

MuLawCodec::MuLawCodec()
{
    scratch_.setCapacity(ScratchSamples);
    tables();
    reset();
}

MuLawCodec::~MuLawCodec() = default;

uint8_t MuLawCodec::compress(int16_t sample)
{
    return tables().compression[static_cast<uint16_t>(sample) >> 3];
}

int16_t MuLawCodec::expand(uint8_t code)
{
    return tables().expansion[code];
}

int MuLawCodec::encode16(const int16_t* samples, int count, ByteArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count <= 0)
        return 0;
    const int start = out.count();
    out.setSize(start + count);
    for (int i = 0; i < count; ++i)
        out[start + i] = compress(samples[i]);
    return count;
}

int MuLawCodec::decode16(const uint8_t* bytes, int count, SampleArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count <= 0)
        return 0;
    const int start = out.count();
    out.setSize(start + count);
    for (int i = 0; i < count; ++i)
        out[start + i] = expand(bytes[i]);
    return count;
}

int MuLawCodec::encode8(const uint8_t* samples, int count, ByteArray& out, bool append)
{
    codec8::widen(samples, count, scratch_);
    return encode16(scratch_.data(), scratch_.count(), out, append);
}

int MuLawCodec::decode8(const uint8_t* bytes, int count, ByteArray& out, bool append)
{
    decode16(bytes, count, scratch_, false);
    return codec8::appendNarrowed(scratch_, out, append);
}

} // namespace orvane
