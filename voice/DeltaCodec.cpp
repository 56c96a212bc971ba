#include "voice/DeltaCodec.h"

#include "voice/BitInputStream.h"
#include "voice/BitOutputStream.h"
#include "voice/ByteArrayInputStream.h"
#include "voice/ByteArrayOutputStream.h"

#include <climits>

namespace orvane {

DeltaCodec::DeltaCodec()
{
    reset();
}

DeltaCodec::~DeltaCodec() = default;

int DeltaCodec::encode8(const uint8_t* samples, int count, ByteArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    const int start = out.count();
    ByteArrayOutputStream bytes(out);
    BitOutputStream bits(&bytes);
    int previous = 128;
    for (int i = 0; i < count; ++i) {
        const int v = samples[i];
        const int d = v - previous;
        if (d == 0) {
            bits.writeBit(1);
            continue;
        }
        for (int k = d < 0 ? -d : d; k > 0; --k)
            bits.writeBit(0);
        bits.writeBit(1);
        bits.writeBit(d < 0 ? 1 : 0);
        previous = v;
    }
    bits.close();
    return out.count() - start;
}

int DeltaCodec::decode8(const uint8_t* bytes, int count, ByteArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    const int start = out.count();
    if (count <= 0)
        return 0;
    // Every sample takes at least one bit: room for the most there can be, trimmed after.
    if (count > (INT_MAX - start) / 8)
        throw MemoryException();
    out.setSize(start + count * 8);
    int end = start;
    ByteArrayInputStream source(bytes, count);
    BitInputStream bits(&source);
    // Only the low eight bits are ever output, so the running value is kept modulo 256:
    // a hostile run of differences cannot overflow it.
    int previous = 128;
    while (bits.bitsAvailable() > 0) {
        int k = 0;
        int bit;
        while ((bit = bits.readBit()) == 0)
            ++k;
        if (bit < 0)
            break; // the padding of the last byte, or a run cut off
        if (k > 0 && bits.readBit() != 0)
            k = -k;
        previous = (previous + k) & 0xFF;
        out[end++] = static_cast<uint8_t>(previous);
    }
    out.setSize(end);
    return end - start;
}

int DeltaCodec::encode16(const int16_t* samples, int count, ByteArray& out, bool append)
{
    scratch_.setSize(count > 0 ? count : 0);
    for (int i = 0; i < scratch_.count(); ++i)
        scratch_[i] = narrowSample(samples[i]);
    return encode8(scratch_.data(), scratch_.count(), out, append);
}

int DeltaCodec::decode16(const uint8_t* bytes, int count, SampleArray& out, bool append)
{
    decode8(bytes, count, scratch_, false);
    if (!append)
        out.setSize(0);
    const int start = out.count();
    out.setSize(start + scratch_.count());
    for (int i = 0; i < scratch_.count(); ++i)
        out[start + i] = widenSample(scratch_[i]);
    return scratch_.count();
}

} // namespace orvane
