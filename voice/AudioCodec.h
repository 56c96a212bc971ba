#pragma once

#include "foundation/Containers.h"

#include <cstdint>

namespace orvane {

// 16-bit signed samples, native byte order, growing as Array does.
using SampleArray = Array<int16_t>;

// One audio coder: turns recorded samples into the bytes of a frame and back. Each
// operation appends to its output (emptied first when append is false) and answers the
// number of bytes or samples it appended.
//
// Frame codecs code exactly one frame per call: their input must hold at least one
// frame of samples (encoding) or exactly one frame of bytes (decoding); anything else
// appends nothing, so a short buffer is never read past its end and a received frame of
// the wrong size is dropped. Sample-stream codecs (frameSamples() 0) take any count.
//
// Threads: the 16-bit operations keep encoding and decoding apart, so one thread may
// encode while another decodes; the 8-bit operations of codecs that work on 16-bit
// samples, and every operation of the delta codec, share a scratch array and must not run
// at the same time.
class AudioCodec {
public:
    // Scratch arrays of 16-bit samples start with room for this many and grow by the step.
    static constexpr int ScratchSamples = 1000;
    static constexpr int ScratchGrowBy = 100;

    virtual ~AudioCodec();
    // Back to the initial state of encoder and decoder.
    virtual void reset() = 0;
    virtual int encode8(const uint8_t* samples, int count, ByteArray& out, bool append) = 0;
    virtual int decode8(const uint8_t* bytes, int count, ByteArray& out, bool append) = 0;
    virtual int encode16(const int16_t* samples, int count, ByteArray& out, bool append) = 0;
    virtual int decode16(const uint8_t* bytes, int count, SampleArray& out, bool append) = 0;

    // Samples of one frame, or 0 when any count is taken.
    virtual int frameSamples() const { return 0; }
    // Bytes of one encoded frame, or 0 when frames have no fixed size.
    virtual int frameBytes() const { return 0; }
};

// 8-bit unsigned (128 silent) to 16-bit signed.
inline int16_t widenSample(uint8_t v)
{
    return static_cast<int16_t>((v - 128) * 256);
}

// The high byte of a 16-bit sample, as unsigned 8-bit.
inline uint8_t narrowSample(int16_t v)
{
    return static_cast<uint8_t>(((v >> 8) + 128) & 0xFF);
}

// A codec of fixed frames that works on 16-bit samples. It holds the size rules: encoding
// takes the first frameSamples() samples of at least that many, decoding takes exactly
// frameBytes() bytes, and anything else appends nothing. Its 8-bit operations widen one
// frame into the scratch array and encode it, or decode one frame into the scratch array
// and append it narrowed. Subclasses code one whole frame.
class FrameCodec : public AudioCodec {
public:
    FrameCodec();
    int encode8(const uint8_t* samples, int count, ByteArray& out, bool append) override;
    int decode8(const uint8_t* bytes, int count, ByteArray& out, bool append) override;
    int encode16(const int16_t* samples, int count, ByteArray& out, bool append) override;
    int decode16(const uint8_t* bytes, int count, SampleArray& out, bool append) override;

protected:
    // frameSamples() samples to frameBytes() bytes.
    virtual void encodeFrame(const int16_t* samples, uint8_t* bytes) = 0;
    // frameBytes() bytes to frameSamples() samples.
    virtual void decodeFrame(const uint8_t* bytes, int16_t* samples) = 0;

private:
    SampleArray scratch_{ScratchGrowBy};
};

// Helpers for codecs that work on 16-bit samples: the 8-bit operations go through these.
namespace codec8 {
// Widens count samples into scratch (emptied first).
void widen(const uint8_t* samples, int count, SampleArray& scratch);
// Appends the narrowed samples to out; answers the count appended.
int appendNarrowed(const SampleArray& samples, ByteArray& out, bool append);
} // namespace codec8

} // namespace orvane
